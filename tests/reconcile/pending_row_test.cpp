// The outcome table of one pending row's processing, against a fake database
// and a fake Integrador: which statements run and which requests go out, in
// order, what each log line says, what is left committed in the row and what
// escapes to the cycle, by the row's state, the answers and the point where
// something fails.
#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <optional>
#include <set>
#include <utility>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/files.h"
#include "reconcile/reconciliacao.h"
#include "tests/support/temp_dir.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

constexpr std::int64_t kChave = 7;

// The row's three progress columns as committed, joined by " / ".
struct Progresso {
  std::string IdPagamento, IdStatus, IdFiscal;
  std::string Texto() const { return IdPagamento + " / " + IdStatus + " / " + IdFiscal; }
};

// The row as the database holds it: its committed progress, and the
// progress of the claim in progress, committed by Confirmar.
class FakeStatements : public TReconcileStatements {
 public:
  FakeStatements(std::vector<std::string>& trace, Progresso& linha, std::string& serial)
      : FTrace(trace), FLinha(linha), FSerial(serial) {}

  std::string Falha;  // the statement that raises ("POS?", "POS#", "reread", "update <step>", "claim")
  bool OutraInstancia = false;   // another attachment holds the row
  bool LinhaAusente = false;     // the row is gone
  TTamanhosColunasId Tamanhos;   // the id columns' lengths
  // What another instance commits just before the claim, if anything.
  std::optional<Progresso> GravadoPorOutra;

  TResultadoReserva Reservar(std::int64_t idInterno, TIdsLinha& ids) override {
    if (OutraInstancia) {
      FTrace.push_back("claim refused");
      return rrOutraInstancia;
    }
    Run("claim", "claim");
    if (LinhaAusente || idInterno != kChave) return rrLinhaAusente;
    if (GravadoPorOutra) FLinha = *std::exchange(GravadoPorOutra, std::nullopt);
    FReserva = FLinha;
    ids = {FLinha.IdPagamento, FLinha.IdStatus, FLinha.IdFiscal};
    return rrReservada;
  }
  void Confirmar() override {
    FTrace.push_back("commit");
    FLinha = *std::exchange(FReserva, std::nullopt);
  }
  void Liberar() noexcept override {
    if (FReserva) FTrace.push_back("release");
    FReserva.reset();
  }
  TTamanhosColunasId TamanhosColunasId() override { return Tamanhos; }

  // The shop's table of unfinished sends: whether it exists, what it lists.
  bool Tabela = false;
  std::vector<TEnvioListado> Listados;
  bool TabelaEnvios() override { return Tabela; }
  void InserirEnvio(std::int32_t caixa, std::int64_t, TEtapa etapa, std::int32_t sessao) override {
    FTrace.push_back("list " + std::string(ColunaDaEtapa(etapa)) + " " + std::to_string(sessao) + " of register " +
                     std::to_string(caixa));
  }
  void ApagarEnvio(std::int64_t, TEtapa etapa) override {
    FTrace.push_back("unlist " + std::string(ColunaDaEtapa(etapa)) + (FReserva ? "" : " on its own"));
  }
  std::vector<TEnvioListado> EnviosDaLinha(std::int64_t) override {
    FTrace.push_back("listed?");
    return Listados;
  }

  std::int32_t CodigoPOSPorSerial(const std::string& serialPOS) override {
    Run("POS? " + serialPOS, "POS?");
    return serialPOS == "POS-5" ? 5 : 0;
  }
  TTerminalPOS POSPorCodigo(std::int32_t codigoPOS) override {
    Run("POS# " + std::to_string(codigoPOS), "POS#");
    return {"POS-5", "REQ-5", "E-0042"};
  }
  TTransacaoRelida RelerTransacao(std::int64_t idInterno) override {
    Run("reread " + std::to_string(idInterno), "reread");
    return {FSerial, FLinha.IdStatus};
  }
  bool AtualizaPagamento(std::int64_t idInterno, const std::string& id, const std::string& xml) override {
    return Update("payment", idInterno, id, xml, &Progresso::IdPagamento);
  }
  bool AtualizaStatusValidador(std::int64_t idInterno, const std::string& id, const std::string& xml) override {
    return Update("status", idInterno, id, xml, &Progresso::IdStatus);
  }
  bool AtualizaRespostaFiscal(std::int64_t idInterno, const std::string& id, const std::string& xml) override {
    return Update("fiscal", idInterno, id, xml, &Progresso::IdFiscal);
  }

 private:
  void Run(const std::string& what, const std::string& name) {
    FTrace.push_back(what);
    if (Falha == name) throw std::runtime_error("database failed at " + name);
  }
  // Each update carries the row's key and the answer of its own step, and
  // runs inside a claim.
  bool Update(const std::string& step, std::int64_t idInterno, const std::string& id, const std::string& xml,
              std::string Progresso::*column) {
    Run("update " + step + " " + id + (idInterno == kChave ? "" : " of another row") +
            (xml == "<answer " + step + ">" ? "" : " with " + xml) + (FReserva ? "" : " without a claim"),
        "update " + step);
    if (FReserva) (*FReserva).*column = id;
    return false;
  }

