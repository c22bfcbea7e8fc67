// One row's state and the reason its next step waits, for the support desk.
#include "service/explica_linha.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/fb_errors.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/service_host.h"
#include "reconcile/colunas_id.h"
#include "reconcile/diario.h"
#include "reconcile/envios_pendentes.h"
#include "reconcile/sql.h"
#include "reconcile/transacao_pendente.h"
#include "service/conexao_banco.h"
#include "service/log_rotation.h"
#include "service/service_log.h"
#include "service/service_settings.h"
#include "service/verificacao.h"
#include "vfpe/integrador_resposta.h"

namespace pagvigia {
namespace {

constexpr const char* kNaoFeito = "0";
constexpr const char* kSerialTEF = "TEF";
// A log entry is cut here (characters), so that an exchange's XML does not
// fill the screen.
constexpr std::size_t kMaxCaracteresEntrada = 240;

// The row as this look needs it; the dates as the server gives them
// (YYYY-MM-DD, empty when null).
struct TLinhaLida {
  std::optional<std::int32_t> Caixa;
  std::string DataVenda;
  std::string Liberada;               // the first day on which other registers take it
  bool Antiga = false;                // sold more than four days ago
  std::optional<std::int64_t> Valor;  // fixed point, four decimals
  std::string Serial;
  std::string Ids[3];  // by TEtapa; null reads as ""
  bool Cupom = false, XmlSat = false, ChaveSat = false;
  bool CaixaCadastrado = false;  // the row's register has its MSAUT row
  bool EsteCadastrado = false;   // this register has its MSAUT row
  bool EsteTemChave = false;     // ... with the Integrador's access key
};

std::vector<std::string> SqlLinha() {
  return {"SELECT T.CAIXA, CAST(T.MFE_DATAVENDA AS VARCHAR(10)) AS DATAVENDA,",
          "CAST(T.MFE_DATAVENDA + 5 AS VARCHAR(10)) AS LIBERADA,",
          "IIF(T.MFE_DATAVENDA < CURRENT_DATE - 4, 1, 0) AS ANTIGA,",
          "T.MFE_VALORPAGAMENTO, T.MFE_SERIALPOS, T.MFE_IDPAGAMENTO, T.MFE_IDSTATUSVALIDADOR, T.MFE_IDRESPOSTAFISCAL,",
          "IIF(COALESCE(T.MFE_NUMCUPOM, '') <> '', 1, 0) AS CUPOM,",
          "IIF(COALESCE(T.MFE_XMLSAT, '') <> '', 1, 0) AS XMLSAT,",
          "IIF(COALESCE(T.MFE_CHAVESAT, '') <> '', 1, 0) AS CHAVESAT,",
          "IIF(EXISTS(SELECT 1 FROM MSAUT M WHERE M.CAIXA = T.CAIXA), 1, 0) AS CADASTRADO,",
          "IIF(EXISTS(SELECT 1 FROM MSAUT M WHERE M.CAIXA = :CAIXA), 1, 0) AS ESTE_CADASTRADO,",
          "IIF(EXISTS(SELECT 1 FROM MSAUT M WHERE M.CAIXA = :CAIXA",
          "  AND TRIM(COALESCE(M.MFE_CHAVEACESSOINTEGRADOR, '')) <> ''), 1, 0) AS ESTE_TEM_CHAVE",
          "FROM MFE_TRANSACAO_CARTOES T WHERE T.MFE_IDENTIFICADORINTERNO = :ID"};
}

// The answers the row recorded, whose sessions name its exchanges.
std::vector<std::string> SqlRespostas() {
  return {"SELECT MFE_XML_ENVIARPAGAMENTO, MFE_XML_STATUSVALIDADOR, MFE_XML_RESPOSTAFISCAL",
          "FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO = :ID"};
}

const char* NomeDaEtapa(TEtapa etapa) {
  switch (etapa) {
    case etPagamento:
      return "o pagamento";
    case etStatusPagamento:
      return "o status do pagamento";
    case etRespostaFiscal:
      break;
  }
  return "a resposta fiscal";
}

// "R$ 1.234,50".
std::string Reais(std::int64_t valor) {
  const bool negativo = valor < 0;
  const std::uint64_t centavos = (static_cast<std::uint64_t>(negativo ? -valor : valor) + 50) / 100;
  std::string inteiro = std::to_string(centavos / 100);
  for (int i = static_cast<int>(inteiro.size()) - 3; i > 0; i -= 3) inteiro.insert(static_cast<std::size_t>(i), ".");
  const std::uint64_t resto = centavos % 100;
  return std::string("R$ ") + (negativo ? "-" : "") + inteiro + "," + (resto < 10 ? "0" : "") + std::to_string(resto);
}

// `texto` cut to `max` characters (UTF-8), "..." marking the cut.
std::string Cortado(const std::string& texto, std::size_t max) {
  std::size_t caracteres = 0;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    if ((static_cast<unsigned char>(texto[i]) & 0xC0) == 0x80) continue;
    if (caracteres++ == max) return texto.substr(0, i) + " ...";
  }
  return texto;
}

// True when `texto` holds `antes` + the decimal `numero` + something that is
// not a digit (or its end).
bool CitaNumero(std::string_view texto, std::string_view antes, const std::string& numero) {
  const std::string alvo = std::string(antes) + numero;
  for (std::size_t p = texto.find(alvo); p != std::string_view::npos; p = texto.find(alvo, p + 1)) {
    const std::size_t fim = p + alvo.size();
    if (fim == texto.size() || texto[fim] < '0' || texto[fim] > '9') return true;
  }
  return false;
}

// True when `texto` names a command or answer file of session `numero`:
// "<method>-<session>.xml", ".tmp", or "<method>-<session>-<time>.xml".
bool CitaArquivo(std::string_view texto, const std::string& numero) {
  const std::string alvo = "-" + numero;
  for (std::size_t p = texto.find(alvo); p != std::string_view::npos; p = texto.find(alvo, p + 1)) {
    const std::size_t fim = p + alvo.size();
    if (p > 0 && texto[p - 1] >= 'a' && texto[p - 1] <= 'z' && fim < texto.size() &&
        (texto[fim] == '.' || texto[fim] == '-'))
      return true;
  }
  return false;
}

// Whether a log entry names the row: by its key, as the service log names
// rows, or by one of its sessions, as both logs name sessions (the command
// files' names, the envelopes' Identificador, the log lines' words).
bool CitaLinha(std::string_view entrada, std::int64_t idInterno, const std::set<std::int32_t>& sessoes) {
  const std::string chave = std::to_string(idInterno);
  if (CitaNumero(entrada, "row ", chave) || CitaNumero(entrada, "MFE_IDENTIFICADORINTERNO = ", chave)) return true;
  for (std::int32_t s : sessoes) {
    const std::string n = std::to_string(s);
    if (CitaArquivo(entrada, n)) return true;
    for (std::string_view antes : {"session ", "essao: ", "essão: ", "sessão ", "<Valor>", "( "})
      if (CitaNumero(entrada, antes, n)) return true;
  }
  return false;
}

// True when a line begins a log entry: both logs start theirs with the date,
// "DD/MM/YYYY " or "DD/MM/YY ".
bool IniciaEntrada(std::string_view l) {
  const auto digito = [&](std::size_t i) { return i < l.size() && l[i] >= '0' && l[i] <= '9'; };
  return digito(0) && digito(1) && l.size() > 5 && l[2] == '/' && digito(3) && digito(4) && l[5] == '/';
}

// The entries of a log and of its older generation, oldest first, each on
// one line; nothing for a log that is missing or cannot be read.
std::vector<std::string> EntradasDoLog(const std::string& caminho) {
  std::vector<std::string> entradas;
  for (const std::string& arquivo : {OlderLogGeneration(caminho), caminho}) {
    if (!platform::FileExists(arquivo)) continue;
    std::vector<std::string> linhas;
    try {
      // The service may be appending to it meanwhile.
      linhas = platform::SplitLines(platform::DecodeTextFile(platform::ReadGrowingFileBytes(arquivo)).text);
    } catch (const std::exception&) {
      continue;
    }
    for (const std::string& l : linhas) {
      if (IniciaEntrada(l) || entradas.empty())
        entradas.push_back(l);
      else
        entradas.back() += " " + l;
    }
  }
  return entradas;
}

class Explicacao {
 public:
  Explicacao(const TStatusCheckOptions& o, std::int64_t idInterno, std::ostream& out)
      : FOptions(o),
        FIdInterno(idInterno),
        FOut(out),
        FRelatorio(out, *o.Clock),
        FExeDir(platform::WithTrailingDelim(o.ExeDir.empty() ? platform::ExecutableDir() : o.ExeDir)) {
    // Only what is wrong with the connection is said in the status check's
    // lines; the row's own lines follow.
    FRelatorio.MostrarOk = false;
  }

