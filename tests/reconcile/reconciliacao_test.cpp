// TReconciliacao over its real doors (the statements through QExec on a
// throwaway database, the Integrador client with the Integrador simulator)
// and the cursors read as the cycle reads them: the values each step sends,
// the values it returns and what it writes back.
#include "reconcile/reconciliacao.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "db/fb_connection.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "integrador/comando_integrador.h"
#include "integrador/integrador_cliente.h"
#include "tests/db/db_fixture.h"
#include "tests/support/firebird_db.h"
#include "tests/support/integrador_sim.h"
#include "tests/support/temp_dir.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

using testing::FirebirdDb;
using testing::IntegradorSim;
using testing::SimCommand;
using testing::TempDir;

std::string Schema(bool chaveLonga) {
  std::string s = testing::ShopSchema();
  if (chaveLonga) {
    const std::string k = "MFE_IDENTIFICADORINTERNO   INTEGER";
    s.replace(s.find(k), k.size(), "MFE_IDENTIFICADORINTERNO   BIGINT");
  }
  return s +
         "INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '08.723.218/0001-86');\n"
         "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (1, 'CHAVE-CAIXA-1');\n"
         "INSERT INTO MFE_CADASTRO_POS (CODIGO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO) "
         "VALUES (5, 'POS-5', 'REQ-5', 'E-0042');\n";
}

// One pending row; the coupon columns are filled so that it is selected.
std::string Linha(std::int64_t id, const std::string& serial, const std::string& idPagamento,
                  const std::string& valor = "10.50", const std::string& idStatus = "0") {
  return "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO, "
         "MFE_BIN, MFE_DONOCARTAO, MFE_EXPIRACAO, MFE_INSTITUICAOFINANCEIRA, MFE_PARCELAS, MFE_ULTQUATRODIGITOS, "
         "MFE_CODIGOPAGAMENTO, MFE_VALORPAGAMENTO, MFE_IDPAGAMENTO, MFE_TIPO, MFE_IDSTATUSVALIDADOR, "
         "MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT) VALUES (" +
         std::to_string(id) + ", 1, '" + serial + "', 'AUT9', '411111', 'ANA', '01/30', 'REDE', 3, 9876, 'PG1', " +
         valor + ", '" + idPagamento + "', 'VISA', '" + idStatus + "', '55', '<CFe/>', 'CFe55');\n";
}

class Reconciliacao : public ::testing::Test {
 protected:
  explicit Reconciliacao(bool chaveLonga = false)
      : FDb(Schema(chaveLonga)),
        FRo(&FCon),
        FRw(&FCon),
        FTb(&FCon),
        FLinha(&FCon),
        FQexec(&FCon, &FRw),
        FPadrao(&FCon),
        FMsaut(&FCon),
        FStmts(FQexec),
        FCalls(FCli),
        FDiario(FDir / TDiario::kNomeArquivo),
        FRec(FStmts, FCalls, FDiario, [this](const std::string& m) { FLog.push_back(m); }) {
    FDiario.Carregar();
    ConfigureLikeService(FCon, FDb);
    FCon.DefaultTransaction = &FRo;
    FRo.SetAutoCommit(true);
    FRo.ReadOnly = true;
    FRw.SetAutoCommit(true);
    ConfigurarConsultas(FTb, FLinha, FPadrao, FMsaut);
    FCli.SetPastaInput(FDir / "in");
    FCli.SetPastaOutput(FDir / "out");
  }
  ~Reconciliacao() override {
    FTb.Close();
    FCon.Disconnect();
  }

  void Simulador(std::vector<std::string> opcoes = {}) {
    FSim.reset();
    FSim.emplace(FDir / "in", FDir / "out", std::move(opcoes));
  }

  // Opens the cursors as the polling cycle does, for cash register 1, and
  // moves to the key `id`.
  void NaLinha(std::int64_t id) {
    FCon.Connect(false);
    FPadrao.Open();
    if (!FMsaut.Active()) FMsaut.Open();
    FMsaut.ParamByName("CAIXA").SetAsInteger(1);
    if (!FTb.Active()) FTb.Open();
    FTb.ParamByName("CAIXA").SetAsInteger(1);
    FTb.First();
    while (!FTb.Eof() && FTb.FieldByName("MFE_IDENTIFICADORINTERNO").AsInt64() != id) FTb.Next();
    ASSERT_FALSE(FTb.Eof()) << "row " << id << " is not pending";
  }

  std::string Coluna(std::int64_t id, const std::string& col) {
    return FDb.Scalar("SELECT COALESCE(" + col + ", '<null>') FROM MFE_TRANSACAO_CARTOES WHERE " +
                      "MFE_IDENTIFICADORINTERNO = " + std::to_string(id));
  }

  // The pending row `id` read by its key, as the cycle reads it.
  TTransacaoPendente Pendente(std::int64_t id) {
    auto linha = LerTransacaoPendente(FLinha, id, 1);
    EXPECT_TRUE(linha) << "row " << id << " is not pending";
    return linha.value_or(TTransacaoPendente{});
  }