  std::vector<std::string>& FTrace;
  Progresso& FLinha;
  std::string& FSerial;
  std::optional<Progresso> FReserva;
};

// Answers by method: "AP 64", "AP 64 local", "EE 64" (payment), "AP", "EE"
// (status), "AP RF-1", "EE RF-1" (fiscal), or "raise".
class FakeIntegrador : public TIntegradorCalls {
 public:
  explicit FakeIntegrador(std::vector<std::string>& trace) : FTrace(trace) {}

  std::string Pagamento, Status, Fiscal;
  std::map<std::string, std::string> Enviado;  // the XML sent, by log prefix
  // A "raise" after the Integrador took the command (else it was withdrawn).
  bool Tomado = false;
  // Settling unfinished sends: answers in the output folder by session,
  // command files still in the input folder, and the reply to a
  // consultation ("raise", "unknown" or the answer kept).
  std::map<std::int32_t, std::string> Atrasadas;
  std::set<std::string> NaEntrada;
  std::string Consulta = "raise";
  // The journal, which must hold the send when its command is published.
  const TDiario* Diario = nullptr;

  void SetAoPublicar(TAoPublicar aoPublicar) override { FAoPublicar = std::move(aoPublicar); }
  bool ComandoRetirado() const override { return FRetirado; }
  std::optional<std::string> RespostaAtrasada(std::int32_t sessao) override {
    FTrace.push_back("look for answer " + std::to_string(sessao));
    const auto it = Atrasadas.find(sessao);
    if (it == Atrasadas.end()) return std::nullopt;
    std::string r = it->second;
    Atrasadas.erase(it);
    return r;
  }
  bool RetirarComando(const std::string& arquivo) override {
    FTrace.push_back("withdraw " + arquivo);
    return NaEntrada.erase(arquivo) > 0;
  }
  std::optional<std::string> ConsultarSessao(std::int32_t sessao) override {
    FTrace.push_back("ask about " + std::to_string(sessao));
    if (Consulta == "raise") throw std::runtime_error("Sem Resposta do Integrador");
    if (Consulta == "unknown") return std::nullopt;
    return Consulta;
  }

  std::unique_ptr<TRespostaPagamento> EnviarPagamento(TEnviarPagamento& pedido) override {
    Enviar(pedido, "payment " + pedido.SerialPOS, Pagamento, "Pagamento MFE");
    auto r = std::make_unique<TRespostaPagamento>();
    Responder(*r, "payment", Pagamento);
    r->IDPagamento = std::stoi(Pagamento.substr(3));
    if (Pagamento.ends_with(" local")) r->StatusPagamento = "SalvoEmArmazenamentoLocal";
    return r;
  }
  std::unique_ptr<TRespostaStatusPagamento> EnviarStatusPagamento(TStatusPagamento& pedido) override {
    Enviar(pedido, "status queue " + std::to_string(pedido.IDFila), Status, "Status Pagamento");
    auto r = std::make_unique<TRespostaStatusPagamento>();
    Responder(*r, "status", Status);
    return r;
  }
  std::unique_ptr<TRetornoRespostaFiscal> RespostaFiscal(TRespostaFiscal& pedido) override {
    Enviar(pedido, "fiscal queue " + std::to_string(pedido.IDFila), Fiscal, "Resposta Fiscal");
    auto r = std::make_unique<TRetornoRespostaFiscal>();
    Responder(*r, "fiscal", Fiscal);
    r->IdRespostaFiscal = Fiscal.substr(3);
    return r;
  }

 private:
  template <class Pedido>
  void Enviar(Pedido& pedido, const std::string& what, const std::string& resposta, const std::string& prefixo) {
    FTrace.push_back(what);
    pedido.Identificador = ++FSessao;
    Enviado[prefixo] = pedido.AsXMLString();
    FRetirado = false;
    if (FAoPublicar) {
      const std::string arquivo = "cmd-" + std::to_string(FSessao) + ".xml";
      FAoPublicar(FSessao, arquivo);
      // Durably journaled before the command goes out.
      TDiario noDisco(Diario->Arquivo());
      noDisco.Carregar();
      bool registrado = false;
      for (const auto& e : noDisco.Entradas())
        registrado = registrado || (e.Enviando && e.Sessao == FSessao && e.ArquivoComando == arquivo);
      EXPECT_TRUE(registrado) << what << " published before it was journaled";
    }
    if (resposta == "raise") {
      FRetirado = !Tomado;
      throw std::runtime_error("Sem Resposta do Integrador");
    }
  }
  template <class Resposta>
  void Responder(Resposta& r, const std::string& step, const std::string& resposta) {
    r.IntegradorResposta.Identificador = FSessao;
    r.IntegradorResposta.Codigo = resposta.substr(0, 2);
    r.XML = "<answer " + step + ">";
  }

  std::vector<std::string>& FTrace;
  std::int32_t FSessao = 100;
  TAoPublicar FAoPublicar;
  bool FRetirado = false;
};

