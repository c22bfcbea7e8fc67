// The process as the shop runs it: killed in the middle of a row, started
// plainly and stopped with SIGTERM in the middle of a cycle, a single cycle
// stopped by SIGTERM or SIGINT while it waits for an answer, and a database
// that cannot be reached.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

using namespace std::chrono_literals;

std::size_t Conta(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(Processo, KilledInTheMiddleOfARowResumesAtTheMissingStepWithoutPayingTwice) {
  Instalacao inst;
  Transacao t;  // TEF: payment, status, fiscal response
  inst.Inserir(t);
  {
    // The status command is taken but never answered: the process is killed
    // while it waits for it, after the payment id was committed.
    IntegradorSim sim(inst.input(), inst.output(),
                      {"--method", "EnviarPagamento", "--id-start", "700", "--method", "EnviarStatusPagamento",
                       "--no-answer"});
    auto p = inst.Iniciar({"-once"});
    ASSERT_TRUE(WaitUntil(
        [&] {
          auto c = sim.Commands();
          return c.size() >= 2 && c[1].method == "EnviarStatusPagamento";
        },
        60s));
    ASSERT_EQ(inst.Linha(1), (Progresso{"700", "0", "0"}));
    p->Signal(SIGKILL);
    ASSERT_TRUE(p->Wait(10s));
    EXPECT_EQ(p->ExitCode(), -SIGKILL);
  }
  // That Integrador is gone; the new one is asked about the status's
  // session first, never saw it, and the status is sent again.
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "800"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(cmds[0].component, "ConsultaNumeroSessao");
  cmds.erase(cmds.begin());
  EXPECT_EQ(cmds[0].method, "EnviarStatusPagamento");
  EXPECT_EQ(cmds[0].Param("idFila"), "700");
  EXPECT_EQ(cmds[1].method, "RespostaFiscal");
  EXPECT_EQ(cmds[1].Param("idFila"), "700");
  auto linha = inst.Linha(1);
  EXPECT_EQ(linha.pagamento, "700");
  EXPECT_EQ(linha.status, std::to_string(cmds[0].session.value_or(-1)));
  EXPECT_EQ(linha.fiscal, "1");
  const auto log = inst.ServiceLogMessages();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("MFE_IDSTATUSVALIDADOR, session "), std::string::npos) << log[0];
  EXPECT_NE(log[0].find("the Integrador never saw the session"), std::string::npos) << log[0];
}

TEST(Processo, PlainStartRunsCyclesUntilSigtermAndFinishesTheStepInProgress) {
  Instalacao inst;
  inst.EscreverPagvigiaIni(/*timeout=*/25, /*intervalo=*/300);
  Transacao a;
  a.serialPOS = "POS-NOVO";
  inst.Inserir(a);
  // Every answer takes 1.5 s, so a stop request lands in the middle of an exchange.
  IntegradorSim sim(inst.input(), inst.output(), {"--delay-ms", "1500"});
  auto p = inst.IniciarServico();
  // First cycle: payment and fiscal response of row 1.
  ASSERT_TRUE(WaitUntil([&] { return inst.Linha(1).fiscal != "0"; }, 60s));
  // A row that appears between cycles is taken by the next one.
  Transacao b;
  b.id = 2;
  b.serialPOS = "POS-NOVO";
  inst.Inserir(b);
  ASSERT_TRUE(WaitUntil([&] { return Conta(inst.IntegradorLog(), "EnviarPagamento( ") >= 2; }, 60s))
      << inst.IntegradorLog();
  p->RequestStop();
  ASSERT_TRUE(p->Wait(60s));
  EXPECT_EQ(p->ExitCode(), 0) << inst.Saidas();
  // The step in progress finished: row 2 got its payment, and its fiscal
  // response waits for the next start.
  EXPECT_NE(inst.Linha(2).pagamento, "0");
  EXPECT_EQ(inst.Linha(2).fiscal, "0");
  EXPECT_EQ(sim.Commands().size(), 3u);
  EXPECT_TRUE(inst.ServiceLog().empty()) << SlurpFile(inst.ServiceLogPath());
}