  TStatusCheckResult Executar() {
    const TServiceSettings settings = TServiceSettings::Load(FExeDir + kServiceSettingsName);
    FCaixa = settings.NumeroCaixa();
    const TGestaloIni gestalo = LerGestaloIni(FExeDir);
    FDb = std::make_shared<TBancoLeitura>();
    PrepararLogin(FDb->conn, gestalo);
    if (!ConectarLeitura(FRelatorio, FDb, gestalo, FOptions.ConnectTimeoutSec)) return FRelatorio.result;
    try {
      if (LerLinha()) {
        LerDiario();
        LerEnviosListados();
        Mostrar(gestalo.Caminho);
        FOut << "Motivo: " << Motivo() << "\n";
        MostrarLogs();
      } else {
        FRelatorio.Fail("A linha " + std::to_string(FIdInterno) + " não existe em MFE_TRANSACAO_CARTOES do banco " +
                            gestalo.Caminho,
                        "Confira o número (MFE_IDENTIFICADORINTERNO) e Caminho no Gestalo.ini");
      }
    } catch (const std::exception& e) {
      FRelatorio.Fail("O banco deixou de responder durante a leitura da linha: " + TextoErroBanco(e),
                      "Repita; se persistir, rode o Pagvigia com " + std::string(platform::kSwitchPrefix) +
                          "STATUS e veja o servidor Firebird");
    }
    FOut.flush();
    try {
      FDb->conn.Disconnect();
    } catch (const std::exception&) {
      // Read-only work only: nothing to keep.
    }
    return FRelatorio.result;
  }

