// Real exchanges, in real time, with the Integrador simulator: every command
// the client writes must pass the simulator's own XML parser and checks, and
// every answer it writes must come back into the right record.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "integrador/integrador_cliente.h"
#include "vfpe/integrador_resposta.h"
#include "platform/files.h"
#include "tests/support/integrador_sim.h"
#include "tests/support/temp_dir.h"
#include "vfpe/vfpe_records.h"
#include "vfpe/vfpe_writers.h"

namespace pagvigia {
namespace {

using testing::IntegradorSim;
using testing::TempDir;

class SimuladorTest : public ::testing::Test {
 protected:
  SimuladorTest() {
    platform::ForceDirectories(input);
    platform::ForceDirectories(output);
    cli.SetPastaInput(input);
    cli.SetPastaOutput(output);
    cli.ArqLOG = dir / "Pagvigia_Integrador.log";
  }
  static TEnviarPagamento Pagamento() {
    TEnviarPagamento p;
    p.ChaveAcessoValidador = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D";
    p.ChaveRequisicao = "26359854-5698-1365-9856-965478231456";
    p.Estabelecimento = "10";
    p.SerialPOS = "ABC123";
    p.CNPJ = "11111111111111";
    p.IcmsBase = 1.5;
    p.ValorTotalVenda = 25.5;
    p.CodigoMoeda = "BRL";
    p.OrigemPagamento = "Mesa 1234";
    return p;
  }

  TempDir dir{"pagvigia-sim"};
  std::string input = dir / "Input";
  std::string output = dir / "Output";
  TIntegradorCliente cli;
};

TEST_F(SimuladorTest, EveryMethodIsAcceptedAndAnswered) {
  IntegradorSim sim(input, output,
                    {"--method", "EnviarPagamento", "--id-start", "100", "--payment-message", "Transação aprovada",
                     "--method", "RespostaFiscal", "--id-start", "900", "--retorno", "{id}", "--method", "*",
                     "--encoding", "utf8bom"});
  auto pagamento = Pagamento();
  const auto inicio = std::chrono::steady_clock::now();
  auto rp = cli.EnviarPagamento(pagamento);
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(2));
  EXPECT_EQ(rp->IntegradorResposta.Codigo, "AP");
  EXPECT_EQ(rp->IntegradorResposta.Identificador, pagamento.Identificador);
  EXPECT_EQ(rp->IDPagamento, 100);
  EXPECT_EQ(rp->Mensagem, "Transação aprovada");

  TStatusPagamento status;
  status.ChaveAcessoValidador = "chave";
  status.CodigoAutorizacao = "A1";
  status.Parcelas = 1;
  status.ValorPagamento = 25.5;
  status.IDFila = 100;
  status.Tipo = "1";
  status.UltimosQuatroDigitos = 1234;
  EXPECT_EQ(cli.EnviarStatusPagamento(status)->IntegradorResposta.Codigo, "AP");

  TRespostaFiscal fiscal;
  fiscal.ChaveAcessoValidador = "chave";
  fiscal.IDFila = 100;
  fiscal.ChaveAcesso = "CFe35150811111111111111591234567890001672668";
  fiscal.Nsu = "1674068";
  fiscal.NumerodeAprovacao = "1234";
  fiscal.Bandeira = "VISA";
  fiscal.Adquirente = "STONE";
  fiscal.CNPJ = "11111111111111";
  fiscal.ImpressaoFiscal = "<CFe><infCFe>ação & <b></infCFe></CFe>";
  fiscal.NumeroDocumento = "1674";
  auto rf = cli.RespostaFiscal(fiscal);
  EXPECT_EQ(rf->IdRespostaFiscal, "900");

  TVerificarStatusValidador verificar;
  verificar.ChaveAcessoValidador = "chave";
  verificar.IDFila = 100;
  verificar.CNPJ = "11111111111111";
  EXPECT_EQ(cli.VerificarStatusValidador(verificar)->IntegradorResposta.Codigo, "AP");