  TDadosCaixa Caixa() { return TDadosCaixa::Ler(FMsaut, FPadrao); }

  std::vector<SimCommand> Comandos() { return FSim ? FSim->Commands() : std::vector<SimCommand>{}; }

  FirebirdDb FDb;
  TempDir FDir{"reconcile"};
  TFbConnection FCon;
  TFbTransaction FRo, FRw;
  TFbQuery FTb, FLinha, FQexec, FPadrao, FMsaut;
  TIntegradorCliente FCli;
  std::vector<std::string> FLog;
  TQExecStatements FStmts;
  TIntegradorClienteCalls FCalls;
  TDiario FDiario;
  TReconciliacao FRec;
  std::optional<IntegradorSim> FSim;
};

TEST_F(Reconciliacao, PaymentOfATerminalCarriesItsKeysAndTheCompanyDigits) {
  Simulador({"--method", "EnviarPagamento", "--id-start", "31"});
  FDb.Run(Linha(1, "POS-5", "0", "10.50"));
  NaLinha(1);
  EXPECT_EQ(FRec.EnviaPagamento(Caixa(), 5, 105000, false, "ignored"), 31);
  auto c = Comandos();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].chave, "CHAVE-CAIXA-1");
  EXPECT_EQ(c[0].Param("SerialPos"), "POS-5");
  EXPECT_EQ(c[0].Param("ChaveRequisicao"), "REQ-5");
  EXPECT_EQ(c[0].Param("Estabelecimento"), "0042");
  EXPECT_EQ(c[0].Param("Cnpj"), "08723218000186");
  EXPECT_EQ(c[0].Param("ValorTotalVenda"), "10.50");
  EXPECT_EQ(c[0].Param("IcmsBase"), "0.00");
  EXPECT_EQ(c[0].Param("HabilitarMultiplosPagamentos"), "false");
  ASSERT_TRUE(FRec.RespostaPagamentoMFe);
  EXPECT_EQ(FRec.RespostaPagamentoMFe->IDPagamento, 31);
  EXPECT_TRUE(FLog.empty());
}

TEST_F(Reconciliacao, PaymentWithoutTerminalIsTefWithTheRegisterKeyTwice) {
  Simulador();
  FDb.Run(Linha(1, "TEF", "0"));
  NaLinha(1);
  EXPECT_EQ(FRec.EnviaPagamento(Caixa(), 0, 10000, true, "12.3-4"), 1);
  auto c = Comandos();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].Param("SerialPos"), "TEF");
  EXPECT_EQ(c[0].Param("ChaveRequisicao"), "CHAVE-CAIXA-1");
  EXPECT_EQ(c[0].Param("Estabelecimento"), "1234");
  EXPECT_EQ(c[0].Param("HabilitarMultiplosPagamentos"), "true");
}

TEST_F(Reconciliacao, PaymentResultByAnswer) {
  FDb.Run(Linha(1, "TEF", "0"));
  NaLinha(1);
  // Saved only locally: the id negated, and no log line for an "AP" answer.
  Simulador({"--method", "EnviarPagamento", "--saved-locally", "--id-start", "123"});
  EXPECT_EQ(FRec.EnviaPagamento(Caixa(), 0, 10000, false, ""), -123);
  EXPECT_TRUE(FLog.empty());
  // Rejected without a body: 0 and one log line with the request sent.
  Simulador({"--method", "EnviarPagamento", "--code", "EE"});
  EXPECT_EQ(FRec.EnviaPagamento(Caixa(), 0, 10000, false, ""), 0);
  ASSERT_EQ(FLog.size(), 1u);
  EXPECT_EQ(FLog[0], "Pagamento MFE: " + Comandos().at(0).xml);
  // The last answer is the one kept.
  EXPECT_EQ(FRec.RespostaPagamentoMFe->IntegradorResposta.Codigo, "EE");
}

TEST_F(Reconciliacao, NoAnswerRaisesAndKeepsTheLastAnswer) {
  FDb.Run(Linha(1, "TEF", "0"));
  NaLinha(1);
  Simulador({"--method", "EnviarPagamento", "--id-start", "9"});
  EXPECT_EQ(FRec.EnviaPagamento(Caixa(), 0, 10000, false, ""), 9);
  // A file where the input folder should be: the command cannot be written.
  FSim.reset();
  std::filesystem::remove_all(FDir / "in");
  std::ofstream(FDir / "in") << "x";
  EXPECT_ANY_THROW(FRec.EnviaPagamento(Caixa(), 0, 10000, false, ""));
  ASSERT_TRUE(FRec.RespostaPagamentoMFe);
  EXPECT_EQ(FRec.RespostaPagamentoMFe->IDPagamento, 9);
}