 private:
  bool LerLinha() {
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, SqlLinha());
    q.Prepare();
    q.ParamByName("ID").SetAsInt64(FIdInterno);
    q.ParamByName("CAIXA").SetAsInteger(FCaixa);
    q.Open();
    if (q.Eof()) return false;
    TLinhaLida& l = FLinha;
    if (!q.FieldByName("CAIXA").IsNull()) l.Caixa = q.FieldByName("CAIXA").AsInteger();
    l.DataVenda = q.FieldByName("DATAVENDA").AsString();
    l.Liberada = q.FieldByName("LIBERADA").AsString();
    l.Antiga = q.FieldByName("ANTIGA").AsInteger() != 0;
    if (!q.FieldByName("MFE_VALORPAGAMENTO").IsNull()) l.Valor = q.FieldByName("MFE_VALORPAGAMENTO").AsCurrency();
    l.Serial = q.FieldByName("MFE_SERIALPOS").AsString();
    for (TEtapa e : {etPagamento, etStatusPagamento, etRespostaFiscal})
      l.Ids[e] = q.FieldByName(std::string(ColunaDaEtapa(e))).AsString();
    l.Cupom = q.FieldByName("CUPOM").AsInteger() != 0;
    l.XmlSat = q.FieldByName("XMLSAT").AsInteger() != 0;
    l.ChaveSat = q.FieldByName("CHAVESAT").AsInteger() != 0;
    l.CaixaCadastrado = q.FieldByName("CADASTRADO").AsInteger() != 0;
    l.EsteCadastrado = q.FieldByName("ESTE_CADASTRADO").AsInteger() != 0;
    l.EsteTemChave = q.FieldByName("ESTE_TEM_CHAVE").AsInteger() != 0;
    q.Close();
    // A status id is the session number of the status's answer.
    if (TemStatus()) {
      const std::string& id = l.Ids[etStatusPagamento];
      if (!id.empty() && id.size() <= 7 &&
          std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
        AnotarSessao(std::stoi(id));
    }
    LerSessoesGravadas();
    return true;
  }