struct Caso {
  const char* nome;
  // The row as selected.
  const char* idPagamento = "0";
  const char* serial = "TEF";
  const char* idStatus = "0";
  const char* idFiscal = "0";
  // The answers, the failing statement, a register whose data cannot be read.
  const char* pagamento = "AP 64";
  const char* status = "AP";
  const char* fiscal = "AP RF-1";
  const char* falha = "";
  bool caixaIlegivel = false;
  // A missing answer after the Integrador took the command.
  bool tomado = false;
  // Other instances: one holds the row, or committed this progress just
  // before the claim; the row is gone.
  bool outraInstancia = false;
  std::optional<Progresso> gravadoPorOutra = std::nullopt;
  bool linhaAusente = false;
  // The id columns' lengths; a log that cannot be written.
  TTamanhosColunasId tamanhos = {};
  bool logFalha = false;
  // A stop requested once this many claims have been committed (0: none).
  int pararAposCommits = 0;
  // The shop's table of unfinished sends, and what it lists for the row.
  bool tabela = false;
  std::vector<TEnvioListado> listados = {};
  // What happens, in order ("log <prefix>" for a log line, "raises: <message>"
  // for what escapes), the progress left committed and the journal's entries
  // ("<row> <column> <id>").
  std::vector<std::string> esperado;
  const char* progresso = "";
  std::vector<std::string> diario = {};
};

void PrintTo(const Caso& c, std::ostream* os) { *os << c.nome; }

std::vector<std::string> Entradas(const TDiario& d) {
  std::vector<std::string> out;
  for (const auto& e : d.Entradas())
    out.push_back(std::to_string(e.IdInterno) + " " + std::string(ColunaDaEtapa(e.Etapa)) + " " +
                  (e.Enviando ? "session " + std::to_string(e.Sessao) + " " + e.ArquivoComando : e.Id));
  return out;
}

class PendingRowFixture {
 protected:
  PendingRowFixture()
      : FStmts(FTrace, FLinha, FSerial),
        FIntegrador(FTrace),
        FDiario(FDir / TDiario::kNomeArquivo),
        FRec(FStmts, FIntegrador, FDiario, [this](const std::string& m) { Log(m); }) {
    FIntegrador.Diario = &FDiario;
  }

  void Log(const std::string& msg) {
    const std::string prefixo = msg.substr(0, msg.find(':'));
    FTrace.push_back("log " + prefixo);
    // A rejection's line carries the request as it was sent, session number
    // included.
    const std::string resto = msg.substr(prefixo.size() + 2);
    if (resto.starts_with("<")) {
      EXPECT_EQ(resto, FIntegrador.Enviado[prefixo]);
    }
    if (FLogFalha) throw std::runtime_error("log cannot be written");
  }

  std::vector<std::string> FTrace;
  Progresso FLinha;
  std::string FSerial;
  bool FLogFalha = false;
  FakeStatements FStmts;
  FakeIntegrador FIntegrador;
  testing::TempDir FDir{"pending-row"};
  TDiario FDiario;
  TReconciliacao FRec;
};

class PendingRow : public PendingRowFixture, public ::testing::TestWithParam<Caso> {};

TEST_P(PendingRow, Outcome) {
  const Caso& c = GetParam();
  TTransacaoPendente linha;
  linha.IdentificadorInterno = kChave;
  linha.SerialPOS = FSerial = c.serial;
  linha.IdPagamento = FLinha.IdPagamento = c.idPagamento;
  linha.IdStatusValidador = FLinha.IdStatus = c.idStatus;
  linha.IdRespostaFiscal = FLinha.IdFiscal = c.idFiscal;
  linha.ValorPagamento = 105000;
  FStmts.Falha = c.falha;
  FStmts.OutraInstancia = c.outraInstancia;
  FStmts.GravadoPorOutra = c.gravadoPorOutra;
  FStmts.LinhaAusente = c.linhaAusente;
  FStmts.Tamanhos = c.tamanhos;
  FStmts.Tabela = c.tabela;
  FStmts.Listados = c.listados;
  FRec.SetCaixa(3);
  FIntegrador.Pagamento = c.pagamento;
  FIntegrador.Status = c.status;
  FIntegrador.Fiscal = c.fiscal;
  FIntegrador.Tomado = c.tomado;
  const TDadosCaixa caixa =
      c.caixaIlegivel ? TDadosCaixa::Ler([]() -> std::string { throw std::runtime_error("MSAUT unreadable"); },
                                         [] { return std::string("08.723.218/0001-86"); })
                      : TDadosCaixa("CHAVE-1", "08723218000186");
  ASSERT_TRUE(FRec.PrepararCiclo());
  ASSERT_TRUE(FTrace.empty());
  FLogFalha = c.logFalha;
  FRec.SetPedidoParada([this, &c] {
    return c.pararAposCommits > 0 && std::count(FTrace.begin(), FTrace.end(), "commit") >= c.pararAposCommits;
  });

  try {
    FRec.EnviaMFEPendentes(linha, caixa);
  } catch (const std::exception& e) {
    FTrace.push_back(std::string("raises: ") + e.what());
  }
  EXPECT_EQ(FTrace, c.esperado);
  EXPECT_EQ(FLinha.Texto(), c.progresso);
  // What the journal keeps is what a fresh process would read.
  TDiario relido(FDiario.Arquivo());
  relido.Carregar();
  EXPECT_EQ(Entradas(relido), c.diario);
}

