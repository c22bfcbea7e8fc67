// An Integrador that does not answer: the row ends with "Sem Resposta do
// Integrador" and the next cycle resumes it at the step that failed. Each
// test waits the exchange's shortest time limit (25 s) once.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

std::size_t Conta(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(SemResposta, PaymentWithoutAnswerEndsTheRowAndTheNextRowStillRuns) {
  Instalacao inst;
  Transacao a;  // TEF, nothing done
  inst.Inserir(a);
  Transacao b;
  b.id = 2;
  b.serialPOS = "POS-NOVO";
  b.idPagamento = "88";  // only its fiscal response is missing
  inst.Inserir(b);
  {
    IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--no-answer"});
    ASSERT_EQ(inst.RodarUmCiclo(), 1);  // a row failed
    auto cmds = sim.Commands();
    ASSERT_GE(cmds.size(), 2u);
    EXPECT_EQ(cmds.front().method, "EnviarPagamento");
    EXPECT_EQ(cmds.back().method, "RespostaFiscal");
    EXPECT_EQ(cmds.back().Param("idFila"), "88");
  }
  EXPECT_EQ(inst.ServiceLogMessages(), (std::vector<std::string>{inst.SemResposta(1)}));
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
  EXPECT_EQ(inst.Linha(2), (Progresso{"88", "0", "1"}));
  const std::string ilog = inst.IntegradorLog();
  EXPECT_EQ(Conta(ilog, "EComandoIntegradorException: Sem Resposta do Integrador"), 1u) << ilog;
  // No command file of the exchange is left behind.
  EXPECT_TRUE(std::filesystem::is_empty(inst.input()));

  // The Integrador that took the payment is gone; the new one never saw its
  // session, so the payment is free to go again.
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "61"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_EQ(cmds[0].component, "ConsultaNumeroSessao");
  EXPECT_EQ(inst.Linha(1).pagamento, "61");
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
  EXPECT_EQ(inst.ServiceLogMessages().size(), 1u) << inst.ServiceLog().front();
}

TEST(SemResposta, StatusWithoutAnswerResumesAtTheStatusStepWithoutPayingAgain) {
  Instalacao inst;
  Transacao t;
  inst.Inserir(t);
  {
    IntegradorSim sim(inst.input(), inst.output(),
                      {"--method", "EnviarPagamento", "--id-start", "5000", "--method", "EnviarStatusPagamento",
                       "--never-take"});
    ASSERT_EQ(inst.RodarUmCiclo(), 1);
  }
  EXPECT_EQ(inst.Linha(1), (Progresso{"5000", "0", "0"}));
  EXPECT_EQ(inst.ServiceLogMessages(), (std::vector<std::string>{inst.SemResposta(1)}));
  // The command the Integrador never took was re-sent every 5 s, then removed.
  const std::string ilog = inst.IntegradorLog();
  EXPECT_GE(Conta(ilog, "Apagando arquivo não processado: "), 3u) << ilog;
  EXPECT_TRUE(std::filesystem::is_empty(inst.input()));

  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].method, "EnviarStatusPagamento");
  EXPECT_EQ(cmds[0].Param("idFila"), "5000");
  EXPECT_EQ(cmds[1].method, "RespostaFiscal");
  EXPECT_EQ(inst.Linha(1).pagamento, "5000");
  EXPECT_NE(inst.Linha(1).status, "0");
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
}

TEST(SemResposta, MissingOutputFolderIsNoAnswerAndTheNextCycleRecovers) {
  Instalacao inst;
  Transacao t;
  t.serialPOS = "POS-NOVO";
  inst.Inserir(t);
  const std::string saida = inst.output();
  std::filesystem::remove_all(saida);
  {
    // The Integrador takes the command but its answers go nowhere we look.
    IntegradorSim sim(inst.input(), inst.root() + "/outra-saida");
    ASSERT_EQ(inst.RodarUmCiclo(), 1);
    EXPECT_EQ(sim.Commands().size(), 1u);
  }
  EXPECT_EQ(inst.ServiceLogMessages(), (std::vector<std::string>{inst.SemResposta(1)}));
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));

  IntegradorSim sim(inst.input(), saida);  // creates the folder again
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(inst.Linha(1), (Progresso{"1", "0", "1"}));
  // The new Integrador was asked about the first session and never saw it.
  EXPECT_EQ(inst.ServiceLogMessages().size(), 1u) << inst.ServiceLog().front();
}

}  // namespace
}  // namespace pagvigia::testing