  // The sessions of the answers the row recorded; an answer that cannot be
  // read names none.
  void LerSessoesGravadas() {
    try {
      TFbQuery q(&FDb->conn);
      DefinirSQL(q, SqlRespostas());
      q.Prepare();
      q.ParamByName("ID").SetAsInt64(FIdInterno);
      q.Open();
      if (!q.Eof())
        for (const char* c : {"MFE_XML_ENVIARPAGAMENTO", "MFE_XML_STATUSVALIDADOR", "MFE_XML_RESPOSTAFISCAL"})
          AnotarSessao(q.FieldByName(c).AsString());
      q.Close();
    } catch (const EFbISCError& e) {
      if (e.IsLostConnection()) throw;
    } catch (const EFbStatementError&) {
    }
  }

  // The session an answer belongs to.
  void AnotarSessao(const std::string& xml) {
    if (xml.empty()) return;
    TIntegradorResposta r;
    try {
      r.LerResposta(xml);
    } catch (const std::exception&) {
    }
    AnotarSessao(r.Identificador);
  }
  void AnotarSessao(std::int32_t sessao) {
    if (sessao > 0) FSessoes.insert(sessao);
  }

  bool Pendente(TEtapa e) const { return FLinha.Ids[e] == kNaoFeito; }
  bool TemStatus() const { return FLinha.Serial == kSerialTEF; }

  std::string Estado(TEtapa e) const {
    if (e == etStatusPagamento && !TemStatus())
      return "não se aplica (pagamento pelo POS " + (FLinha.Serial.empty() ? "sem número de série" : FLinha.Serial) +
             ")";
    if (Pendente(e)) return "a enviar";
    return FLinha.Ids[e].empty() ? "feito (sem id)" : "feito (id " + FLinha.Ids[e] + ")";
  }

  // The step the cycle would send next.
  TEtapa ProximaEtapa() const {
    if (Pendente(etPagamento)) return etPagamento;
    if (TemStatus() && Pendente(etStatusPagamento)) return etStatusPagamento;
    return etRespostaFiscal;
  }

  void Mostrar(const std::string& caminho) {
    const TLinhaLida& l = FLinha;
    FOut << "Linha " << FIdInterno << " de MFE_TRANSACAO_CARTOES (banco " << caminho << "), vista pelo caixa " << FCaixa
         << "\n";
    FOut << "  Caixa da venda:       " << (l.Caixa ? std::to_string(*l.Caixa) : "nenhum (CAIXA vazio)") << "\n";
    FOut << "  Data da venda:        " << (l.DataVenda.empty() ? "nenhuma (MFE_DATAVENDA vazio)" : DateBr(l.DataVenda))
         << "\n";
    FOut << "  Valor:                " << (l.Valor ? Reais(*l.Valor) : "nenhum") << "\n";
    FOut << "  Número de série:      " << (l.Serial.empty() ? "nenhum" : l.Serial) << "\n";
    FOut << "  Pagamento:            " << Estado(etPagamento) << "\n";
    FOut << "  Status do pagamento:  " << Estado(etStatusPagamento) << "\n";
    FOut << "  Resposta fiscal:      " << Estado(etRespostaFiscal) << "\n";
  }

