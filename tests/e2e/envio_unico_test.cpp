// A step reaches the Integrador once: two cash registers working on the same
// rows, the process killed between an answer and its update, a journal that
// cannot be read, and an id column too short for the Integrador's ids.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kDiario = "Pagvigia_Diario.txt";

bool Comeca(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// An orphan "TEF" row of cash register 5, sold five days ago: any register
// takes it. Its amount, authorisation code and coupon number name it in the
// commands of its three steps.
Transacao Orfa(int id) {
  Transacao t;
  t.id = id;
  t.caixa = 5;
  t.diasAtras = 5;
  t.valor = std::to_string(id) + ".25";
  t.codAutorizacao = "AUT" + std::to_string(id);
  t.numCupom = "C" + std::to_string(id);
  return t;
}

// The steps each row's commands asked for, over every simulator's record:
// key "<row>/<method>".
std::map<std::string, int> PassosPorLinha(const std::vector<SimCommand>& cmds) {
  std::map<std::string, int> n;
  for (const auto& c : cmds) {
    std::string linha;
    if (c.method == "EnviarPagamento") {
      const std::string v = c.Param("ValorTotalVenda").value_or("");
      linha = v.substr(0, v.find('.'));
    } else if (c.method == "EnviarStatusPagamento") {
      linha = c.Param("CodigoAutorizacao").value_or("").substr(3);
    } else if (c.method == "RespostaFiscal") {
      linha = c.Param("NumeroDocumento").value_or("").substr(1);
    }
    ++n[linha + "/" + c.method];
  }
  return n;
}

// The service's attachments are gone (a killed process's claims with them).
bool SemConexoesDoServico(FirebirdDb& db) {
  return db.Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$USER = '" + std::string(FirebirdDb::kUser) +
                   "'") == "0";
}

// Both registers worked on the rows, and each step of every row reached
// exactly one Integrador, that of `a` (whose database holds the rows) or of `b`.
void CadaPassoUmaVez(Instalacao& a, const IntegradorSim& simA, Instalacao& b, const IntegradorSim& simB,
                     int linhas) {
  std::vector<SimCommand> cmds = simA.Commands();
  const auto cmdsB = simB.Commands();
  // Both registers worked on the rows at the same time.
  EXPECT_FALSE(cmds.empty());
  EXPECT_FALSE(cmdsB.empty());
  cmds.insert(cmds.end(), cmdsB.begin(), cmdsB.end());
  const auto passos = PassosPorLinha(cmds);
  int maisVezes = 0;
  for (int i = 1; i <= linhas; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    for (const char* m : {"EnviarPagamento", "EnviarStatusPagamento", "RespostaFiscal"}) {
      const auto it = passos.find(std::to_string(i) + "/" + m);
      const int n = it == passos.end() ? 0 : it->second;
      EXPECT_EQ(n, 1) << m;
      maisVezes = std::max(maisVezes, n);
    }
    const Progresso p = a.Linha(i);
    EXPECT_NE(p.pagamento, "0");
    EXPECT_NE(p.status, "0");
    EXPECT_NE(p.fiscal, "0");
  }
  EXPECT_EQ(cmds.size(), 3u * linhas);
  ::testing::Test::RecordProperty("max_sends_of_a_step", maisVezes);
  ::testing::Test::RecordProperty("commands_register_a", static_cast<int>(cmds.size() - cmdsB.size()));
  ::testing::Test::RecordProperty("commands_register_b", static_cast<int>(cmdsB.size()));
  // A row the other register holds is passed over without a line.
  EXPECT_TRUE(a.ServiceLog().empty()) << SlurpFile(a.ServiceLogPath());
  EXPECT_TRUE(b.ServiceLog().empty()) << SlurpFile(b.ServiceLogPath());
}

void InserirOrfas(Instalacao& loja, int linhas) {
  std::string sql;
  for (int i = 1; i <= linhas; ++i) sql += Orfa(i).Insert();
  loja.db().Run(sql);
}