  // The simulator records a command just after placing its answer.
  ASSERT_TRUE(sim.WaitForCommands(4));
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 4u);
  for (const auto& c : cmds) EXPECT_TRUE(c.ok()) << c.file << ": " << c.failures;
  EXPECT_EQ(cmds[0].method, "EnviarPagamento");
  EXPECT_EQ(cmds[0].session, pagamento.Identificador);
  // Accents are removed by the text filter; the markup survives escaped.
  EXPECT_EQ(cmds[2].Param("ImpressaoFiscal"), "<CFe><infCFe>acao & <b></infCFe></CFe>") << cmds[2].xml;
  // Nothing is left behind in either folder.
  EXPECT_TRUE(platform::ListFolder(input + "/*").empty());
  EXPECT_TRUE(platform::ListFolder(output + "/*").empty());
}

TEST_F(SimuladorTest, GenericCallAndIntegradorErrors) {
  IntegradorSim sim(input, output, {"--code", "EE", "--message", "Comando inválido"});
  const std::string r = cli.ConsultarNumeroSessaoIntegrador(4321);
  // An "EE" envelope hands the whole answer back.
  EXPECT_EQ(r, cli.UltimaResposta());
  EXPECT_EQ(cli.ComandoIntegrador().IntegradorResposta().Codigo, "EE");
  EXPECT_EQ(cli.ComandoIntegrador().IntegradorResposta().Valor, "Comando inválido");
  ASSERT_TRUE(sim.WaitForCommands(1));
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_TRUE(cmds[0].ok()) << cmds[0].failures;
  EXPECT_EQ(cmds[0].component, "ConsultaNumeroSessao");
  EXPECT_EQ(cmds[0].method, "numeroSessao");
  EXPECT_EQ(cmds[0].Param("numeroSessao"), "4321");
}

TEST_F(SimuladorTest, ParallelClientsShareTheOutputFolder) {
  IntegradorSim sim(input, output, {"--delay-ms", "30"});
  constexpr int kClientes = 4, kChamadas = 5;
  std::vector<std::vector<std::int32_t>> sessoes(kClientes);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClientes; ++i) {
    threads.emplace_back([&, i] {
      TIntegradorCliente c;
      c.SetPastaInput(input);
      c.SetPastaOutput(output);
      // Distinct session numbers: each client owns one range.
      std::int32_t proxima = 1000 * (i + 1);
      c.OnGetNumeroSessao = [&](std::int32_t& n) { n = ++proxima; };
      for (int k = 0; k < kChamadas; ++k) {
        auto p = Pagamento();
        auto r = c.EnviarPagamento(p);
        EXPECT_EQ(r->IntegradorResposta.Identificador, p.Identificador);
        sessoes[i].push_back(r->IntegradorResposta.Identificador);
      }
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::int32_t> todas;
  for (const auto& s : sessoes) todas.insert(s.begin(), s.end());
  EXPECT_EQ(todas.size(), static_cast<std::size_t>(kClientes * kChamadas));
  EXPECT_TRUE(sim.WaitForCommands(kClientes * kChamadas));
  EXPECT_EQ(sim.Commands().size(), static_cast<std::size_t>(kClientes * kChamadas));
}

TEST_F(SimuladorTest, TakenButNeverAnsweredGivesUpAfter25SecondsWithoutResending) {
  IntegradorSim sim(input, output, {"--no-answer"});
  cli.SetTimeout(1);
  auto p = Pagamento();
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_THROW(cli.EnviarPagamento(p), EComandoIntegradorException);
  const auto decorrido = std::chrono::steady_clock::now() - inicio;
  EXPECT_GE(decorrido, std::chrono::seconds(25));
  EXPECT_LT(decorrido, std::chrono::seconds(27));
  EXPECT_TRUE(cli.ErroTimeout());
  // The command was taken once and never written again.
  EXPECT_EQ(sim.Commands().size(), 1u);
  EXPECT_TRUE(platform::ListFolder(input + "/*").empty());
}

}  // namespace
}  // namespace pagvigia