  // The first thing, in the cycle's order, that keeps the next step back.
  std::string Motivo() {
    const TLinhaLida& l = FLinha;
    const std::string este = "o caixa " + std::to_string(FCaixa);
    if (!Pendente(etPagamento) && !Pendente(etRespostaFiscal))
      return "nada a enviar: o pagamento e a resposta fiscal já estão gravados na linha";
    std::vector<const char*> vazias;
    if (!l.Cupom) vazias.push_back("MFE_NUMCUPOM");
    if (!l.XmlSat) vazias.push_back("MFE_XMLSAT");
    if (!l.ChaveSat) vazias.push_back("MFE_CHAVESAT");
    if (!vazias.empty()) {
      std::string lista;
      for (std::size_t i = 0; i < vazias.size(); ++i)
        lista += std::string(i == 0 ? "" : i + 1 == vazias.size() ? " e " : ", ") + vazias[i];
      return "a linha não está pendente: a venda não foi concluída no fiscal (" + lista +
             (vazias.size() == 1 ? " vazio" : " vazios") +
             "); o serviço só envia uma venda com o cupom, o XML e a chave do CF-e gravados";
    }
    if (const std::string s = Selecao(); !s.empty()) return s;
    if (!l.EsteCadastrado)
      return "MSAUT não tem linha para " + este +
             ": os pedidos vão sem a chave de acesso do Integrador, que os recusa; cadastre " + este +
             " no Gestalo, ou corrija IdCaixa no ConfCaixa.ini";
    if (!l.EsteTemChave)
      return "MSAUT do caixa " + std::to_string(FCaixa) +
             " tem MFE_CHAVEACESSOINTEGRADOR vazio: o Integrador recusa os pedidos; informe a chave no cadastro do "
             "caixa no Gestalo";

    if (!FDiarioIlegivel.empty())
      return FDiarioIlegivel + "; enquanto isso nenhuma linha é enviada ao Integrador (veja " +
             std::string(platform::kSwitchPrefix) + "STATUS)";
    if (const std::string s = TextoIlegivel(); !s.empty()) return s;

    const TTamanhosColunasId tamanhos = LerTamanhos();
    for (const TEntradaDiario& e : FEntradas) {
      const std::string coluna(ColunaDaEtapa(e.Etapa));
      if (e.Enviando) {
        const std::string envio = este + " enviou " + NomeDaEtapa(e.Etapa) + " (" + coluna + ", sessão " +
                                  std::to_string(e.Sessao) + ", comando " + e.ArquivoComando + ") em " +
                                  MomentoDoDiario(e.Desde);
        // The step's claim is held from before the send until its answer is
        // recorded: held now, the cycle that sent it is still waiting.
        if (Reservada())
          return "envio em andamento: " + envio +
                 " e espera agora a resposta do Integrador (a linha está reservada pelo ciclo que a enviou)";
        return "envio sem resposta: " + envio +
               " e não recebeu a resposta; o próximo ciclo procura a resposta na pasta de saída, retira o comando "
               "se o Integrador não o tomou ou pergunta ao Integrador pela sessão, e nada é enviado para esta "
               "linha até saber o que houve";
      }
      if (AvisoIdNaoCabe(e, tamanhos))
        return "o diário " + std::string(TDiario::kNomeArquivo) + " guarda o id \"" + e.Id + "\" de " + coluna +
               ", mais longo que os " + std::to_string(tamanhos[e.Etapa].value_or(0)) +
               " caracteres da coluna: ele fica no diário, e a etapa não é enviada de novo, até a coluna ser alargada";
      return "o diário " + std::string(TDiario::kNomeArquivo) + " guarda o id \"" + e.Id + "\" de " + coluna +
             ", dado pelo Integrador e ainda não gravado na linha: o próximo ciclo que se conectar ao banco o grava, "
             "sem enviar a etapa de novo";
    }

    if (!FEnviosListados.empty()) {
      const TEnvioListado& e = FEnviosListados.front();
      const std::string caixa = "caixa " + std::to_string(e.Caixa);
      return "envio sem resposta do " + caixa + " listado em " + std::string(kTabelaEnvios) + " (" + e.Coluna +
             ", sessão " + std::to_string(e.Sessao) + ", desde " + e.Desde + "): nenhum caixa envia esta linha até o " +
             caixa +
             " saber o que houve; se esse caixa não voltar a funcionar, confira no Integrador dele e grave o "
             "id na linha à mão antes de apagar a linha da tabela";
    }

    const TEtapa proxima = ProximaEtapa();
    if (AvisoColunaCurta(proxima, tamanhos))
      return std::string("a coluna ") + std::string(ColunaDaEtapa(proxima)) + " de MFE_TRANSACAO_CARTOES tem " +
             std::to_string(tamanhos[proxima].value_or(0)) + " caracteres, e os ids do Integrador para " +
             NomeDaEtapa(proxima) + " têm até " + std::to_string(MaiorIdDaEtapa(proxima).value_or(0)) +
             ": nada é enviado para esta etapa até a coluna ser alargada";
    if (Reservada())
      return "a linha está reservada agora por outra conexão ao banco (o Pagvigia deste ou de outro caixa, no meio "
             "de uma etapa): quem a reservou envia a etapa; se a reserva continuar, veja se algum Pagvigia está "
             "parado no meio de um envio";
    return "nada impede: o próximo ciclo do caixa " + std::to_string(FCaixa) + " envia " + NomeDaEtapa(proxima);
  }

