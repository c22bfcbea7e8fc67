// The operator's status check against the real Firebird server: a good
// set-up passes with every check OK, and each broken set-up gives the line
// that says what is wrong and what to do, with exit status 1. The check
// writes nothing: the logs, the rows and the input folder stay as they were.
#include <sys/mount.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "reconcile/diario.h"
#include "service/status_check.h"
#include "tests/service/installation.h"
#include "tests/support/firebird_db.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

namespace fs = std::filesystem;
using testing::FirebirdDb;
using testing::Installation;

// The shop's tables as a shop's database has them: no index beyond the keys.
std::string ShopSchema() {
  std::istringstream in(testing::ShopSchema());
  std::string s, line;
  while (std::getline(in, line))
    if (line.rfind("CREATE INDEX", 0) != 0) s += line + "\n";
  return s;
}

std::string Row(int id, int caixa, int diasAtras, const char* idPag = "0", const char* idResp = "0") {
  return "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_VALORPAGAMENTO, "
         "MFE_IDPAGAMENTO, MFE_IDRESPOSTAFISCAL, MFE_DATAVENDA, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT) VALUES (" +
         std::to_string(id) + ", " + std::to_string(caixa) + ", 'TEF', 10.5, '" + idPag + "', '" + idResp +
         "', CURRENT_DATE - " + std::to_string(diasAtras) + ", '000123', '<CFe/>', 'CFe3526');\n";
}

// Cash register 1 with two pending rows (one ten days old), register 2 with
// one, register 9 (not in MSAUT) with one, and a finished row.
const std::string kShopData =
    "INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '08.723.218/0001-86');\n"
    "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (1, '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');\n"
    "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (2, '25CFE38D-3B92-46C0-91CA-CFF751A82D3D');\n" +
    Row(1, 1, 0) + Row(2, 1, 10) + Row(3, 2, 1) + Row(4, 9, 6) + Row(5, 1, 0, "77", "88");

// A TCP port that accepts connections and never answers.
class SilentServer {
 public:
  SilentServer() {
    FFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(FFd, 8);
    socklen_t len = sizeof a;
    ::getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &len);
    FPort = ntohs(a.sin_port);
  }
  ~SilentServer() { ::close(FFd); }
  int port() const { return FPort; }

 private:
  int FFd = -1;
  int FPort = 0;
};

struct Case {
  const char* name;
  // SQL run on a database of its own (the shared good one when empty).
  std::string sql;
  std::function<void(Installation&)> breakIt;
  std::vector<std::string> expected;  // lines containing these texts
  std::vector<std::string> absent;
  int exitCode;
};

class StatusCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FGood = new FirebirdDb(ShopSchema() + kShopData); }
  static void TearDownTestSuite() {
    delete FGood;
    FGood = nullptr;
  }

  struct Outcome {
    TStatusCheckResult result;
    std::string text;
    double seconds = 0;
  };
  static Outcome Check(Installation& s) {
    std::ostringstream out;
    TStatusCheckOptions o;
    o.ExeDir = s.dir;
    o.ConnectTimeoutSec = s.connectTimeoutSec;
    const auto t0 = std::chrono::steady_clock::now();
    Outcome r{RunStatusCheck(o, out), out.str()};
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
  }

  static FirebirdDb* FGood;
};
FirebirdDb* StatusCheckTest::FGood = nullptr;

const char* const kIndexes =
    "COMMIT;\n"
    "CREATE INDEX MFE_TRANSACAO_CARTOES_IDPAG ON MFE_TRANSACAO_CARTOES (MFE_IDPAGAMENTO);\n"
    "CREATE INDEX MFE_TRANSACAO_CARTOES_IDRESP ON MFE_TRANSACAO_CARTOES (MFE_IDRESPOSTAFISCAL);\n";