TEST(EnvioUnico, TwoRegistersStartedTogetherSendEachStepOfEveryOrphanRowOnce) {
  constexpr int kLinhas = 24;
  Instalacao caixa3(3);
  Instalacao caixa7(7, caixa3);
  InserirOrfas(caixa3, kLinhas);

  IntegradorSim sim3(caixa3.input(), caixa3.output(), {"--id-start", "1000"});
  IntegradorSim sim7(caixa7.input(), caixa7.output(), {"--id-start", "5000"});
  auto p3 = caixa3.Iniciar({"-once"});
  auto p7 = caixa7.Iniciar({"-once"});
  ASSERT_TRUE(p3->Wait(300s));
  ASSERT_TRUE(p7->Wait(300s));
  EXPECT_EQ(p3->ExitCode(), 0) << caixa3.Saidas();
  EXPECT_EQ(p7->ExitCode(), 0) << caixa7.Saidas();
  CadaPassoUmaVez(caixa3, sim3, caixa7, sim7, kLinhas);
}

TEST(EnvioUnico, TheServiceAndAOnceRunOfAnotherRegisterSendEachStepOfEveryOrphanRowOnce) {
  constexpr int kLinhas = 24;
  Instalacao caixa3(3);
  caixa3.EscreverPagvigiaIni(/*timeout=*/25, /*intervalo=*/200);  // the first cycle comes after 200 ms
  Instalacao caixa7(7, caixa3);
  InserirOrfas(caixa3, kLinhas);

  IntegradorSim sim3(caixa3.input(), caixa3.output(), {"--id-start", "1000"});
  IntegradorSim sim7(caixa7.input(), caixa7.output(), {"--id-start", "5000"});
  const auto inicio = std::chrono::steady_clock::now();
  auto servico = caixa3.IniciarServico();
  // Register 7 starts once the service has sent its first row's payment.
  ASSERT_TRUE(WaitUntil([&] { return !sim3.Commands().empty(); }, 60s));
  auto p7 = caixa7.Iniciar({"-once"});
  ASSERT_TRUE(p7->Wait(300s));
  const auto fimOnce = std::chrono::steady_clock::now();
  EXPECT_EQ(p7->ExitCode(), 0) << caixa7.Saidas();
  // The service's later cycles take what is left.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return caixa3.db().Scalar("SELECT COUNT(*) FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDPAGAMENTO = '0' OR "
                                  "MFE_IDSTATUSVALIDADOR = '0' OR MFE_IDRESPOSTAFISCAL = '0'") == "0";
      },
      300s, 200ms));
  const auto fimLinhas = std::chrono::steady_clock::now();
  servico->RequestStop();
  ASSERT_TRUE(servico->Wait(60s));
  EXPECT_EQ(servico->ExitCode(), 0) << caixa3.Saidas();
  CadaPassoUmaVez(caixa3, sim3, caixa7, sim7, kLinhas);
  auto ms = [&](auto t) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(t - inicio).count());
  };
  RecordProperty("once_done_ms", ms(fimOnce));
  RecordProperty("rows_done_ms", ms(fimLinhas));
}

// Recording a payment id takes the server a few seconds here, long enough to
// kill the process between the Integrador's answer and the commit.
const char* kGravacaoLenta =
    "SET TERM ^;\n"
    "CREATE TRIGGER GRAVACAO_LENTA FOR MFE_TRANSACAO_CARTOES BEFORE UPDATE AS\n"
    "DECLARE i INTEGER = 0;\n"
    "BEGIN\n"
    "  IF (OLD.MFE_IDPAGAMENTO = '0' AND NEW.MFE_IDPAGAMENTO <> '0') THEN\n"
    "    WHILE (i < 20000000) DO i = i + 1;\n"
    "END^\n"
    "SET TERM ;^\n";