  // Whether this register's pending selection takes the row.
  std::string Selecao() const {
    const TLinhaLida& l = FLinha;
    if ((l.Caixa && *l.Caixa == FCaixa) || l.Antiga) return "";
    const std::string quando = l.Liberada.empty()
                                   ? "nunca, porque a linha não tem data de venda (MFE_DATAVENDA vazio)"
                                   : "a partir de " + DateBr(l.Liberada) + ", se ela ainda estiver pendente";
    const std::string este = "este caixa (" + std::to_string(FCaixa) + ")";
    if (!l.Caixa)
      return "a linha não tem caixa (CAIXA vazio): " + este +
             " só a envia quando a venda tiver mais de 4 "
             "dias, " +
             quando;
    const std::string dela = "caixa " + std::to_string(*l.Caixa);
    if (!l.CaixaCadastrado)
      return "o " + dela + " não tem linha em MSAUT (nenhum Pagvigia é desse caixa): " + este +
             " envia a linha quando a venda tiver mais de 4 dias, " + quando;
    return "venda do " + dela + " com menos de 4 dias: o Pagvigia do " + dela + " a envia; " + este + " só a envia " +
           quando;
  }

  // The row read as the cycle reads it: "" when it can be, else the reason.
  std::string TextoIlegivel() {
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, SqlTransacaoPendente());
    try {
      LerTransacaoPendente(q, FIdInterno, FCaixa);
    } catch (const ETransacaoIlegivel& e) {
      // The server's own words, without the key the cycle's line adds.
      std::string msg = e.what();
      if (const auto p = msg.find("ISC ERROR MESSAGE:"); p != std::string::npos) msg = msg.substr(p + 18);
      if (const auto p = msg.rfind(" (MFE_IDENTIFICADORINTERNO = "); p != std::string::npos) msg.erase(p);
      return "o servidor não consegue entregar o texto desta linha pela conexão do serviço (" + FDb->conn.CharSet() +
             "): " + UmaLinha(msg) +
             "; o serviço pula a linha a cada ciclo, com uma entrada no Pagvigia.log; corrija o texto da linha, "
             "ou o conjunto de caracteres da coluna";
    }
    return "";
  }

  TTamanhosColunasId LerTamanhos() {
    TFbQuery q(&FDb->conn);
    return LerTamanhosColunasId(q);
  }

  // This register's journal entries for the row (an unreadable journal is
  // kept as its message), and the sessions they name.
  void LerDiario() {
    TDiario diario(FExeDir + TDiario::kNomeArquivo);
    try {
      diario.Carregar();
    } catch (const EDiarioIlegivel& e) {
      FDiarioIlegivel = UmaLinha(e.what());
      return;
    }
    for (const TEntradaDiario& e : diario.Entradas()) {
      if (e.IdInterno != FIdInterno) continue;
      FEntradas.push_back(e);
      if (e.Enviando)
        FSessoes.insert(e.Sessao);
      else
        AnotarSessao(e.XML);
    }
  }

