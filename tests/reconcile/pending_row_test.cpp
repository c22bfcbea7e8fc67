// The outcome table of one pending row's processing, against a fake database
// and a fake Integrador: which statements run and which requests go out, in
// order, what each log line says, what is left committed in the row and what
// escapes to the cycle, by the row's state, the answers and the point where
// something fails.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "reconcile/reconciliacao.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

constexpr std::int64_t kChave = 7;

// The row's three progress columns as committed, joined by " / ".
struct Progresso {
  std::string IdPagamento, IdStatus, IdFiscal;
  std::string Texto() const { return IdPagamento + " / " + IdStatus + " / " + IdFiscal; }
};

class FakeStatements : public TReconcileStatements {
 public:
  FakeStatements(std::vector<std::string>& trace, Progresso& linha, std::string& serial)
      : FTrace(trace), FLinha(linha), FSerial(serial) {}

  std::string Falha;  // the statement that raises ("POS?", "POS#", "reread", "update <step>")

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
  void AtualizaPagamento(std::int64_t idInterno, const std::string& id, const std::string& xml) override {
    Update("payment", idInterno, id, xml, FLinha.IdPagamento);
  }
  void AtualizaStatusValidador(std::int64_t idInterno, const std::string& id, const std::string& xml) override {
    Update("status", idInterno, id, xml, FLinha.IdStatus);
  }
  void AtualizaRespostaFiscal(std::int64_t idInterno, const std::string& id, const std::string& xml) override {
    Update("fiscal", idInterno, id, xml, FLinha.IdFiscal);
  }

 private:
  void Run(const std::string& what, const std::string& name) {
    FTrace.push_back(what);
    if (Falha == name) throw std::runtime_error("database failed at " + name);
  }
  void Update(const std::string& step, std::int64_t idInterno, const std::string& id, const std::string& xml,
              std::string& column) {
    // Each update carries the row's key and the answer of its own step.
    Run("update " + step + " " + id + (idInterno == kChave ? "" : " of another row") +
            (xml == "<answer " + step + ">" ? "" : " with " + xml),
        "update " + step);
    column = id;
  }

  std::vector<std::string>& FTrace;
  Progresso& FLinha;
  std::string& FSerial;
};

// Answers by method: "AP 64", "AP 64 local", "EE 64" (payment), "AP", "EE"
// (status), "AP RF-1", "EE RF-1" (fiscal), or "raise".
class FakeIntegrador : public TIntegradorCalls {
 public:
  explicit FakeIntegrador(std::vector<std::string>& trace) : FTrace(trace) {}

  std::string Pagamento, Status, Fiscal;
  std::map<std::string, std::string> Enviado;  // the XML sent, by log prefix

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
    if (resposta == "raise") throw std::runtime_error("Sem Resposta do Integrador");
  }
  template <class Resposta>
  void Responder(Resposta& r, const std::string& step, const std::string& resposta) {
    r.IntegradorResposta.Identificador = FSessao;
    r.IntegradorResposta.Codigo = resposta.substr(0, 2);
    r.XML = "<answer " + step + ">";
  }

  std::vector<std::string>& FTrace;
  std::int32_t FSessao = 100;
};

struct Caso {
  const char* nome;
  // The row as selected.
  const char* idPagamento = "0";
  const char* serial = "TEF";
  const char* idStatus = "0";
  // The answers, the failing statement, a register whose data cannot be read.
  const char* pagamento = "AP 64";
  const char* status = "AP";
  const char* fiscal = "AP RF-1";
  const char* falha = "";
  bool caixaIlegivel = false;
  // What happens, in order ("log <prefix>" for a log line, "raises: <message>"
  // for what escapes), and the progress left committed.
  std::vector<std::string> esperado;
  const char* progresso = "";
};

void PrintTo(const Caso& c, std::ostream* os) { *os << c.nome; }

class PendingRow : public ::testing::TestWithParam<Caso> {
 protected:
  PendingRow()
      : stmts_(trace_, linha_, serial_),
        integrador_(trace_),
        rec_(stmts_, integrador_, [this](const std::string& m) { Log(m); }) {}