TEST(EnvioUnico, KilledBetweenTheAnswerAndItsUpdateTheNextRunRecordsTheIdAndSendsNothingAgain) {
  Instalacao inst(1, kGravacaoLenta);
  Transacao t;  // TEF: payment, status, fiscal response
  inst.Inserir(t);
  const std::string diario = inst.dir() + "/" + kDiario;
  {
    IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "700"});
    auto p = inst.Iniciar({"-once"});
    // The answer is in the journal while the update runs: kill there.
    ASSERT_TRUE(WaitUntil(
        [&] {
          return std::filesystem::exists(diario) &&
                 SlurpFile(diario).find("\r\nE 1 MFE_IDPAGAMENTO ") != std::string::npos;
        },
        120s));
    p->Signal(SIGKILL);
    ASSERT_TRUE(p->Wait(10s));
    EXPECT_EQ(p->ExitCode(), -SIGKILL);
    ASSERT_EQ(sim.Commands().size(), 1u);
  }
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
  ASSERT_TRUE(std::filesystem::exists(diario));
  ASSERT_TRUE(WaitUntil([&] { return SemConexoesDoServico(inst.db()); }, 60s));

  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "800"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].method, "EnviarStatusPagamento");
  EXPECT_EQ(cmds[0].Param("idFila"), "700");
  EXPECT_EQ(cmds[1].method, "RespostaFiscal");
  const auto linha = inst.Linha(1);
  EXPECT_EQ(linha.pagamento, "700");
  EXPECT_EQ(inst.Coluna(1, "MFE_XML_ENVIARPAGAMENTO").find("<IDPagamento>700</IDPagamento>") != std::string::npos,
            true);
  EXPECT_NE(linha.status, "0");
  EXPECT_EQ(linha.fiscal, "1");
  EXPECT_FALSE(std::filesystem::exists(diario));
  EXPECT_TRUE(inst.ServiceLog().empty()) << SlurpFile(inst.ServiceLogPath());
  RecordProperty("payment_sends_after_kill", static_cast<int>(1 + std::count_if(cmds.begin(), cmds.end(), [](const SimCommand& c) {
                   return c.method == "EnviarPagamento";
                 })));
}

TEST(EnvioUnico, AJournalThatCannotBeReadIsKeptAndNothingIsSentMeanwhile) {
  Instalacao inst;
  Transacao t;
  inst.Inserir(t);
  const std::string diario = inst.dir() + "/" + kDiario;
  const std::string estragado = "Pagvigia diario 1\r\nE 1 MFE_IDPAGAMENTO 3 5\r\n70";  // cut short
  WriteFile(diario, estragado);
  IntegradorSim sim(inst.input(), inst.output());
  for (int ciclo = 0; ciclo < 2; ++ciclo) {
    ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    EXPECT_TRUE(sim.Commands().empty());
    EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
    // Kept as it was, also by the start that empties the logs.
    EXPECT_EQ(SlurpFile(diario), estragado);
    const auto msgs = inst.ServiceLogMessages();
    ASSERT_EQ(msgs.size(), 1u) << SlurpFile(inst.ServiceLogPath());
    EXPECT_TRUE(Comeca(msgs[0], "Envios Pendentes: journal \"")) << msgs[0];
    EXPECT_NE(msgs[0].find("nothing is sent"), std::string::npos) << msgs[0];
  }
  std::filesystem::remove(diario);
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(sim.Commands().size(), 3u);
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
}

TEST(EnvioUnico, APaymentIdColumnTooShortForTheIntegradorsIdsSendsNoPayment) {
  Instalacao inst(1,
                  "ALTER TABLE MFE_TRANSACAO_CARTOES DROP MFE_IDPAGAMENTO;\n"
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ADD MFE_IDPAGAMENTO VARCHAR(9) DEFAULT '0';\n");
  Transacao a;
  inst.Inserir(a);
  Transacao b;  // its payment recorded: the later steps still go
  b.id = 2;
  b.idPagamento = "31";
  inst.Inserir(b);
  IntegradorSim sim(inst.input(), inst.output());
  for (int ciclo = 0; ciclo < 2; ++ciclo) {
    ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
    const auto msgs = inst.ServiceLogMessages();
    ASSERT_EQ(msgs.size(), 1u) << SlurpFile(inst.ServiceLogPath());
    EXPECT_EQ(msgs[0],
              "Pagamento MFE: column MFE_IDPAGAMENTO of MFE_TRANSACAO_CARTOES holds 9 characters, the Integrador's "
              "ids take up to 10; nothing is sent for this step until the column is widened");
  }
  const auto cmds = sim.Commands();
  EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(), [](const SimCommand& c) { return c.method == "EnviarPagamento"; }),
            0);
  EXPECT_EQ(cmds.size(), 2u);  // row 2: status and fiscal response
  EXPECT_EQ(inst.Linha(2).fiscal, "1");
}

}  // namespace
}  // namespace pagvigia::testing