TEST(Processo, AStopDuringASlowExchangeRecordsThatStepAndSendsNothingElse) {
  Instalacao inst;
  inst.EscreverPagvigiaIni(/*timeout=*/25, /*intervalo=*/300);
  for (int id = 1; id <= 6; ++id) {
    Transacao t;
    t.id = id;
    t.serialPOS = "POS-NOVO";  // payment and fiscal response
    inst.Inserir(t);
  }
  IntegradorSim sim(inst.input(), inst.output(), {"--delay-ms", "2000"});
  auto p = inst.IniciarServico();
  ASSERT_TRUE(WaitUntil([&] { return Conta(inst.IntegradorLog(), "EnviarPagamento( ") >= 1; }, 60s));
  const auto stop = std::chrono::steady_clock::now();
  p->RequestStop();
  ASSERT_TRUE(p->Wait(60s));
  const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stop);
  RecordProperty("stop_latency_ms", static_cast<int>(latency.count()));
  EXPECT_EQ(p->ExitCode(), 0) << inst.Saidas();
  // The payment in flight was recorded; no other step or row was sent.
  const std::string idPagamento = inst.Linha(1).pagamento;
  EXPECT_NE(idPagamento, "0");
  EXPECT_EQ(inst.Linha(1).fiscal, "0");
  for (int id = 2; id <= 6; ++id) EXPECT_EQ(inst.Linha(id), (Progresso{"0", "0", "0"})) << id;
  ASSERT_EQ(sim.Commands().size(), 1u);
  // One answer of 2 s at most, not the fiscal step and the five rows after.
  EXPECT_LT(latency, 10s);
  // The next run goes on from the fiscal step: the payment is not sent again
  // (the untouched rows are left out of it to keep it short).
  inst.db().Run("DELETE FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO > 1;");
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(inst.Linha(1).pagamento, idPagamento);
  EXPECT_NE(inst.Linha(1).fiscal, "0");
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[1].method, "RespostaFiscal");
}

// True while `sig` waits, blocked, to be read by the process `pid` (its
// ShdPnd mask in /proc): a second signal sent before the first is read would
// merge with it.
bool SinalPendente(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string linha; std::getline(status, linha);) {
    if (linha.rfind("ShdPnd:", 0) != 0) continue;
    return (std::stoull(linha.substr(7), nullptr, 16) >> (sig - 1)) & 1u;
  }
  return false;
}

std::vector<std::string> ArquivosEm(const std::string& pasta) {
  std::vector<std::string> nomes;
  for (const auto& e : std::filesystem::directory_iterator(pasta)) nomes.push_back(e.path().filename().string());
  return nomes;
}

TEST(Processo, SingleCycleStoppedWhileWaitingForAnAnswerEndsCleanlyAndLeavesNoCommand) {
  struct Caso {
    const char* nome;
    int sinal;
    bool segundo;    // a second signal once the first was read: the exchange is abandoned
    bool nuncaToma;  // the Integrador never takes the command
    int voltas;      // runs (the crash this guards against came in 3 runs of 9)
  };
  const Caso casos[] = {
      {"sigterm", SIGTERM, false, false, 3},
      {"sigint", SIGINT, false, false, 3},
      {"second_sigterm_never_taken", SIGTERM, true, true, 2},
      {"second_sigint_taken", SIGINT, true, false, 1},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    // Under Wine only SIGINT reaches the program, as Ctrl+C, and the pending
    // mask is Wine's own.
    if (ProgramUnderTest::UnderWine() && (caso.sinal != SIGINT || caso.segundo)) continue;
    Instalacao inst;
    // The answer comes 3 s after the command is taken, well within its time.
    IntegradorSim sim(inst.input(), inst.output(),
                      caso.nuncaToma ? std::vector<std::string>{"--never-take"}
                                     : std::vector<std::string>{"--delay-ms", "3000"});
    std::ostringstream estados, envios;
    for (int volta = 1; volta <= caso.voltas; ++volta) {
      SCOPED_TRACE(volta);
      inst.db().Run("DELETE FROM MFE_TRANSACAO_CARTOES;");
      Transacao t;  // TEF: payment, status, fiscal response
      t.id = volta;
      inst.Inserir(t);
      const std::size_t antes = sim.Commands().size();
      // Each run's logs are its own.
      std::filesystem::remove(inst.ServiceLogPath());
      std::filesystem::remove(inst.IntegradorLogPath());
      auto p = inst.Iniciar({"-once"});
      // Waiting for the answer: the first scan is logged and the command is
      // taken (or, never taken, recorded at once).
      ASSERT_TRUE(WaitUntil(
          [&] {
            return inst.IntegradorLog().find("AguardaArqResposta") != std::string::npos &&
                   (caso.nuncaToma ? sim.Commands().size() > antes : ArquivosEm(inst.input()).empty());
          },
          60s))
          << inst.Saidas();
      const auto parada = std::chrono::steady_clock::now();
      p->Signal(caso.sinal);
      if (caso.segundo) {
        ASSERT_TRUE(WaitUntil([&] { return !SinalPendente(p->pid(), caso.sinal); }, 10s));
        p->Signal(caso.sinal);
      }
      ASSERT_TRUE(p->Wait(60s)) << inst.Saidas();
      const auto demora = std::chrono::steady_clock::now() - parada;
      // An answered command is recorded once its answer is written, which
      // comes after the exit when the exchange was abandoned.
      ASSERT_TRUE(sim.WaitForCommands(antes + 1)) << inst.Saidas();
      estados << (volta > 1 ? "," : "") << p->ExitCode();
      envios << (volta > 1 ? "," : "") << sim.Commands().size() - antes;
      // No crash: the cycle's own status, 0.
      EXPECT_EQ(p->ExitCode(), 0) << inst.Saidas();
      // The step was sent once, and no command is left for the Integrador.
      EXPECT_EQ(sim.Commands().size() - antes, 1u);
      EXPECT_TRUE(ArquivosEm(inst.input()).empty());
      const std::string integradorLog = inst.IntegradorLog();
      const auto entradas = inst.ServiceLogMessages();
      if (!caso.segundo) {
        // The step in flight got its answer and was recorded; nothing else ran.
        EXPECT_NE(inst.Linha(volta).pagamento, "0");
        EXPECT_EQ(inst.Linha(volta).status, "0");
        EXPECT_EQ(inst.Linha(volta).fiscal, "0");
        EXPECT_TRUE(entradas.empty()) << inst.Saidas();
        EXPECT_EQ(Conta(integradorLog, "abandonada"), 0u) << integradorLog;
        continue;
      }
      // Abandoned at once, well before the answer or the time limit could
      // end the wait; the row is left for a later cycle.
      EXPECT_LT(demora, 2500ms);
      EXPECT_EQ(inst.Linha(volta), (Progresso{"0", "0", "0"}));
      const std::string desfecho = caso.nuncaToma ? "comando retirado sem ser tomado: " : "comando já tomado pelo Integrador: ";
      EXPECT_EQ(Conta(integradorLog, "Troca com o Integrador abandonada para a parada do serviço: " + desfecho), 1u)
          << integradorLog;
      ASSERT_EQ(entradas.size(), 1u) << inst.Saidas();
      EXPECT_EQ(entradas.back().rfind("Envios Pendentes: Troca com o Integrador abandonada", 0), 0u) << entradas.back();
      if (caso.nuncaToma) {
        EXPECT_EQ(sim.Commands().back().action, "left");
      }
    }
    RecordProperty(std::string(caso.nome) + "_exit_statuses", estados.str());
    RecordProperty(std::string(caso.nome) + "_sends_per_step", envios.str());
  }
}

