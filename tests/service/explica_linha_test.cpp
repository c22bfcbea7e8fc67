// The support desk's look at one row against the real Firebird server: each
// reason the program has for holding a row's next step back gives its own
// "Motivo:" line, the row's state comes first, the logs' entries that name
// the row (by key or by session) come last, and nothing is written: not the
// logs, the journal, the input folder or the row.
#include "service/explica_linha.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "db/fb_connection.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "platform/files.h"
#include "reconcile/diario.h"
#include "reconcile/reserva.h"
#include "service/conexao_banco.h"
#include "tests/service/installation.h"
#include "tests/support/firebird_db.h"
#include "tests/support/transacao.h"

namespace pagvigia {
namespace {

using testing::FirebirdDb;
using testing::Installation;
using testing::Transacao;

// A pending "TEF" payment of register `caixa` sold `diasAtras` days ago.
Transacao Linha(int id, int caixa = 1, int diasAtras = 0) {
  Transacao t;
  t.id = id;
  t.caixa = caixa;
  t.diasAtras = diasAtras;
  return t;
}

// The card holder's column declared in Windows-1252 in an ISO8859_1
// database: a ’ there cannot reach the service's ISO8859_1 connection.
constexpr const char* kDonoEmWin1252 =
    "ALTER TABLE MFE_TRANSACAO_CARTOES DROP MFE_DONOCARTAO;\n"
    "ALTER TABLE MFE_TRANSACAO_CARTOES ADD MFE_DONOCARTAO VARCHAR(60) CHARACTER SET WIN1252;\n";
constexpr const char* kPagamentoCurto =
    "ALTER TABLE MFE_TRANSACAO_CARTOES DROP MFE_IDPAGAMENTO;\n"
    "ALTER TABLE MFE_TRANSACAO_CARTOES ADD MFE_IDPAGAMENTO VARCHAR(6) DEFAULT '0';\n";

std::string Dados() {
  std::string sql =
      "INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '08.723.218/0001-86');\n"
      "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (1, '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');\n"
      "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (2, '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');\n"
      "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (4, ' ');\n";
  Transacao feita = Linha(10);
  feita.valor = "1234.50";
  feita.idPagamento = "4712";
  feita.idStatus = "85680";
  feita.idRespostaFiscal = "RF2";
  Transacao semCupom = Linha(11);
  semCupom.numCupom = "";
  Transacao ilegivel = Linha(15);
  ilegivel.donoCartao = "MARIA D’ÁVILA";
  Transacao paga = Linha(20);
  paga.idPagamento = "4713";
  Transacao pos = Linha(23);
  pos.serialPOS = "5C219486";
  pos.idPagamento = "4714";
  for (const Transacao& t : {feita, semCupom, Linha(12, 2, 1), Linha(13, 9, 1), Linha(14), ilegivel, Linha(16),
                             Linha(17), Linha(18), Linha(19), paga, Linha(21, 3), Linha(22, 4), pos, Linha(24, 9, 6)})
    sql += t.Insert();
  sql +=
      "UPDATE MFE_TRANSACAO_CARTOES SET MFE_XML_ENVIARPAGAMENTO = '<Integrador><Identificador><Valor>878208</Valor>"
      "</Identificador></Integrador>' WHERE MFE_IDENTIFICADORINTERNO = 10;\n";
  return sql;
}

// A claim held by another attachment, as a cycle holds it during a step.
class Reserva {
 public:
  Reserva(FirebirdDb& db, std::int64_t id) {
    ConfigurarConexao(FConn);
    PrepararLogin(FConn, {db.host(), db.path()});
    FConn.Connect(false);
    FTr.Isolation = tiCommitted;
    TIdsLinha ids;
    EXPECT_EQ(FReserva.Reservar(id, ids), rrReservada);
  }

 private:
  TFbConnection FConn{"Outro"};
  TFbTransaction FTr{&FConn, "Reserva"};
  TFbQuery FQ{&FConn, &FTr, "Reserva"};
  TReservaLinha FReserva{FTr, FQ};
};

class ExplicaLinhaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FDb = new FirebirdDb(testing::ShopSchema() + kDonoEmWin1252 + testing::SlurpFile(PAGVIGIA_ENVIOS_SQL) + Dados() +
                         "INSERT INTO PAGVIGIA_ENVIOS_PENDENTES (IDCAIXA, MFE_IDENTIFICADORINTERNO, ETAPA, SESSAO, "
                         "DESDE) VALUES (5, 18, 'MFE_IDPAGAMENTO', 4021, '2026-12-08 09:30:05');\n");
  }
  static void TearDownTestSuite() {
    delete FDb;
    FDb = nullptr;
  }