TEST_F(Reconciliacao, StatusAndFiscalCarryTheLow32BitsOfThePaymentId) {
  FDb.Run(Linha(1, "TEF", "4294967297"));
  NaLinha(1);
  Simulador({"--method", "EnviarStatusPagamento", "--code", "EE", "--method", "RespostaFiscal", "--code", "EE",
             "--body", "always", "--retorno", "RF-7"});
  TTransacaoPendente linha;
  linha.CodAutorizacao = "AUT";
  linha.Parcelas = 2;
  linha.ValorPagamento = 25000;
  linha.ChaveSat = "CFe1";
  EXPECT_FALSE(FRec.EnviarStatusPagamento(Caixa(), linha, 4294967297LL));
  // The fiscal-response id comes back whatever the code.
  EXPECT_EQ(FRec.RespostaFiscal(Caixa(), linha, 2147483648LL), "RF-7");
  auto c = Comandos();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].Param("idFila"), "1");
  EXPECT_EQ(c[0].Param("CodigoAutorizacao"), "AUT");
  EXPECT_EQ(c[0].Param("Parcelas"), "2");
  EXPECT_EQ(c[0].Param("ValorPagamento"), "2.50");
  EXPECT_EQ(c[1].Param("idFila"), "-2147483648");
  EXPECT_EQ(c[1].Param("CNPJ"), "08723218000186");
  ASSERT_EQ(FLog.size(), 2u);
  EXPECT_EQ(FLog[0], "Status Pagamento: " + c[0].xml);
  EXPECT_EQ(FLog[1], "Resposta Fiscal: " + c[1].xml);
}

TEST_F(Reconciliacao, ARowReadByItsKeyIsCommittedStepByStep) {
  FDb.Run(Linha(1, "TEF", "0", "7.00"));
  NaLinha(1);
  Simulador({"--method", "EnviarPagamento", "--id-start", "64"});
  FRec.EnviaMFEPendentes(Pendente(1), Caixa());
  auto c = Comandos();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[1].Param("CodigoPagamento"), "AUT9");  // the authorisation code, not MFE_CODIGOPAGAMENTO
  EXPECT_EQ(c[2].Param("NumerodeAprovacao"), "PG1");
  EXPECT_EQ(Coluna(1, "MFE_IDPAGAMENTO"), "64");
  EXPECT_EQ(Coluna(1, "MFE_IDSTATUSVALIDADOR"), std::to_string(c[1].session.value_or(-1)));
  EXPECT_EQ(Coluna(1, "MFE_IDRESPOSTAFISCAL"), "1");
  // Committed: another attachment sees it while ours is still open.
  EXPECT_EQ(FDb.Scalar("SELECT COUNT(*) FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDPAGAMENTO = '0'"), "0");
}

TEST_F(Reconciliacao, ARowIsReadByItsKeyWhilePendingAndAValueOutOfRangeFailsItAlone) {
  FDb.Run("ALTER TABLE MFE_TRANSACAO_CARTOES ALTER MFE_ULTQUATRODIGITOS TYPE BIGINT;\n");
  FDb.Run(Linha(1, "TEF", "0") + Linha(2, "TEF", "0") + Linha(3, "TEF", "77") +
          "UPDATE MFE_TRANSACAO_CARTOES SET MFE_ULTQUATRODIGITOS = 1099511627776 WHERE MFE_IDENTIFICADORINTERNO = 2;\n"
          "UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDRESPOSTAFISCAL = 'RF' WHERE MFE_IDENTIFICADORINTERNO = 3;\n");
  NaLinha(1);
  EXPECT_EQ(Pendente(1).UltQuatroDigitos, 9876);
  try {
    LerTransacaoPendente(FLinha, 2, 1);
    ADD_FAILURE() << "row 2 was read";
  } catch (const ETransacaoIlegivel& e) {
    EXPECT_STREQ(e.what(),
                 "Value 1099511627776 is out of the integer range (MFE_ULTQUATRODIGITOS) "
                 "(MFE_IDENTIFICADORINTERNO = 2)");
  }
  EXPECT_FALSE(LerTransacaoPendente(FLinha, 3, 1)) << "a row no longer pending";
  EXPECT_EQ(Pendente(1).ValorPagamento, 105000);
}

// A host system whose keys are 64-bit: the updates must reach the row whose
// key they carry, not the row of its low 32 bits.
class ReconciliacaoChaveLonga : public Reconciliacao {
 protected:
  ReconciliacaoChaveLonga()
      : Reconciliacao(/*chaveLonga=*/true) {}
};

TEST_F(ReconciliacaoChaveLonga, UpdatesReachTheRowOfTheWholeKey) {
  FDb.Run(Linha(1, "POS-X", "0") + Linha(4294967297LL, "POS-X", "0"));
  NaLinha(4294967297LL);
  Simulador({"--method", "EnviarPagamento", "--id-start", "77"});
  FRec.EnviaMFEPendentes(Pendente(4294967297LL), Caixa());
  EXPECT_EQ(Coluna(4294967297LL, "MFE_IDPAGAMENTO"), "77");
  EXPECT_EQ(Coluna(4294967297LL, "MFE_IDRESPOSTAFISCAL"), "1");
  EXPECT_EQ(Coluna(1, "MFE_IDPAGAMENTO"), "0");
  EXPECT_EQ(Coluna(1, "MFE_IDRESPOSTAFISCAL"), "0");
}

}  // namespace
}  // namespace pagvigia