const std::string kSemResposta = "raises: Sem Resposta do Integrador";

INSTANTIATE_TEST_SUITE_P(
    Table, PendingRow,
    ::testing::Values(
        // Which steps run, by the row's state when selected. Each step claims
        // the row first and commits its update with the claim.
        Caso{.nome = "PosPaymentThenFiscal",
             .serial = "POS-5",
             .esperado = {"claim", "POS? POS-5", "POS# 5", "payment POS-5", "update payment 64", "commit",
                          "claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "TefPaymentStatusThenFiscal",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "update status 102", "commit", "claim", "reread 7", "fiscal queue 64",
                          "update fiscal RF-1", "commit"},
             .progresso = "64 / 102 / RF-1"},
        // A stop lets the step in flight be recorded and starts no other.
        Caso{.nome = "StopAfterThePaymentLeavesStatusAndFiscal",
             .pararAposCommits = 1,
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "StopAfterTheStatusLeavesTheFiscal",
             .pararAposCommits = 2,
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "update status 102", "commit"},
             .progresso = "64 / 102 / 0"},
        Caso{.nome = "TefWithStatusRecordedSkipsStatus",
             .idStatus = "9",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim", "reread 7",
                          "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 9 / RF-1"},
        Caso{.nome = "TefWithNullStatusSkipsStatusAndGetsFiscal",
             .idPagamento = "64",
             .idStatus = "",
             .esperado = {"claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 /  / RF-1"},
        Caso{.nome = "PositiveIdOfTerminalOnlyFiscal",
             .idPagamento = "64",
             .serial = "POS-5",
             .esperado = {"claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "PositiveIdOfTefStatusThenFiscal",
             .idPagamento = "64",
             .esperado = {"claim", "status queue 64", "update status 101", "commit", "claim", "reread 7",
                          "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 101 / RF-1"},
        Caso{.nome = "IdBeyond32BitsQueuesItsLow32Bits",
             .idPagamento = "4294967297",
             .esperado = {"claim", "status queue 1", "update status 101", "commit", "claim", "reread 7",
                          "fiscal queue 1", "update fiscal RF-1", "commit"},
             .progresso = "4294967297 / 101 / RF-1"},
        Caso{.nome = "NegativeIdSendsNothing",
             .idPagamento = "-5",
             .esperado = {"reread 7"},
             .progresso = "-5 / 0 / 0"},
        Caso{.nome = "ZeroPaddedZeroSendsNothing",
             .idPagamento = "00",
             .esperado = {"reread 7"},
             .progresso = "00 / 0 / 0"},
        Caso{.nome = "NullIdSendsNothing", .idPagamento = "", .esperado = {"reread 7"}, .progresso = " / 0 / 0"},
        Caso{.nome = "TextIdSendsNothing", .idPagamento = "x1", .esperado = {"reread 7"}, .progresso = "x1 / 0 / 0"},
        Caso{.nome = "UnregisteredSerialIsSentAsTefButKeepsNoStatusStep",
             .serial = "POS-X",
             .esperado = {"claim", "POS? POS-X", "payment TEF", "update payment 64", "commit", "claim", "reread 7",
                          "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "FiscalSentAgainWhenOnlyThePaymentWasMissing",
             .serial = "POS-5",
             .idFiscal = "RF-0",
             .esperado = {"claim", "POS? POS-5", "POS# 5", "payment POS-5", "update payment 64", "commit",
                          "claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 0 / RF-1"},

        // The answers.
        Caso{.nome = "PaymentSavedLocallyRecordsNothing",
             .pagamento = "AP 64 local",
             .esperado = {"claim", "POS? TEF", "payment TEF", "release", "reread 7"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "PaymentWithoutIdRecordsNothing",
             .pagamento = "AP 0",
             .esperado = {"claim", "POS? TEF", "payment TEF", "release", "reread 7"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "RejectedPaymentWithIdIsRecordedThenLogged",
             .serial = "POS-5",
             .pagamento = "EE 64",
             .esperado = {"claim", "POS? POS-5", "POS# 5", "payment POS-5", "update payment 64", "commit",
                          "log Pagamento MFE", "claim", "reread 7", "fiscal queue 64", "update fiscal RF-1",
                          "commit"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "RejectedLocalPaymentIsLoggedOnly",
             .pagamento = "EE 64 local",
             .esperado = {"claim", "POS? TEF", "payment TEF", "log Pagamento MFE", "release", "reread 7"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "RejectedStatusHoldsTheFiscalResponseBack",
             .status = "EE",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "log Status Pagamento", "release", "claim", "reread 7", "release"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "RejectedFiscalResponseIsLoggedNotRecorded",
             .idPagamento = "64",
             .serial = "POS-5",
             .fiscal = "EE RF-1",
             .esperado = {"claim", "reread 7", "fiscal queue 64", "log Resposta Fiscal", "release"},
             .progresso = "64 / 0 / 0"},

        // Failures: the row ends where it failed, what was committed stays,
        // and an id the Integrador gave stays in the journal.
        Caso{.nome = "NoPaymentAnswer",
             .pagamento = "raise",
             .esperado = {"claim", "POS? TEF", "payment TEF", "release", kSemResposta},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "NoPaymentAnswerAfterTheIntegradorTookItLeavesTheSendUnfinished",
             .pagamento = "raise",
             .tomado = true,
             .esperado = {"claim", "POS? TEF", "payment TEF", "release", kSemResposta},
             .progresso = "0 / 0 / 0",
             .diario = {"7 MFE_IDPAGAMENTO session 101 cmd-101.xml"}},
        Caso{.nome = "NoStatusAnswerKeepsThePayment",
             .status = "raise",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "release", kSemResposta},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "NoFiscalAnswerKeepsPaymentAndStatus",
             .fiscal = "raise",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "update status 102", "commit", "claim", "reread 7", "fiscal queue 64",
                          "release", kSemResposta},
             .progresso = "64 / 102 / 0"},
        Caso{.nome = "SerialLookUpFailsBeforeAnythingIsSent",
             .falha = "POS?",
             .esperado = {"claim", "POS? TEF", "release", "raises: database failed at POS?"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "TerminalLookUpFailsBeforeAnythingIsSent",
             .serial = "POS-5",
             .falha = "POS#",
             .esperado = {"claim", "POS? POS-5", "POS# 5", "release", "raises: database failed at POS#"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "PaymentUpdateFailsAfterTheSendItsIdStaysInTheJournal",
             .falha = "update payment",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "release",
                          "raises: database failed at update payment"},
             .progresso = "0 / 0 / 0",
             .diario = {"7 MFE_IDPAGAMENTO 64"}},
        Caso{.nome = "StatusUpdateFailsKeepsThePayment",
             .falha = "update status",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "update status 102", "release", "raises: database failed at update status"},
             .progresso = "64 / 0 / 0",
             .diario = {"7 MFE_IDSTATUSVALIDADOR 102"}},
        Caso{.nome = "ReReadFailsKeepsPaymentAndStatus",
             .falha = "reread",
             .esperado = {"claim", "POS? TEF", "payment TEF", "update payment 64", "commit", "claim",
                          "status queue 64", "update status 102", "commit", "claim", "reread 7", "release",
                          "raises: database failed at reread"},
             .progresso = "64 / 102 / 0"},
        Caso{.nome = "FiscalUpdateFails",
             .idPagamento = "64",
             .serial = "POS-5",
             .falha = "update fiscal",
             .esperado = {"claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "release",
                          "raises: database failed at update fiscal"},
             .progresso = "64 / 0 / 0",
             .diario = {"7 MFE_IDRESPOSTAFISCAL RF-1"}},
        Caso{.nome = "ARejectedPaymentsLineThatCannotBeWrittenComesAfterItsIdIsRecorded",
             .serial = "POS-5",
             .pagamento = "EE 64",
             .logFalha = true,
             .esperado = {"claim", "POS? POS-5", "POS# 5", "payment POS-5", "update payment 64", "commit",
                          "log Pagamento MFE", "raises: log cannot be written"},
             .progresso = "64 / 0 / 0"},

        // Other instances on the same row: nothing is sent that another
        // recorded meanwhile, and a row another holds is passed over without
        // a line and without waiting.
        Caso{.nome = "ARowAnotherInstanceHoldsIsPassedOver",
             .outraInstancia = true,
             .esperado = {"claim refused"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "AFiscalStepAnotherInstanceHoldsIsPassedOver",
             .idPagamento = "64",
             .serial = "POS-5",
             .outraInstancia = true,
             .esperado = {"claim refused"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "APaymentRecordedMeanwhileIsNotSentAndItsIdCarriesOn",
             .gravadoPorOutra = Progresso{"55", "0", "0"},
             .esperado = {"claim", "release", "claim", "status queue 55", "update status 101", "commit", "claim",
                          "reread 7", "fiscal queue 55", "update fiscal RF-1", "commit"},
             .progresso = "55 / 101 / RF-1"},
        Caso{.nome = "AStatusRecordedMeanwhileIsNotSent",
             .idPagamento = "64",
             .gravadoPorOutra = Progresso{"64", "300", "0"},
             .esperado = {"claim", "release", "claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "commit"},
             .progresso = "64 / 300 / RF-1"},
        Caso{.nome = "AFiscalResponseRecordedMeanwhileIsNotSent",
             .idPagamento = "64",
             .serial = "POS-5",
             .gravadoPorOutra = Progresso{"64", "0", "RF-9"},
             .esperado = {"claim", "reread 7", "release"},
             .progresso = "64 / 0 / RF-9"},
        Caso{.nome = "ARowGoneIsPassedOver", .linhaAusente = true, .esperado = {"claim"}, .progresso = "0 / 0 / 0"},

        // The shop's table of unfinished sends: a send is listed before its
        // command goes out and unlisted with its update; a row another
        // register's unsettled send is listed for is passed over.
        Caso{.nome = "WithTheSharedTableEachSendIsListedAndUnlistedWithItsUpdate",
             .serial = "POS-5",
             .tabela = true,
             .esperado = {"claim", "listed?", "POS? POS-5", "POS# 5", "payment POS-5",
                          "list MFE_IDPAGAMENTO 101 of register 3", "update payment 64", "unlist MFE_IDPAGAMENTO",
                          "commit", "claim", "listed?", "reread 7", "fiscal queue 64",
                          "list MFE_IDRESPOSTAFISCAL 102 of register 3", "update fiscal RF-1",
                          "unlist MFE_IDRESPOSTAFISCAL", "commit"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "WithTheSharedTableARejectionUnlistsItsSend",
             .idPagamento = "64",
             .serial = "POS-5",
             .fiscal = "EE RF-1",
             .tabela = true,
             .esperado = {"claim", "listed?", "reread 7", "fiscal queue 64",
                          "list MFE_IDRESPOSTAFISCAL 101 of register 3", "log Resposta Fiscal",
                          "unlist MFE_IDRESPOSTAFISCAL", "commit"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "ARowAnotherRegisterLeftUnsettledIsPassedOverWithALine",
             .tabela = true,
             .listados = {TEnvioListado{5, "MFE_IDPAGAMENTO", 4021, "2026-12-09 10:15:02"}},
             .esperado = {"claim", "listed?", "log Envios Pendentes", "release"},
             .progresso = "0 / 0 / 0"},

        // Id columns too short for the Integrador's ids.
        Caso{.nome = "APaymentColumnTooShortSendsNoPayment",
             .tamanhos = {9, 20, 40},
             .esperado = {"log Pagamento MFE"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "AStatusColumnTooShortSendsNoStatus",
             .idPagamento = "64",
             .tamanhos = {20, 6, 40},
             .esperado = {"log Status Pagamento", "claim", "reread 7", "release"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "AFiscalIdTooLongForItsColumnStaysInTheJournal",
             .idPagamento = "64",
             .serial = "POS-5",
             .tamanhos = {20, 20, 3},
             .esperado = {"claim", "reread 7", "fiscal queue 64", "release", "log Resposta Fiscal"},
             .progresso = "64 / 0 / 0",
             .diario = {"7 MFE_IDRESPOSTAFISCAL RF-1"}},

        // The register's data that could not be read fails only a row that
        // sends something, when it is about to.
        Caso{.nome = "UnreadableRegisterFailsTheSend",
             .caixaIlegivel = true,
             .esperado = {"claim", "POS? TEF", "release", "raises: MSAUT unreadable"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "UnreadableRegisterFailsTheFiscalResponse",
             .idPagamento = "64",
             .serial = "POS-5",
             .caixaIlegivel = true,
             .esperado = {"claim", "reread 7", "release", "raises: MSAUT unreadable"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "UnreadableRegisterDoesNotFailARowThatSendsNothing",
             .idPagamento = "-5",
             .caixaIlegivel = true,
             .esperado = {"reread 7"},
             .progresso = "-5 / 0 / 0"}),
    [](const ::testing::TestParamInfo<Caso>& i) { return std::string(i.param.nome); });

// The journal at the start of a cycle: an entry is recorded when its row
// still shows "0" for its step, dropped with a line when the row is gone or
// recorded, and kept (its row not sent) while another instance holds the row
// or its column cannot hold it.
struct CasoDiario {
  const char* nome;
  const char* linha = "0 / 0 / 0";  // the row as committed
  bool linhaAusente = false;
  bool outraInstancia = false;
  TTamanhosColunasId tamanhos = {};
  std::vector<std::string> esperado;  // during the start of the cycle
  const char* progresso = "";
  std::vector<std::string> diario = {};
};
void PrintTo(const CasoDiario& c, std::ostream* os) { *os << c.nome; }

class JournalAtCycleStart : public PendingRowFixture, public ::testing::TestWithParam<CasoDiario> {};

TEST_P(JournalAtCycleStart, Outcome) {
  const CasoDiario& c = GetParam();
  const auto p = std::string(c.linha);
  FLinha = {p.substr(0, p.find(" / ")), "0", "0"};
  FSerial = "POS-5";
  FStmts.LinhaAusente = c.linhaAusente;
  FStmts.OutraInstancia = c.outraInstancia;
  FStmts.Tamanhos = c.tamanhos;
  {
    TDiario antes(FDiario.Arquivo());
    antes.Carregar();
    antes.Gravar({kChave, etPagamento, "64", "<answer payment>"});
  }
  ASSERT_TRUE(FRec.PrepararCiclo());
  EXPECT_EQ(FTrace, c.esperado);
  EXPECT_EQ(FLinha.Texto(), c.progresso);
  TDiario relido(FDiario.Arquivo());
  relido.Carregar();
  EXPECT_EQ(Entradas(relido), c.diario);

  // The row as the cycle then selects it: while an entry waits, nothing is
  // sent for it.
  if (c.diario.empty()) return;
  FTrace.clear();
  TTransacaoPendente linha;
  linha.IdentificadorInterno = kChave;
  linha.SerialPOS = "POS-5";
  linha.IdPagamento = linha.IdStatusValidador = linha.IdRespostaFiscal = "0";
  FIntegrador.Pagamento = "AP 65";
  FRec.EnviaMFEPendentes(linha, TDadosCaixa("CHAVE-1", "08723218000186"));
  EXPECT_TRUE(FTrace.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, JournalAtCycleStart,
    ::testing::Values(
        CasoDiario{.nome = "RecordedWhenTheRowStillShowsZero",
                   .esperado = {"claim", "update payment 64", "commit"},
                   .progresso = "64 / 0 / 0"},
        CasoDiario{.nome = "DroppedWithALineWhenTheRowIsRecorded",
                   .linha = "9 / 0 / 0",
                   .esperado = {"claim", "release", "log Envios Pendentes"},
                   .progresso = "9 / 0 / 0"},
        CasoDiario{.nome = "DroppedWithALineWhenTheRowIsGone",
                   .linhaAusente = true,
                   .esperado = {"claim", "log Envios Pendentes"},
                   .progresso = "0 / 0 / 0"},
        CasoDiario{.nome = "KeptWhileAnotherInstanceHoldsTheRow",
                   .outraInstancia = true,
                   .esperado = {"claim refused"},
                   .progresso = "0 / 0 / 0",
                   .diario = {"7 MFE_IDPAGAMENTO 64"}},
        CasoDiario{.nome = "KeptWithALineWhileItsColumnCannotHoldIt",
                   .tamanhos = {1, 20, 40},
                   .esperado = {"claim", "release", "log Pagamento MFE"},
                   .progresso = "0 / 0 / 0",
                   .diario = {"7 MFE_IDPAGAMENTO 64"}}),
    [](const ::testing::TestParamInfo<CasoDiario>& i) { return std::string(i.param.nome); });

// An unfinished send at the start of a cycle (the payment of row 7, session
// 101, command "cmd-101.xml"): an answer in the output folder is recorded, a
// command still in the input folder is withdrawn, otherwise the Integrador
// is asked; no reply holds the row. Then the row as the cycle selects it.
struct CasoEnvio {
  const char* nome;
  const char* linha = "0";  // MFE_IDPAGAMENTO as committed
  bool outraInstancia = false;
  std::optional<std::string> atrasada = std::nullopt;  // the answer in the output folder
  bool naEntrada = false;                              // the command still in the input folder
  std::string consulta = "raise";
  std::vector<std::string> esperado;  // during the start of the cycle
  const char* progresso = "";
  std::vector<std::string> diario = {};
  std::vector<std::string> depois = {};  // what the cycle then does for the row
};
void PrintTo(const CasoEnvio& c, std::ostream* os) { *os << c.nome; }

std::string RespostaPagamento(const std::string& codigo, const std::string& id) {
  return "<Integrador><Identificador><Valor>101</Valor></Identificador><IntegradorResposta><Codigo>" + codigo +
         "</Codigo><Valor>x</Valor></IntegradorResposta><Resposta><IDPagamento>" + id +
         "</IDPagamento><StatusPagamento>Processado</StatusPagamento></Resposta></Integrador>";
}

class UnfinishedSendAtCycleStart : public PendingRowFixture, public ::testing::TestWithParam<CasoEnvio> {};

TEST_P(UnfinishedSendAtCycleStart, Outcome) {
  const CasoEnvio& c = GetParam();
  FLinha = {c.linha, "0", "0"};
  FSerial = "POS-5";
  FStmts.OutraInstancia = c.outraInstancia;
  if (c.atrasada) FIntegrador.Atrasadas[101] = *c.atrasada;
  if (c.naEntrada) FIntegrador.NaEntrada.insert("cmd-101.xml");
  FIntegrador.Consulta = c.consulta;
  {
    TDiario antes(FDiario.Arquivo());
    antes.Carregar();
    antes.Gravar(EnvioPendente(kChave, etPagamento, 101, "cmd-101.xml", "20261209101502"));
  }
  ASSERT_TRUE(FRec.PrepararCiclo());
  EXPECT_EQ(FTrace, c.esperado);
  EXPECT_EQ(FLinha.Texto(), c.progresso);
  TDiario relido(FDiario.Arquivo());
  relido.Carregar();
  EXPECT_EQ(Entradas(relido), c.diario);

  FTrace.clear();
  FStmts.OutraInstancia = false;
  TTransacaoPendente linha;
  linha.IdentificadorInterno = kChave;
  linha.SerialPOS = "POS-5";
  linha.IdPagamento = FLinha.IdPagamento;
  linha.IdStatusValidador = linha.IdRespostaFiscal = "0";
  FIntegrador.Pagamento = "AP 65";
  FIntegrador.Fiscal = "AP RF-1";
  FRec.EnviaMFEPendentes(linha, TDadosCaixa("CHAVE-1", "08723218000186"));
  EXPECT_EQ(FTrace, c.depois);
}

const std::vector<std::string> kPagaDeNovo = {"claim",   "POS? POS-5",         "POS# 5",  "payment POS-5",
                                              "update payment 65", "commit", "claim", "reread 7",
                                              "fiscal queue 65", "update fiscal RF-1", "commit"};
const std::vector<std::string> kSoFiscal = {"claim", "reread 7", "fiscal queue 64", "update fiscal RF-1", "commit"};

INSTANTIATE_TEST_SUITE_P(
    Table, UnfinishedSendAtCycleStart,
    ::testing::Values(
        CasoEnvio{.nome = "ALateAnswerInTheOutputFolderIsRecorded",
                  .atrasada = RespostaPagamento("AP", "64"),
                  .esperado = {"claim", "look for answer 101", "log Envios Pendentes",
                               "update payment 64 with " + RespostaPagamento("AP", "64"), "commit"},
                  .progresso = "64 / 0 / 0",
                  .depois = kSoFiscal},
        CasoEnvio{.nome = "ALateRejectionFreesTheStep",
                  .atrasada = RespostaPagamento("EE", "0"),
                  .esperado = {"claim", "look for answer 101", "release", "log Envios Pendentes"},
                  .progresso = "0 / 0 / 0",
                  .depois = kPagaDeNovo},
        CasoEnvio{.nome = "ACommandNeverTakenIsWithdrawnAndSentAgain",
                  .naEntrada = true,
                  .esperado = {"claim", "look for answer 101", "withdraw cmd-101.xml", "release",
                               "log Envios Pendentes"},
                  .progresso = "0 / 0 / 0",
                  .depois = kPagaDeNovo},
        CasoEnvio{.nome = "TheAnswerTheIntegradorKeptIsRecorded",
                  .consulta = RespostaPagamento("AP", "64"),
                  .esperado = {"claim", "look for answer 101", "withdraw cmd-101.xml", "ask about 101",
                               "log Envios Pendentes", "update payment 64 with " + RespostaPagamento("AP", "64"),
                               "commit"},
                  .progresso = "64 / 0 / 0",
                  .depois = kSoFiscal},
        CasoEnvio{.nome = "ASessionTheIntegradorNeverSawFreesTheStep",
                  .consulta = "unknown",
                  .esperado = {"claim", "look for answer 101", "withdraw cmd-101.xml", "ask about 101", "release",
                               "log Envios Pendentes"},
                  .progresso = "0 / 0 / 0",
                  .depois = kPagaDeNovo},
        CasoEnvio{.nome = "NoReplyHoldsTheRow",
                  .esperado = {"claim", "look for answer 101", "withdraw cmd-101.xml", "ask about 101",
                               "log Envios Pendentes", "release"},
                  .progresso = "0 / 0 / 0",
                  .diario = {"7 MFE_IDPAGAMENTO session 101 cmd-101.xml"}},
        CasoEnvio{.nome = "ARowRecordedMeanwhileDropsTheSend",
                  .linha = "64",
                  .esperado = {"claim", "release", "log Envios Pendentes"},
                  .progresso = "64 / 0 / 0",
                  .depois = kSoFiscal},
        CasoEnvio{.nome = "ARowAnotherInstanceHoldsWaits",
                  .outraInstancia = true,
                  .esperado = {"claim refused"},
                  .progresso = "0 / 0 / 0",
                  .diario = {"7 MFE_IDPAGAMENTO session 101 cmd-101.xml"}}),
    [](const ::testing::TestParamInfo<CasoEnvio>& i) { return std::string(i.param.nome); });

class JournalUnreadable : public PendingRowFixture, public ::testing::Test {};

TEST_F(JournalUnreadable, IsReportedKeptAndNoRowIsSent) {
  platform::WriteFileBytes(FDiario.Arquivo(), "Pagvigia diario 1\r\nE 7 MFE_IDPAG");
  EXPECT_FALSE(FRec.PrepararCiclo());
  EXPECT_EQ(FTrace, (std::vector<std::string>{"log Envios Pendentes"}));
  TTransacaoPendente linha;
  linha.IdentificadorInterno = kChave;
  linha.SerialPOS = "POS-5";
  linha.IdPagamento = linha.IdStatusValidador = linha.IdRespostaFiscal = "0";
  EXPECT_THROW(FRec.EnviaMFEPendentes(linha, TDadosCaixa("CHAVE-1", "08723218000186")), EDiarioIlegivel);
  EXPECT_EQ(FTrace.size(), 1u);
  EXPECT_EQ(platform::ReadFileBytes(FDiario.Arquivo()), "Pagvigia diario 1\r\nE 7 MFE_IDPAG");
}

}  // namespace
}  // namespace pagvigia
