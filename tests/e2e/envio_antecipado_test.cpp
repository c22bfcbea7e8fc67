// A payment whose answer did not come while the program waited (the process
// was killed, or the answer came after the time limit) is never sent again:
// the next run finds the late answer in the output folder, or asks the
// Integrador about the session, and records the id it gave the first time.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::size_t Envios(const std::vector<SimCommand>& cmds, const std::string& metodo) {
  std::size_t n = 0;
  for (const auto& c : cmds) n += c.method == metodo;
  return n;
}

bool TemXml(const std::string& pasta) {
  for (const auto& e : fs::directory_iterator(pasta))
    if (e.path().extension() == ".xml") return true;
  return false;
}

// The payment's command was journaled, published and taken: neither it nor
// its temporary file (which stays until the send is journaled) is left.
bool ComandoTomado(Instalacao& inst) {
  const std::string diario = inst.dir() + "/Pagvigia_Diario.txt";
  if (!fs::exists(diario) || SlurpFile(diario).find("\r\nI 1 MFE_IDPAGAMENTO ") == std::string::npos) return false;
  for (const auto& e : fs::directory_iterator(inst.input()))
    if (e.path().extension() == ".xml" || e.path().extension() == ".tmp") return false;
  return true;
}

struct Caso {
  const char* nome;
  std::vector<std::string> simulador;  // the first run's Integrador
  bool matar;                          // killed while it waits; else it gives up after 25 s
  bool mesmoSimulador;                 // the second run talks to the same Integrador
  const char* linhaEsperada;           // the service log line of the second run
};
void PrintTo(const Caso& c, std::ostream* os) { *os << c.nome; }

class EnvioAntecipado : public ::testing::TestWithParam<Caso> {};

TEST_P(EnvioAntecipado, ThePaymentIsSentOnceAndItsFirstIdRecorded) {
  const Caso& c = GetParam();
  Instalacao inst;
  inst.EscreverPagvigiaIni(/*timeout=*/25);
  Transacao t;
  t.serialPOS = "POS-NOVO";  // payment and fiscal response
  inst.Inserir(t);
  auto primeiro = std::make_unique<IntegradorSim>(inst.input(), inst.output(), c.simulador);
  if (c.matar) {
    auto p = inst.Iniciar({"-once"});
    ASSERT_TRUE(WaitUntil([&] { return ComandoTomado(inst); }, 60s)) << inst.Saidas();
    p->Signal(SIGKILL);
    ASSERT_TRUE(p->Wait(10s));
  } else {
    ASSERT_EQ(inst.RodarUmCiclo(), 1) << inst.Saidas();
    EXPECT_EQ(inst.ServiceLogMessages(), (std::vector<std::string>{inst.SemResposta(1)}));
  }
  ASSERT_EQ(inst.Linha(1).pagamento, "0");
  std::vector<SimCommand> antes;
  std::unique_ptr<IntegradorSim> segundo;
  if (!c.mesmoSimulador) {
    // The late answer is written (the simulator records the command just
    // after), then that Integrador goes.
    ASSERT_TRUE(WaitUntil([&] { return TemXml(inst.output()); }, 60s));
    ASSERT_TRUE(primeiro->WaitForCommands(1));
    antes = primeiro->Commands();
    primeiro.reset();
    segundo = std::make_unique<IntegradorSim>(inst.input(), inst.output(),
                                              std::vector<std::string>{"--id-start", "2000"});
  }
  IntegradorSim& sim = c.mesmoSimulador ? *primeiro : *segundo;
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  const auto depois = sim.Commands();
  EXPECT_EQ(Envios(antes, "EnviarPagamento") + Envios(depois, "EnviarPagamento"), 1u);
  EXPECT_EQ(inst.Linha(1).pagamento, "1000");
  EXPECT_NE(inst.Linha(1).fiscal, "0");
  const auto log = inst.ServiceLogMessages();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind(c.linhaEsperada, 0), 0u) << log[0];
  EXPECT_FALSE(fs::exists(inst.dir() + "/Pagvigia_Diario.txt"));
  EXPECT_FALSE(TemXml(inst.input()));
  EXPECT_FALSE(TemXml(inst.output()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, EnvioAntecipado,
    ::testing::Values(
        Caso{"KilledWhileTheIntegradorWorksTheLateAnswerIsRecorded",
             {"--method", "EnviarPagamento", "--id-start", "1000", "--delay-ms", "3000"},
             true,
             false,
             "Envios Pendentes: late answer of row 1 MFE_IDPAGAMENTO, session "},
        Caso{"KilledAndTheAnswerLostTheIntegradorIsAsked",
             {"--method", "EnviarPagamento", "--id-start", "1000", "--no-answer"},
             true,
             true,
             "Envios Pendentes: answer kept by the Integrador of row 1 MFE_IDPAGAMENTO, session "},
        Caso{"AnAnswerAfterTheTimeLimitIsRecordedNextCycle",
             {"--method", "EnviarPagamento", "--id-start", "1000", "--delay-ms", "27000"},
             false,
             false,
             "Envios Pendentes: late answer of row 1 MFE_IDPAGAMENTO, session "}),
    [](const ::testing::TestParamInfo<Caso>& i) { return std::string(i.param.nome); });

// Two registers on an orphan row, with the shop's table of unfinished sends:
// register 1's Integrador takes the payment and register 1 is killed before
// it hears back; register 2 then leaves the row alone, and register 1's next
// run learns the id from its Integrador and finishes the row.
TEST(EnvioAntecipado, AnotherRegisterNeverPaysARowWhoseSendIsUnfinishedElsewhere) {
  Instalacao a(1, SlurpFile(PAGVIGIA_ENVIOS_SQL));
  Instalacao b(2, a);
  Transacao t;
  t.caixa = 9;  // neither register's own
  t.diasAtras = 5;
  t.serialPOS = "POS-NOVO";
  a.Inserir(t);
  IntegradorSim simA(a.input(), a.output(), {"--method", "EnviarPagamento", "--id-start", "1000", "--no-answer"});
  {
    auto p = a.Iniciar({"-once"});
    ASSERT_TRUE(WaitUntil([&] { return ComandoTomado(a); }, 60s)) << a.Saidas();
    p->Signal(SIGKILL);
    ASSERT_TRUE(p->Wait(10s));
  }
  {
    IntegradorSim simB(b.input(), b.output(), {"--method", "EnviarPagamento", "--id-start", "2000"});
    ASSERT_EQ(b.RodarUmCiclo(), 0) << b.Saidas();
    EXPECT_TRUE(simB.Commands().empty());
    const auto log = b.ServiceLogMessages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Envios Pendentes: row 1 MFE_IDPAGAMENTO was sent by register 1 (session ", 0), 0u)
        << log[0];
  }
  EXPECT_EQ(a.Linha(1).pagamento, "0");
  ASSERT_EQ(a.RodarUmCiclo(), 0) << a.Saidas();
  EXPECT_EQ(a.Linha(1).pagamento, "1000");
  EXPECT_NE(a.Linha(1).fiscal, "0");
  EXPECT_EQ(Envios(simA.Commands(), "EnviarPagamento"), 1u);
  EXPECT_EQ(a.db().Scalar("SELECT COUNT(*) FROM PAGVIGIA_ENVIOS_PENDENTES"), "0");
}

}  // namespace
}  // namespace pagvigia::testing