TEST_F(StatusCheckTest, TellsWhatIsWrongAndWhatToDo) {
  SilentServer silent;
  const std::vector<Case> cases{
      {"good set-up", "", nullptr,
       {"OK: Configuração em vigor: PastaInput=", "OK: Banco de dados: Servidor=127.0.0.1", "usuário USUARIO",
        "OK: Caixa 1 (IdCaixa de", "OK: Biblioteca cliente do Firebird: ",
        "OK: Arquivos INI lidos como: Pagvigia.ini (Windows-1252), Gestalo.ini (Windows-1252), ConfCaixa.ini "
        "(Windows-1252)",
        "AVISO: Verificação feita fora do serviço (à mão, ou com runuser)", "OK: Servidor 127.0.0.1 alcançado",
        "OK: Login do usuário USUARIO aceito", "OK: Tabela MFE_TRANSACAO_CARTOES: as 26 colunas usadas existem",
        "OK: Tabela MSAUT: as 68 colunas usadas existem", "OK: As 10 consultas do serviço são aceitas",
        "OK: MSAUT do caixa 1: chave de acesso do Integrador preenchida", "OK: PADRAO: empresa de CNPJ 08723218000186",
        "OK: Conjunto de caracteres do banco: ISO8859_1\n", "OK: Conjunto de caracteres da conexão: ISO8859_1\n",
        "AVISO: 2 linhas pendentes do caixa 1, venda mais antiga em ", "1 linha de mais de 4 dias",
        "AVISO: 2 linhas pendentes de outros caixas (caixa 2: 1, caixa 9: 1 sem cadastro em MSAUT)",
        "1 linha órfã", "AVISO: Plano da consulta de pendentes: PLAN (MFE_TRANSACAO_CARTOES ORDER PK_MFE_TRANSACAO_CARTOES): ela lê MFE_TRANSACAO_CARTOES inteira pela ordem da chave a cada ciclo",
        "CREATE INDEX MFE_TRANSACAO_CARTOES_IDPAG ON MFE_TRANSACAO_CARTOES (MFE_IDPAGAMENTO);",
        "CREATE INDEX MFE_TRANSACAO_CARTOES_IDRESP ON MFE_TRANSACAO_CARTOES (MFE_IDRESPOSTAFISCAL);",
        ": existe e aceita criar, renomear e apagar arquivos", ": existe e pode ser lida (0 respostas .xml)",
        "OK: Nenhum arquivo de comando parado", "OK: Diário Pagvigia_Diario.txt: nenhum id aguarda gravação",
        "OK: Tabela PAGVIGIA_ENVIOS_PENDENTES não existe: com ela, um caixa que cair", "rode pagvigia_envios.sql",
        "OK: 08/12/2026 14:03:22 - Último ciclo 14:03:22: 3 linhas concluídas, 1 recusada pelo Integrador\n",
        "OK: Últimas 10 de 12 linhas de ", "    08/12/2026 10:00:22 - linha 12"},
       {"FALHA", "quorix", "linha 2\n"},
       0},
      {"a send another register left unsettled",
       ShopSchema() + kShopData + testing::SlurpFile(PAGVIGIA_ENVIOS_SQL) +
           "INSERT INTO PAGVIGIA_ENVIOS_PENDENTES (IDCAIXA, MFE_IDENTIFICADORINTERNO, ETAPA, SESSAO) VALUES "
           "(5, 12, 'MFE_IDPAGAMENTO', 4021);\n",
       nullptr,
       {"AVISO: Tabela PAGVIGIA_ENVIOS_PENDENTES: 1 envio sem resposta (linha 12 MFE_IDPAGAMENTO pelo caixa 5 "
        "(sessão 4021, desde "},
       {"FALHA"},
       0},
      {"the two indexes", ShopSchema() + kShopData + kIndexes, nullptr,
       {"OK: Plano da consulta de pendentes: PLAN (MFE_TRANSACAO_CARTOES ORDER PK_MFE_TRANSACAO_CARTOES INDEX "
        "(MFE_TRANSACAO_CARTOES_IDPAG, "
        "MFE_TRANSACAO_CARTOES_IDRESP))"},
       {"FALHA", "CREATE INDEX"},
       0},
      {"ids waiting in the journal", "",
       [](Installation& s) {
         TDiario d(s.dir + TDiario::kNomeArquivo);
         d.Carregar();
         d.Gravar({7, etPagamento, "431", "<r/>"});
         d.Gravar({9, etRespostaFiscal, "RF-2", "<r/>"});
       },
       {"AVISO: Diário Pagvigia_Diario.txt: 2 ids aguardam gravação no banco (7 MFE_IDPAGAMENTO=431, 9 "
        "MFE_IDRESPOSTAFISCAL=RF-2); o serviço os grava no próximo ciclo"},
       {"FALHA"},
       0},
      {"a send waiting for its answer", "",
       [](Installation& s) {
         TDiario d(s.dir + TDiario::kNomeArquivo);
         d.Carregar();
         const platform::DateTime t = platform::SystemClock().LocalNow();
         char agora[32];
         std::snprintf(agora, sizeof agora, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                       t.second);
         d.Gravar(EnvioPendente(7, etPagamento, 4021, "/in/enviarpagamento-4021.xml", agora));
       },
       {"AVISO: Diário Pagvigia_Diario.txt: 1 envio aguarda a resposta do Integrador (linha 7 MFE_IDPAGAMENTO "
        "sessão 4021 desde "},
       {"FALHA"},
       0},
      {"a send waiting for its answer for more than an hour", "",
       [](Installation& s) {
         TDiario d(s.dir + TDiario::kNomeArquivo);
         d.Carregar();
         d.Gravar(EnvioPendente(9, etRespostaFiscal, 77, "/in/respostafiscal-77.xml", "20261208093005"));
       },
       {"FALHA: Diário Pagvigia_Diario.txt: 1 envio aguarda a resposta do Integrador (linha 9 "
        "MFE_IDRESPOSTAFISCAL sessão 77 desde 08/12/2026 09:30:05)",
        "há mais de uma hora", "Verifique se o Integrador está em execução e lê PastaInput"},
       {},
       1},
      {"a damaged journal", "", [](Installation& s) { s.Write(TDiario::kNomeArquivo, "Pagvigia diario 1\r\nE 7"); },
       {"FALHA: journal \"", "Pagvigia_Diario.txt\" cannot be read", "nenhuma linha é enviada ao Integrador. ",
        "grave esses ids nas linhas à mão e depois apague-o"},
       {},
       1},
      {"no Gestalo.ini", "", [](Installation& s) { fs::remove(s.dir + "Gestalo.ini"); },
       {"AVISO: Gestalo.ini não existe em ", "OK: Servidor localhost alcançado",
        "FALHA: O servidor não abriu o banco " + std::string("/"), "Corrija Caminho no Gestalo.ini"},
       {"Tabela"},
       1},
      {"Gestalo.ini is a folder", "", [](Installation& s) { s.Folder("Gestalo.ini"); },
       {"Gestalo.ini não pode ser lido (é uma pasta, não um arquivo); o serviço usa Servidor=localhost"},
       {},
       1},
      {"Pagvigia.ini with wrong values", "", [](Installation& s) { s.PagvigiaIni("abc", "-5"); },
       {"FALHA: Pagvigia.ini: [Integrador] Timeout=abc não é um número inteiro válido; o serviço usa 30. Escreva um "
        "número de segundos, sem unidade",
        "FALHA: Pagvigia.ini: [Servico] Intervalo=-5 não é um número inteiro válido; o serviço usa 60000",
        "Timeout=30 s, Intervalo=60000 ms"},
       {},
       1},
      {"Pagvigia.ini saved as UTF-8 without a mark, an accented folder in it", "",
       [](Installation& s) {
         fs::create_directories(s.root / "Saída");
         s.Write("Pagvigia.ini", "[Integrador]\r\nPastaInput=" + (s.root / "Saída/") + "\r\nPastaOutput=" + s.out +
                                     "\r\n[Caixa]\r\nPasta=" + s.dir + "\r\n");
       },
       {"OK: Arquivos INI lidos como: Pagvigia.ini (UTF-8), Gestalo.ini", "Saída/: existe e aceita criar"},
       {},
       0},
      {"Pagvigia.ini is a folder", "", [](Installation& s) { s.Folder("Pagvigia.ini"); },
       {"Pagvigia.ini não pode ser lido (é uma pasta, não um arquivo); o serviço usa as configurações padrão",
        "PastaInput=/Integrador/Input/"},
       {},
       1},
      {"no ConfCaixa.ini", "", [](Installation& s) { fs::remove(s.dir + "ConfCaixa.ini"); },
       {"ConfCaixa.ini não existe: o serviço usa o caixa 0. Crie-o com a seção [Caixa] e a chave IdCaixa=",
        "FALHA: MSAUT não tem linha para o caixa 0"},
       {},
       1},
      {"IdCaixa not a number", "", [](Installation& s) { s.Write("ConfCaixa.ini", "[Caixa]\r\nIdCaixa=abc\r\n"); },
       {"ConfCaixa.ini: IdCaixa=abc não é um número; o serviço usa o caixa 0"},
       {},
       1},
      {"server refuses", "",
       [](Installation& s) { s.Write("Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1/1\r\nCaminho=/x/GESTALO.FDB\r\n"); },
       {"FALHA: Servidor 127.0.0.1/1 não alcançado: ",
        "Verifique se o Firebird está rodando nessa máquina, se a porta 1 está liberada"},
       {"Login", "Tabela"},
       1},
      {"server silent", "",
       [&silent](Installation& s) {
         s.connectTimeoutSec = 2;
         s.Write("Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1/" + std::to_string(silent.port()) +
                                    "\r\nCaminho=/x/GESTALO.FDB\r\n");
       },
       {"FALHA: Servidor 127.0.0.1/" + std::to_string(silent.port()) + " não alcançado: ",
        "OK: Pasta de entrada do Integrador"},
       {"Login"},
       1},
      {"wrong database path", "",
       [](Installation& s) { s.Write("Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1\r\nCaminho=/nao/existe.fdb\r\n"); },
       {"FALHA: O servidor não abriu o banco /nao/existe.fdb: "},
       {},
       1},
      {"database without the tables", " ", nullptr,
       {"FALHA: A tabela MFE_TRANSACAO_CARTOES não existe no banco ", "FALHA: A tabela MSAUT não existe no banco ",
        "Confira se Caminho no Gestalo.ini aponta para o banco do Gestalo"},
       {"Plano", "pendente"},
       1},
      {"a missing column", ShopSchema() + kShopData + "COMMIT;\nALTER TABLE MSAUT DROP FORMATODANFEDAV;\n", nullptr,
       {"FALHA: A tabela MSAUT não tem as colunas FORMATODANFEDAV. Atualize o banco do Gestalo"},
       {},
       1},
      {"no MSAUT row", ShopSchema() + kShopData + "DELETE FROM MSAUT WHERE CAIXA = 1;\n", nullptr,
       {"FALHA: MSAUT não tem linha para o caixa 1. Cadastre o caixa 1 no Gestalo, ou corrija IdCaixa"},
       {},
       1},
      {"empty Integrador key", ShopSchema() + kShopData + "UPDATE MSAUT SET MFE_CHAVEACESSOINTEGRADOR = ' ';\n",
       nullptr,
       {"FALHA: MSAUT do caixa 1 tem MFE_CHAVEACESSOINTEGRADOR vazio: o Integrador recusa os pedidos"},
       {},
       1},
      {"empty PADRAO", ShopSchema() + kShopData + "DELETE FROM PADRAO;\n", nullptr,
       {"FALHA: PADRAO não tem nenhuma linha: os pedidos vão sem o CNPJ da empresa. Cadastre os dados da empresa"},
       {},
       1},
      {"input folder is a file", "",
       [](Installation& s) {
         fs::remove(s.in);
         platform::WriteFileBytes(s.in.substr(0, s.in.size() - 1), "x");
       },
       {"FALHA: Pasta de entrada do Integrador " + std::string("/"), " não é uma pasta (é um arquivo). Crie a pasta "
        "ou corrija PastaInput no Pagvigia.ini"},
       {},
       1},
      {"output folder missing", "", [](Installation& s) { fs::remove(s.out); },
       {" não existe. Crie a pasta ou corrija PastaOutput no Pagvigia.ini"},
       {},
       1},
      {"command files left in the input folder", "",
       [](Installation& s) {
         for (const char* name : {"123.xml", "124.tmp", "125.xml"}) platform::WriteFileBytes(s.in + name, "<x/>");
         for (const char* name : {"123.xml", "124.tmp"})
           fs::last_write_time(s.in + name, fs::file_time_type::clock::now() - std::chrono::hours(1));
       },
       {"FALHA: 2 arquivos de comando parados na pasta de entrada há mais de 30 s (o mais antigo, ",
        "o Integrador não os está lendo. Verifique se o Integrador está rodando e se PastaInput é a pasta que ele lê"},
       {},
       1},
      {"a service that stopped cycling", "",
       [](Installation& s) {
         fs::last_write_time(s.dir + "Pagvigia_UltimoCiclo.txt",
                             fs::file_time_type::clock::now() - std::chrono::hours(2));
       },
       {"AVISO: 08/12/2026 14:03:22 - Último ciclo 14:03:22: 3 linhas concluídas, 1 recusada pelo Integrador (há "
        "120 min: o serviço parece parado; veja se ele está rodando)"},
       {"FALHA"},
       0},
      {"a last cycle whose row the Integrador never answered", "",
       [](Installation& s) {
         s.UltimoCiclo("0 linhas concluídas, 1 falha");
         s.Write("Pagvigia.log", platform::Utf8ToAnsi("08/12/2026 14:03:22 - Envios Pendentes: Sem Resposta do "
                                                      "Integrador (linha 1) — Verifique\r\n"));
       },
       {"AVISO: 08/12/2026 14:03:22 - Último ciclo 14:03:22: 0 linhas concluídas, 1 falha; Verifique se o Integrador "
        "está rodando e se PastaInput é a pasta que ele lê (/"},
       {"FALHA"},
       0},
      {"a last cycle whose row failed otherwise", "", [](Installation& s) { s.UltimoCiclo("2 linhas concluídas, 2 falhas"); },
       {"AVISO: 08/12/2026 14:03:22 - Último ciclo 14:03:22: 2 linhas concluídas, 2 falhas; veja em Pagvigia.log"},
       {"FALHA"},
       0},
      {"a last cycle without a connection", "", [](Installation& s) { s.UltimoCiclo("sem conexão com o banco"); },
       {"FALHA: 08/12/2026 14:03:22 - Último ciclo 14:03:22: sem conexão com o banco. Veja em Pagvigia.log"},
       {},
       1},
      {"an interval written in seconds", "", [](Installation& s) { s.PagvigiaIni("30", "60"); },
       {"AVISO: Pagvigia.ini: [Servico] Intervalo=60 é menos de um segundo entre ciclos; o valor é em milissegundos"},
       {"FALHA"},
       0},
      {"no log yet", "",
       [](Installation& s) {
         fs::remove(s.dir + "Pagvigia.log");
         fs::remove(s.dir + "Pagvigia_UltimoCiclo.txt");
       },
       {"OK: Pagvigia.log não existe em ", "OK: Nenhum ciclo registrado em "},
       {"FALHA"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<FirebirdDb> own;
    if (!c.sql.empty()) own = std::make_unique<FirebirdDb>(c.sql == " " ? "" : c.sql);
    Installation s(own ? *own : *FGood);
    if (c.breakIt) c.breakIt(s);
    const std::string logBefore = platform::FileExists(s.dir + "Pagvigia.log")
                                      ? platform::ReadFileBytes(s.dir + "Pagvigia.log") : "";
    const auto inBefore = platform::ListFolder(s.in + "*");
    const Outcome r = Check(s);
    for (const std::string& e : c.expected) EXPECT_NE(r.text.find(e), std::string::npos) << e << "\n" << r.text;
    for (const std::string& a : c.absent) EXPECT_EQ(r.text.find(a), std::string::npos) << a << "\n" << r.text;
    EXPECT_EQ(r.result.ExitCode, c.exitCode) << r.text;
    EXPECT_FALSE(r.result.AttachAbandoned);
    EXPECT_LT(r.seconds, s.connectTimeoutSec + 3.0) << r.text;
    // Nothing written: the log, the input folder and the rows are as before.
    if (!logBefore.empty()) {
      EXPECT_EQ(platform::ReadFileBytes(s.dir + "Pagvigia.log"), logBefore);
    }
    EXPECT_EQ(platform::ListFolder(s.in + "*"), inBefore);
  }
  EXPECT_EQ(FGood->Scalar("SELECT COUNT(*) FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDPAGAMENTO = '0'"), "4");
}

// The shops' other character sets: a WIN1252 database is read in WIN1252; a
// NONE one through ISO8859_1, its texts as Windows-1252.
TEST_F(StatusCheckTest, ReportsTheDatabasesCharacterSetAndTheConnections) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {"WIN1252", {"OK: Conjunto de caracteres do banco: WIN1252\n", "OK: Conjunto de caracteres da conexão: WIN1252\n"}},
      {"NONE",
       {"OK: Conjunto de caracteres do banco: NONE\n",
        "OK: Conjunto de caracteres da conexão: ISO8859_1 (textos sem conjunto de caracteres lidos como "
        "Windows-1252)\n"}}};
  for (const auto& [charset, expected] : cases) {
    SCOPED_TRACE(charset);
    FirebirdDb db(ShopSchema() + kShopData, "pagvigia-fb", charset);
    Installation s(db);
    const Outcome r = Check(s);
    for (const std::string& e : expected) EXPECT_NE(r.text.find(e), std::string::npos) << e << "\n" << r.text;
    EXPECT_EQ(r.result.ExitCode, 0) << r.text;
  }
}