  void Log(const std::string& msg) {
    const std::string prefixo = msg.substr(0, msg.find(':'));
    trace_.push_back("log " + prefixo);
    // The line carries the request as it was sent, session number included.
    EXPECT_EQ(msg, prefixo + ": " + integrador_.Enviado[prefixo]);
  }

  std::vector<std::string> trace_;
  Progresso linha_;
  std::string serial_;
  FakeStatements stmts_;
  FakeIntegrador integrador_;
  TReconciliacao rec_;
};

TEST_P(PendingRow, Outcome) {
  const Caso& c = GetParam();
  TTransacaoPendente linha;
  linha.IdentificadorInterno = kChave;
  linha.SerialPOS = serial_ = c.serial;
  linha.IdPagamento = linha_.IdPagamento = c.idPagamento;
  linha.IdStatusValidador = linha_.IdStatus = c.idStatus;
  linha_.IdFiscal = "0";
  linha.ValorPagamento = 105000;
  stmts_.Falha = c.falha;
  integrador_.Pagamento = c.pagamento;
  integrador_.Status = c.status;
  integrador_.Fiscal = c.fiscal;
  const TDadosCaixa caixa =
      c.caixaIlegivel ? TDadosCaixa::Ler([]() -> std::string { throw std::runtime_error("MSAUT unreadable"); },
                                         [] { return std::string("08.723.218/0001-86"); })
                      : TDadosCaixa("CHAVE-1", "08723218000186");

  try {
    rec_.EnviaMFEPendentes(linha, caixa);
  } catch (const std::exception& e) {
    trace_.push_back(std::string("raises: ") + e.what());
  }
  EXPECT_EQ(trace_, c.esperado);
  EXPECT_EQ(linha_.Texto(), c.progresso);
}

const std::string kSemResposta = "raises: Sem Resposta do Integrador";