  struct Saida {
    TStatusCheckResult result;
    std::string text;
  };
  static Saida Explicar(Installation& s, std::int64_t id) {
    std::ostringstream out;
    TStatusCheckOptions o;
    o.ExeDir = s.dir;
    o.ConnectTimeoutSec = s.connectTimeoutSec;
    Saida r{ExplicarLinha(o, id, out), out.str()};
    return r;
  }
  // "DD/MM/YYYY" of the server's date `dias` days from today.
  static std::string Data(int dias) { return testing::DataDoServidor(*FDb, dias); }

  static FirebirdDb* FDb;
};
FirebirdDb* ExplicaLinhaTest::FDb = nullptr;

void Diario(Installation& s, const TEntradaDiario& e) {
  TDiario d(s.dir + TDiario::kNomeArquivo);
  d.Carregar();
  d.Gravar(e);
}

// What the look must not touch: the program's folder and the input folder.
std::vector<std::string> Pastas(Installation& s) {
  std::vector<std::string> nomes = platform::ListFolder(s.dir + "*");
  for (const std::string& n : platform::ListFolder(s.in + "*")) nomes.push_back("in/" + n);
  return nomes;
}

struct Caso {
  const char* name;
  std::int64_t id;
  std::function<void(Installation&)> prepare;
  std::vector<std::string> expected;  // whole lines
  int exitCode = 0;
  FirebirdDb* own = nullptr;  // another database than the shared one
};

