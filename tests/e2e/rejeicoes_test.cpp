// Answers that are not "AP" and payments saved only in the Integrador's local
// storage: what is logged, what the row keeps, and what the next cycle sends.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

std::vector<std::string> Metodos(const std::vector<SimCommand>& cmds, std::size_t from = 0) {
  std::vector<std::string> m;
  for (std::size_t i = from; i < cmds.size(); ++i) m.push_back(cmds[i].method);
  return m;
}

// The service-log messages that start with `prefix`.
std::vector<std::string> Com(const std::vector<std::string>& msgs, const std::string& prefix) {
  std::vector<std::string> r;
  for (auto& m : msgs)
    if (m.rfind(prefix, 0) == 0) r.push_back(m);
  return r;
}

TEST(Rejeicoes, StatusRejectedKeepsThePaymentAndHoldsTheFiscalResponseBack) {
  Instalacao inst;
  Transacao t;  // TEF, nothing done yet
  inst.Inserir(t);
  {
    IntegradorSim sim(inst.input(), inst.output(),
                      {"--method", "EnviarPagamento", "--id-start", "71", "--method", "EnviarStatusPagamento",
                       "--code", "EE"});
    ASSERT_EQ(inst.RodarUmCiclo(), 0);
    EXPECT_EQ(Metodos(sim.Commands()), (std::vector<std::string>{"EnviarPagamento", "EnviarStatusPagamento"}));
    EXPECT_EQ(inst.Linha(1), (Progresso{"71", "0", "0"}));
    EXPECT_EQ(inst.Coluna(1, "MFE_XML_STATUSVALIDADOR"), "<null>");
    auto msgs = inst.ServiceLogMessages();
    ASSERT_EQ(msgs.size(), 1u) << SlurpFile(inst.ServiceLogPath());
    // The request as sent, session number included.
    const auto cmd = sim.Commands()[1];
    EXPECT_EQ(msgs[0], "Status Pagamento: " + cmd.xml);
  }
  // Next cycle: the status is accepted, the fiscal response follows; the
  // payment is not sent again.
  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  EXPECT_EQ(Metodos(cmds), (std::vector<std::string>{"EnviarStatusPagamento", "RespostaFiscal"}));
  EXPECT_EQ(cmds[0].Param("idFila"), "71");
  EXPECT_EQ(inst.Linha(1), (Progresso{"71", std::to_string(cmds[0].session.value_or(-1)), "1"}));
  EXPECT_TRUE(inst.ServiceLog().empty());
}

TEST(Rejeicoes, FiscalResponseRejectedIsLoggedNotStoredAndSentAgain) {
  Instalacao inst;
  Transacao t;
  t.serialPOS = "TEF";
  t.idPagamento = "300";
  t.idStatus = "12";
  inst.Inserir(t);
  {
    IntegradorSim sim(inst.input(), inst.output(),
                      {"--method", "RespostaFiscal", "--code", "EE", "--body", "always", "--retorno", "RF-EE"});
    ASSERT_EQ(inst.RodarUmCiclo(), 0);
    auto cmds = sim.Commands();
    ASSERT_EQ(Metodos(cmds), (std::vector<std::string>{"RespostaFiscal"}));
    // The answer carried an id, but it is not stored without "AP".
    EXPECT_EQ(inst.Linha(1), (Progresso{"300", "12", "0"}));
    EXPECT_EQ(inst.Coluna(1, "MFE_XML_RESPOSTAFISCAL"), "<null>");
    EXPECT_EQ(inst.ServiceLogMessages(), (std::vector<std::string>{"Resposta Fiscal: " + cmds[0].xml}));
  }
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "RespostaFiscal", "--retorno", "RF-OK"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(Metodos(sim.Commands()), (std::vector<std::string>{"RespostaFiscal"}));
  EXPECT_EQ(inst.Linha(1), (Progresso{"300", "12", "RF-OK"}));
}

TEST(Rejeicoes, PaymentRejectedIsLoggedAndNothingElseIsSent) {
  Instalacao inst;
  Transacao t;
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--code", "EE"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  ASSERT_EQ(Metodos(cmds), (std::vector<std::string>{"EnviarPagamento"}));
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
  EXPECT_EQ(inst.ServiceLogMessages(), (std::vector<std::string>{"Pagamento MFE: " + cmds[0].xml}));
}

TEST(Rejeicoes, PaymentRejectedWithAnIdIsLoggedAndStillRecorded) {
  Instalacao inst;
  Transacao t;
  t.serialPOS = "POS-X";  // not registered: sent as TEF, no status step
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output(),
                    {"--method", "EnviarPagamento", "--code", "EE", "--body", "always", "--id-start", "40"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  ASSERT_EQ(Metodos(cmds), (std::vector<std::string>{"EnviarPagamento", "RespostaFiscal"}));
  EXPECT_EQ(inst.Linha(1), (Progresso{"40", "0", "1"}));
  EXPECT_EQ(Com(inst.ServiceLogMessages(), "Pagamento MFE: ").size(), 1u);
}

TEST(Rejeicoes, PaymentSavedLocallyIsNotRecordedAndIsSubmittedAgain) {
  Instalacao inst;
  Transacao t;
  t.serialPOS = "TEF";
  inst.Inserir(t);
  {
    IntegradorSim sim(inst.input(), inst.output(),
                      {"--method", "EnviarPagamento", "--saved-locally", "--id-start", "123"});
    ASSERT_EQ(inst.RodarUmCiclo(), 0);
    EXPECT_EQ(Metodos(sim.Commands()), (std::vector<std::string>{"EnviarPagamento"}));
    EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
    // "AP" answers are not logged, even when saved only locally.
    EXPECT_TRUE(inst.ServiceLog().empty());
  }
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "124"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(Metodos(sim.Commands()),
            (std::vector<std::string>{"EnviarPagamento", "EnviarStatusPagamento", "RespostaFiscal"}));
  EXPECT_EQ(inst.Linha(1).pagamento, "124");
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
}

}  // namespace
}  // namespace pagvigia::testing