INSTANTIATE_TEST_SUITE_P(
    Table, PendingRow,
    ::testing::Values(
        // Which steps run, by the row's state when selected.
        Caso{.nome = "PosPaymentThenFiscal",
             .serial = "POS-5",
             .esperado = {"POS? POS-5", "POS# 5", "payment POS-5", "update payment 64", "reread 7",
                          "fiscal queue 64", "update fiscal RF-1"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "TefPaymentStatusThenFiscal",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "status queue 64", "update status 102",
                          "reread 7", "fiscal queue 64", "update fiscal RF-1"},
             .progresso = "64 / 102 / RF-1"},
        Caso{.nome = "TefWithStatusRecordedSkipsStatus",
             .idStatus = "9",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "reread 7", "fiscal queue 64",
                          "update fiscal RF-1"},
             .progresso = "64 / 9 / RF-1"},
        Caso{.nome = "TefWithNullStatusSkipsStatusAndGetsFiscal",
             .idPagamento = "64",
             .idStatus = "",
             .esperado = {"reread 7", "fiscal queue 64", "update fiscal RF-1"},
             .progresso = "64 /  / RF-1"},
        Caso{.nome = "PositiveIdOfTerminalOnlyFiscal",
             .idPagamento = "64",
             .serial = "POS-5",
             .esperado = {"reread 7", "fiscal queue 64", "update fiscal RF-1"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "PositiveIdOfTefStatusThenFiscal",
             .idPagamento = "64",
             .esperado = {"status queue 64", "update status 101", "reread 7", "fiscal queue 64",
                          "update fiscal RF-1"},
             .progresso = "64 / 101 / RF-1"},
        Caso{.nome = "IdBeyond32BitsQueuesItsLow32Bits",
             .idPagamento = "4294967297",
             .esperado = {"status queue 1", "update status 101", "reread 7", "fiscal queue 1",
                          "update fiscal RF-1"},
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
             .esperado = {"POS? POS-X", "payment TEF", "update payment 64", "reread 7", "fiscal queue 64",
                          "update fiscal RF-1"},
             .progresso = "64 / 0 / RF-1"},

        // The answers.
        Caso{.nome = "PaymentSavedLocallyRecordsNothing",
             .pagamento = "AP 64 local",
             .esperado = {"POS? TEF", "payment TEF", "reread 7"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "PaymentWithoutIdRecordsNothing",
             .pagamento = "AP 0",
             .esperado = {"POS? TEF", "payment TEF", "reread 7"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "RejectedPaymentWithIdIsLoggedAndRecorded",
             .serial = "POS-5",
             .pagamento = "EE 64",
             .esperado = {"POS? POS-5", "POS# 5", "payment POS-5", "log Pagamento MFE", "update payment 64",
                          "reread 7", "fiscal queue 64", "update fiscal RF-1"},
             .progresso = "64 / 0 / RF-1"},
        Caso{.nome = "RejectedLocalPaymentIsLoggedOnly",
             .pagamento = "EE 64 local",
             .esperado = {"POS? TEF", "payment TEF", "log Pagamento MFE", "reread 7"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "RejectedStatusHoldsTheFiscalResponseBack",
             .status = "EE",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "status queue 64", "log Status Pagamento",
                          "reread 7"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "RejectedFiscalResponseIsLoggedNotRecorded",
             .idPagamento = "64",
             .serial = "POS-5",
             .fiscal = "EE RF-1",
             .esperado = {"reread 7", "fiscal queue 64", "log Resposta Fiscal"},
             .progresso = "64 / 0 / 0"},

        // Failures: the row ends where it failed, what was committed stays.
        Caso{.nome = "NoPaymentAnswer",
             .pagamento = "raise",
             .esperado = {"POS? TEF", "payment TEF", kSemResposta},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "NoStatusAnswerKeepsThePayment",
             .status = "raise",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "status queue 64", kSemResposta},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "NoFiscalAnswerKeepsPaymentAndStatus",
             .fiscal = "raise",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "status queue 64", "update status 102",
                          "reread 7", "fiscal queue 64", kSemResposta},
             .progresso = "64 / 102 / 0"},
        Caso{.nome = "SerialLookUpFailsBeforeAnythingIsSent",
             .falha = "POS?",
             .esperado = {"POS? TEF", "raises: database failed at POS?"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "TerminalLookUpFailsBeforeAnythingIsSent",
             .serial = "POS-5",
             .falha = "POS#",
             .esperado = {"POS? POS-5", "POS# 5", "raises: database failed at POS#"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "PaymentUpdateFailsAfterTheSend",
             .falha = "update payment",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "raises: database failed at update payment"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "StatusUpdateFailsKeepsThePayment",
             .falha = "update status",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "status queue 64", "update status 102",
                          "raises: database failed at update status"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "ReReadFailsKeepsPaymentAndStatus",
             .falha = "reread",
             .esperado = {"POS? TEF", "payment TEF", "update payment 64", "status queue 64", "update status 102",
                          "reread 7", "raises: database failed at reread"},
             .progresso = "64 / 102 / 0"},
        Caso{.nome = "FiscalUpdateFails",
             .idPagamento = "64",
             .serial = "POS-5",
             .falha = "update fiscal",
             .esperado = {"reread 7", "fiscal queue 64", "update fiscal RF-1",
                          "raises: database failed at update fiscal"},
             .progresso = "64 / 0 / 0"},

        // The register's data that could not be read fails only a row that
        // sends something, when it is about to.
        Caso{.nome = "UnreadableRegisterFailsTheSend",
             .caixaIlegivel = true,
             .esperado = {"POS? TEF", "raises: MSAUT unreadable"},
             .progresso = "0 / 0 / 0"},
        Caso{.nome = "UnreadableRegisterFailsTheFiscalResponse",
             .idPagamento = "64",
             .serial = "POS-5",
             .caixaIlegivel = true,
             .esperado = {"reread 7", "raises: MSAUT unreadable"},
             .progresso = "64 / 0 / 0"},
        Caso{.nome = "UnreadableRegisterDoesNotFailARowThatSendsNothing",
             .idPagamento = "-5",
             .caixaIlegivel = true,
             .esperado = {"reread 7"},
             .progresso = "-5 / 0 / 0"}),
    [](const ::testing::TestParamInfo<Caso>& i) { return std::string(i.param.nome); });

}  // namespace
}  // namespace pagvigia