TEST_F(ExplicaLinhaTest, GivesTheStateAndTheReasonTheNextStepWaits) {
  FirebirdDb curto(testing::ShopSchema() + kDonoEmWin1252 + kPagamentoCurto + Dados());
  std::unique_ptr<Reserva> reserva;
  const std::vector<Caso> casos{
      {"a finished row: its state, and its sessions in the logs",
       10,
       [](Installation& s) {
         s.Write("Pagvigia_Integrador.log",
                 "09/12/26 18:17:51:101 - EnviarPagamento( <Integrador><Identificador><Valor>878208</Valor>"
                 "</Identificador></Integrador> )\r\n"
                 "09/12/26 18:17:51:108 - 09/12/2026 18:17:51 - AguardaArqResposta, sessao: 878208\r\n"
                 "09/12/26 18:17:51:109 - 09/12/2026 18:17:51 - AguardaArqResposta, sessao: 8782080\r\n"
                 "09/12/26 18:17:51:840 - Criando arquivo: /in/enviarstatuspagamento-85680.tmp\r\n"
                 "09/12/26 18:17:52:041 - RespostaIntegrador: <Integrador><Identificador><Valor>85681</Valor>\r\n");
       },
       {"  Caixa da venda:       1", "  Data da venda:        " + Data(0), "  Valor:                R$ 1.234,50",
        "  Número de série:      TEF", "  Pagamento:            feito (id 4712)",
        "  Status do pagamento:  feito (id 85680)", "  Resposta fiscal:      feito (id RF2)",
        "Motivo: nada a enviar: o pagamento e a resposta fiscal já estão gravados na linha",
        "Pagvigia.log, nenhuma entrada cita a chave 10 ou as sessões 85680, 878208",
        "Pagvigia_Integrador.log, últimas 3 entradas de 3 que citam a chave 10 ou as sessões 85680, 878208:",
        "    09/12/26 18:17:51:101 - EnviarPagamento( <Integrador><Identificador><Valor>878208</Valor>"
        "</Identificador></Integrador> )",
        "    09/12/26 18:17:51:108 - 09/12/2026 18:17:51 - AguardaArqResposta, sessao: 878208",
        "    09/12/26 18:17:51:840 - Criando arquivo: /in/enviarstatuspagamento-85680.tmp"}},
      {"no coupon",
       11,
       nullptr,
       {"Motivo: a linha não está pendente: a venda não foi concluída no fiscal (MFE_NUMCUPOM vazio); o serviço só "
        "envia uma venda com o cupom, o XML e a chave do CF-e gravados"}},
      {"another register's recent sale",
       12,
       nullptr,
       {"  Caixa da venda:       2",
        "Motivo: venda do caixa 2 com menos de 4 dias: o Pagvigia do caixa 2 a envia; este caixa (1) só a envia a "
        "partir de " +
            Data(4) + ", se ela ainda estiver pendente"}},
      {"a register without its MSAUT row",
       13,
       nullptr,
       {"Motivo: o caixa 9 não tem linha em MSAUT (nenhum Pagvigia é desse caixa): este caixa (1) envia a linha "
        "quando a venda tiver mais de 4 dias, a partir de " +
        Data(4) + ", se ela ainda estiver pendente"}},
      {"nothing in the way",
       14,
       nullptr,
       {"  Pagamento:            a enviar", "  Status do pagamento:  a enviar", "  Resposta fiscal:      a enviar",
        "Motivo: nada impede: o próximo ciclo do caixa 1 envia o pagamento",
        "Pagvigia.log, nenhuma entrada cita a chave 14"}},
      {"an old sale of a register without its MSAUT row",
       24,
       nullptr,
       {"Motivo: nada impede: o próximo ciclo do caixa 1 envia o pagamento"}},
      {"the payment done: the status is next",
       20,
       nullptr,
       {"Motivo: nada impede: o próximo ciclo do caixa 1 envia o status do pagamento"}},
      {"a POS payment: no status step",
       23,
       nullptr,
       {"  Status do pagamento:  não se aplica (pagamento pelo POS 5C219486)",
        "Motivo: nada impede: o próximo ciclo do caixa 1 envia a resposta fiscal"}},
      {"text the connection cannot carry",
       15,
       nullptr,
       {"Motivo: o servidor não consegue entregar o texto desta linha pela conexão do serviço (ISO8859_1): "
        "arithmetic exception, numeric overflow, or string truncation; Cannot transliterate character between "
        "character sets; o serviço pula a linha a cada ciclo, com uma entrada no Pagvigia.log; corrija o texto da "
        "linha, ou o conjunto de caracteres da coluna"}},
      {"an id waiting in the journal",
       16,
       [](Installation& s) {
         Diario(s, {16, etPagamento, "431", "<r/>"});
       },
       {"Motivo: o diário Pagvigia_Diario.txt guarda o id \"431\" de MFE_IDPAGAMENTO, dado pelo Integrador e ainda "
        "não gravado na linha: o próximo ciclo que se conectar ao banco o grava, sem enviar a etapa de novo"}},
      {"an unfinished send, and the log entries of its row and session",
       17,
       [](Installation& s) {
         Diario(s, EnvioPendente(17, etPagamento, 4021, "/in/enviarpagamento-4021.xml", "20261208093005"));
         s.Write("Pagvigia.log",
                 "08/12/2026 10:00:00 - Envios Pendentes: unfinished send of row 17 MFE_IDPAGAMENTO, session 4021 "
                 "since 20261208093005: the Integrador took its command but did not say what became of it (Sem\r\n"
                 "Resposta do Integrador)\r\n"
                 "08/12/2026 10:00:01 - Envios Pendentes: row 170 MFE_IDPAGAMENTO: characters\r\n");
         s.Write("Pagvigia_Integrador.log",
                 "08/12/26 10:00:00:123 - ConsultarNumeroSessaoIntegrador( 4021 )\r\n"
                 "08/12/26 10:00:00:124 - ConsultarNumeroSessaoIntegrador( 40210 )\r\n");
       },
       {"Motivo: envio sem resposta: o caixa 1 enviou o pagamento (MFE_IDPAGAMENTO, sessão 4021, comando "
        "/in/enviarpagamento-4021.xml) em 08/12/2026 09:30:05 e não recebeu a resposta; o próximo ciclo procura a "
        "resposta na pasta de saída, retira o comando se o Integrador não o tomou ou pergunta ao Integrador pela "
        "sessão, e nada é enviado para esta linha até saber o que houve",
        "Pagvigia.log, última entrada de 1 que citam a chave 17 ou a sessão 4021:",
        "    08/12/2026 10:00:00 - Envios Pendentes: unfinished send of row 17 MFE_IDPAGAMENTO, session 4021 since "
        "20261208093005: the Integrador took its command but did not say what became of it (Sem Resposta do "
        "Integrador)",
        "Pagvigia_Integrador.log, última entrada de 1 que citam a chave 17 ou a sessão 4021:",
        "    08/12/26 10:00:00:123 - ConsultarNumeroSessaoIntegrador( 4021 )"}},
      {"another register's send in the shop's table",
       18,
       nullptr,
       {"Motivo: envio sem resposta do caixa 5 listado em PAGVIGIA_ENVIOS_PENDENTES (MFE_IDPAGAMENTO, sessão 4021, "
        "desde 2026-12-08 09:30:05): nenhum caixa envia esta linha até o caixa 5 saber o que houve; se esse "
        "caixa não voltar a funcionar, confira no Integrador dele e grave o id na linha à mão antes de apagar a "
        "linha da tabela"}},
      {"claimed by another attachment",
       19,
       [&](Installation&) { reserva = std::make_unique<Reserva>(*FDb, 19); },
       {"Motivo: a linha está reservada agora por outra conexão ao banco (o Pagvigia deste ou de outro caixa, no "
        "meio de uma etapa): quem a reservou envia a etapa; se a reserva continuar, veja se algum Pagvigia está "
        "parado no meio de um envio"}},
      {"a send in flight: journaled, and its row claimed",
       19,
       [&](Installation& s) {
         Diario(s, EnvioPendente(19, etPagamento, 4022, "/in/enviarpagamento-4022.xml", "20261208093005"));
         reserva = std::make_unique<Reserva>(*FDb, 19);
       },
       {"Motivo: envio em andamento: o caixa 1 enviou o pagamento (MFE_IDPAGAMENTO, sessão 4022, comando "
        "/in/enviarpagamento-4022.xml) em 08/12/2026 09:30:05 e espera agora a resposta do Integrador (a linha está "
        "reservada pelo ciclo que a enviou)"}},
      {"a journal that cannot be read",
       14,
       [](Installation& s) { s.Write(TDiario::kNomeArquivo, "Pagvigia diario 1\r\nE 7"); },
       {"Motivo: journal \"" + std::string("/")}},
      {"no MSAUT row for this register",
       21,
       [](Installation& s) { s.Write("ConfCaixa.ini", "[Caixa]\r\nIdCaixa=3\r\n"); },
       {"Motivo: MSAUT não tem linha para o caixa 3: os pedidos vão sem a chave de acesso do Integrador, que os "
        "recusa; cadastre o caixa 3 no Gestalo, ou corrija IdCaixa no ConfCaixa.ini"}},
      {"no Integrador key for this register",
       22,
       [](Installation& s) { s.Write("ConfCaixa.ini", "[Caixa]\r\nIdCaixa=4\r\n"); },
       {"Motivo: MSAUT do caixa 4 tem MFE_CHAVEACESSOINTEGRADOR vazio: o Integrador recusa os pedidos; informe a "
        "chave no cadastro do caixa no Gestalo"}},
      {"an id column too short",
       14,
       nullptr,
       {"Motivo: a coluna MFE_IDPAGAMENTO de MFE_TRANSACAO_CARTOES tem 6 caracteres, e os ids do Integrador para o "
        "pagamento têm até 10: nada é enviado para esta etapa até a coluna ser alargada"},
       0,
       &curto},
      {"an id in the journal too long for its column",
       16,
       [](Installation& s) {
         Diario(s, {16, etPagamento, "1234567", "<r/>"});
       },
       {"Motivo: o diário Pagvigia_Diario.txt guarda o id \"1234567\" de MFE_IDPAGAMENTO, mais longo que os 6 "
        "caracteres da coluna: ele fica no diário, e a etapa não é enviada de novo, até a coluna ser alargada"},
       0,
       &curto},
      {"no such row", 99, nullptr, {"FALHA: A linha 99 não existe em MFE_TRANSACAO_CARTOES do banco "}, 1},
      {"the server not reached",
       14,
       [](Installation& s) {
         s.Write("Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1/1\r\nCaminho=/x/GESTALO.FDB\r\n");
       },
       {"FALHA: Servidor 127.0.0.1/1 não alcançado: "},
       1},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.name);
    Installation s(c.own ? *c.own : *FDb);
    if (c.prepare) c.prepare(s);
    const auto antes = [&] {
      std::string bytes;
      for (const char* f : {"Pagvigia.log", "Pagvigia_Integrador.log", TDiario::kNomeArquivo})
        bytes += platform::FileExists(s.dir + f) ? platform::ReadFileBytes(s.dir + f) : "-";
      return bytes;
    };
    const std::string antesArquivos = antes();
    const auto pastas = Pastas(s);
    const Saida r = Explicar(s, c.id);
    reserva.reset();
    // A line ending in a blank or "/" is the start of the line that follows.
    std::vector<std::string> linhas;
    std::istringstream in(r.text);
    for (std::string l; std::getline(in, l);) linhas.push_back(l);
    for (const std::string& e : c.expected) {
      const bool inteira = e.back() != ' ' && e.back() != '/';
      bool achou = false;
      for (const std::string& l : linhas) achou = achou || (inteira ? l == e : l.find(e) != std::string::npos);
      EXPECT_TRUE(achou) << e << "\n" << r.text;
    }
    EXPECT_EQ(r.result.ExitCode, c.exitCode) << r.text;
    EXPECT_EQ(antes(), antesArquivos);
    EXPECT_EQ(Pastas(s), pastas);
  }
  // The rows as they were.
  EXPECT_EQ(FDb->Scalar("SELECT COUNT(*) FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDPAGAMENTO = '0'"), "12");
}

}  // namespace
}  // namespace pagvigia