// A full disk: the test file cannot be written in the input folder.
TEST_F(StatusCheckTest, FullDiskIsReportedNotFatal) {
  Installation s(*FGood);
  const std::string full = s.root / "cheio";
  fs::create_directories(full);
  ASSERT_EQ(::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k"), 0)
      << "mounting a small tmpfs needs root (the tests run as root)";
  {
    std::ofstream fill(full + "/enche", std::ios::binary);
    const std::string block(4096, 'x');
    while (fill.write(block.data(), block.size())) {
    }
  }
  s.Write("Pagvigia.ini", "[Integrador]\r\nPastaInput=" + full + "/\r\nPastaOutput=" + s.out + "\r\n[Caixa]\r\nPasta=" +
                              s.dir + "\r\n");
  const Outcome r = Check(s);
  ::umount(full.c_str());
  EXPECT_NE(r.text.find("FALHA: Pasta de entrada do Integrador " + full + "/: não foi possível "), std::string::npos)
      << r.text;
  EXPECT_NE(r.text.find("veja se o disco não está cheio"), std::string::npos) << r.text;
  EXPECT_NE(r.text.find(": disco cheio (0 KB livres). Libere espaço nesse disco"), std::string::npos) << r.text;
  EXPECT_EQ(r.result.ExitCode, 1);
}

}  // namespace
}  // namespace pagvigia