TEST(Processo, UnreachableDatabaseGivesOneConnectionLinePerCycleUntilItIsBack) {
  Instalacao inst;
  inst.EscreverGestalo("127.0.0.1/1", inst.db().path());  // nothing listens on port 1
  for (int run = 0; run < 2; ++run) {
    // No connection: the cycle could not run. The entry, one line with what
    // to do, goes to standard error as well, followed by the summary.
    ASSERT_EQ(inst.RodarUmCiclo(), 1);
    auto msgs = inst.ServiceLogMessages();
    ASSERT_EQ(msgs.size(), 1u) << SlurpFile(inst.ServiceLogPath());
    EXPECT_EQ(msgs[0].rfind("Conexão do Banco: ", 0), 0u) << msgs[0];
    EXPECT_EQ(msgs[0].find("ISC ERROR"), std::string::npos) << msgs[0];
    EXPECT_NE(msgs[0].find(" — Verifique se o Firebird está rodando nessa máquina, se a porta 1 está liberada"),
              std::string::npos)
        << msgs[0];
    const std::string err = inst.Erros();
    EXPECT_NE(err.find(" - " + msgs[0] + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find(": sem conexão com o banco\n"), std::string::npos) << err;
  }
  // A plain start with a short interval: one entry per cycle, nothing else.
  inst.EscreverPagvigiaIni(25, 200);
  auto p = inst.IniciarServico();
  ASSERT_TRUE(WaitUntil([&] { return inst.ServiceLogMessages().size() >= 3; }, 30s));
  // The server comes back (Gestalo.ini is read afresh every cycle): the next
  // cycle connects and does its work.
  Transacao t;
  t.serialPOS = "POS-NOVO";
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output());
  inst.EscreverGestalo(inst.db().host(), inst.db().path());
  ASSERT_TRUE(WaitUntil([&] { return inst.Linha(1).fiscal != "0"; }, 60s));
  p->RequestStop();
  ASSERT_TRUE(p->Wait(30s));
  EXPECT_EQ(p->ExitCode(), 0);
  for (auto& m : inst.ServiceLogMessages()) EXPECT_EQ(m.rfind("Conexão do Banco: ", 0), 0u) << m;
  EXPECT_EQ(inst.Linha(1), (Progresso{"1", "0", "1"}));

  // A database path that does not exist: the same, and nothing else.
  inst.EscreverGestalo(inst.db().host(), inst.db().folder() + "/nao-existe.fdb");
  ASSERT_EQ(inst.RodarUmCiclo(), 1);
  auto msgs = inst.ServiceLogMessages();
  ASSERT_FALSE(msgs.empty());
  EXPECT_EQ(msgs[0].rfind("Conexão do Banco: ", 0), 0u) << msgs[0];
  EXPECT_NE(msgs[0].find(" — Corrija Caminho no Gestalo.ini"), std::string::npos) << msgs[0];
}

}  // namespace
}  // namespace pagvigia::testing