  // The row's sends that the shop's table lists, when it exists.
  void LerEnviosListados() {
    TFbQuery q(&FDb->conn);
    DefinirSQL(q, SqlExisteTabelaEnvios());
    q.Open();
    const bool existe = q.FieldByName("N").AsInteger() > 0;
    q.Close();
    if (!existe) return;
    FEnviosListados = LerEnviosDaLinha(q, FIdInterno);
    for (const TEnvioListado& e : FEnviosListados) FSessoes.insert(e.Sessao);
  }

  // Whether another attachment holds the row's claim now: a read-committed
  // read that neither waits nor takes an older version meets the claim's
  // lock as a conflict, without taking one itself.
  bool Reservada() {
    TFbTransaction tr(&FDb->conn, "VerificacaoReserva");
    tr.ReadOnly = true;
    tr.Isolation = tiCommitted;
    tr.RecVersion = false;
    tr.LockWait = false;
    tr.SetAutoCommit(false);
    TFbQuery q(&FDb->conn, &tr, "VerificacaoReserva");
    DefinirSQL(q, std::vector<std::string>{"SELECT MFE_IDPAGAMENTO FROM MFE_TRANSACAO_CARTOES",
                                           "WHERE MFE_IDENTIFICADORINTERNO = :ID"});
    bool reservada = false;
    try {
      q.Prepare();
      q.ParamByName("ID").SetAsInt64(FIdInterno);
      q.Open();
      q.Close();
    } catch (const EFbISCError& e) {
      if (!e.IsLockConflict()) throw;
      reservada = true;
    }
    if (tr.Started()) tr.Rollback();
    return reservada;
  }

  void MostrarLogs() {
    std::string sessoes;
    for (std::int32_t s : FSessoes) sessoes += (sessoes.empty() ? "" : ", ") + std::to_string(s);
    const std::string cita =
        "a chave " + std::to_string(FIdInterno) +
        (FSessoes.empty() ? std::string() : (FSessoes.size() == 1 ? " ou a sessão " : " ou as sessões ") + sessoes);
    for (const char* nome : {kServiceLogName, kIntegradorLogName}) {
      std::vector<std::string> citam;
      for (const std::string& e : EntradasDoLog(FExeDir + nome))
        if (CitaLinha(e, FIdInterno, FSessoes)) citam.push_back(e);
      const std::size_t n = std::min(citam.size(), static_cast<std::size_t>(std::max(FOptions.LogLines, 0)));
      FOut << nome << ", "
           << (n == 0 ? std::string("nenhuma entrada cita ") + cita
                      : std::string(n == 1 ? "última entrada" : "últimas " + std::to_string(n) + " entradas") + " de " +
                            std::to_string(citam.size()) + " que citam " + cita + ":")
           << "\n";
      for (std::size_t i = citam.size() - n; i < citam.size(); ++i)
        FOut << "    " << Cortado(UmaLinha(citam[i]), kMaxCaracteresEntrada) << "\n";
    }
  }

  const TStatusCheckOptions& FOptions;
  const std::int64_t FIdInterno;
  std::ostream& FOut;
  TRelatorio FRelatorio;
  std::string FExeDir;
  std::int32_t FCaixa = 0;
  std::shared_ptr<TBancoLeitura> FDb;
  TLinhaLida FLinha;
  std::set<std::int32_t> FSessoes;
  std::string FDiarioIlegivel;
  std::vector<TEntradaDiario> FEntradas;       // the journal's, of this row
  std::vector<TEnvioListado> FEnviosListados;  // the shop's table's, of this row
};

}  // namespace

TStatusCheckResult ExplicarLinha(const TStatusCheckOptions& options, std::int64_t idInterno, std::ostream& out) {
  return Explicacao(options, idInterno, out).Executar();
}

}  // namespace pagvigia
