// Time of the Integrador exchange.
//
// Exchange: one EnviarPagamento with the simulator answering at once. The
// polling sets its floor: a first scan (its 50 ms pause) that cannot see an
// answer written after its listing, then one pass of the loop (100 ms pause
// plus the next scan's 50 ms pause) = 200 ms; with the answer already there
// before the call, only the first scan's 50 ms. The counters give the time
// above each floor.
//
// Scan: one scan of an output folder holding 1,000 answer files of other
// sessions, without the scan's pause (its time is the reading and matching),
// against the bare listing and reading of the same files.
#include <benchmark/benchmark.h>

#include <chrono>

#include "integrador/comando_integrador.h"
#include "integrador/integrador_cliente.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/integrador_sim.h"
#include "tests/support/temp_dir.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

using testing::IntegradorSim;
using testing::TempDir;

TEnviarPagamento Pagamento() {
  TEnviarPagamento p;
  p.ChaveAcessoValidador = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D";
  p.ChaveRequisicao = "26359854-5698-1365-9856-965478231456";
  p.Estabelecimento = "10";
  p.SerialPOS = "ABC123";
  p.CNPJ = "11111111111111";
  p.ValorTotalVenda = 25.5;
  p.CodigoMoeda = "BRL";
  return p;
}

std::string Resposta(std::int32_t sessao) {
  return "<Integrador><Identificador><Valor>" + std::to_string(sessao) +
         "</Valor></Identificador><IntegradorResposta><Codigo>AP</Codigo><Valor>Processado com sucesso</Valor>"
         "</IntegradorResposta><Resposta><IDPagamento>1234</IDPagamento><Mensagem>Pagamento registrado</Mensagem>"
         "<StatusPagamento>Processado</StatusPagamento></Resposta></Integrador>";
}

void BM_TrocaComSimulador(benchmark::State& state) {
  TempDir dir("pagvigia-bench");
  const std::string input = dir / "Input", output = dir / "Output";
  IntegradorSim sim(input, output, {"--poll-ms", "1"});
  TIntegradorCliente cli;
  cli.SetPastaInput(input);
  cli.SetPastaOutput(output);
  double total = 0;
  for (auto _ : state) {
    auto p = Pagamento();
    const auto inicio = std::chrono::steady_clock::now();
    auto r = cli.EnviarPagamento(p);
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio).count();
    if (r->IntegradorResposta.Codigo != "AP") state.SkipWithError("no AP answer");
  }
  const double media = total / static_cast<double>(state.iterations());
  state.counters["ms_por_troca"] = media;
  state.counters["ms_acima_de_150"] = media - 150;
  state.counters["ms_acima_de_200"] = media - 200;
}
BENCHMARK(BM_TrocaComSimulador)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

// The answer is already in the output folder when the exchange starts.
void BM_TrocaRespostaPresente(benchmark::State& state) {
  TempDir dir("pagvigia-bench");
  const std::string input = dir / "Input", output = dir / "Output";
  platform::ForceDirectories(input);
  platform::ForceDirectories(output);
  TComandoIntegrador c(nullptr);
  c.SetPastaInput(input);
  c.SetPastaOutput(output);
  std::int32_t sessao = 0;
  double total = 0;
  for (auto _ : state) {
    ++sessao;
    platform::WriteFileBytes(output + "/r.xml", Resposta(sessao));
    const auto inicio = std::chrono::steady_clock::now();
    c.EnviaComando(sessao, "EnviarPagamento", "<cmd/>");
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio).count();
  }
  const double media = total / static_cast<double>(state.iterations());
  state.counters["ms_por_troca"] = media;
  state.counters["ms_acima_de_50"] = media - 50;
}
BENCHMARK(BM_TrocaRespostaPresente)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

void BM_VarreduraMilArquivos(benchmark::State& state) {
  const int arquivos = static_cast<int>(state.range(0));
  TempDir dir("pagvigia-bench");
  const std::string output = dir / "Output";
  platform::ForceDirectories(output);
  for (int i = 0; i < arquivos; ++i)
    platform::WriteFileBytes(output + "/resposta-" + std::to_string(i) + ".xml",
                             platform::Utf8ToAnsi(Resposta(500000 + i)));
  // The manual clock also sleeps without waiting: only the work is timed.
  platform::ManualClock tempo;
  TComandoIntegrador c(nullptr, tempo, tempo);
  c.SetPastaOutput(output);
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.AguardaArqResposta(42));
  }
  // Seconds per file read and compared.
  state.counters["por_arquivo"] = benchmark::Counter(static_cast<double>(arquivos) * state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_VarreduraMilArquivos)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline for the scan: listing the folder and reading every file's bytes,
// nothing else.
void BM_LeituraCruaMilArquivos(benchmark::State& state) {
  const int arquivos = static_cast<int>(state.range(0));
  TempDir dir("pagvigia-bench");
  const std::string output = dir / "Output";
  platform::ForceDirectories(output);
  for (int i = 0; i < arquivos; ++i)
    platform::WriteFileBytes(output + "/resposta-" + std::to_string(i) + ".xml",
                             platform::Utf8ToAnsi(Resposta(500000 + i)));
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const auto& nome : platform::ListFolder(output + "/*.xml"))
      bytes += platform::ReadFileBytes(output + "/" + nome).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["por_arquivo"] = benchmark::Counter(static_cast<double>(arquivos) * state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LeituraCruaMilArquivos)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace pagvigia

BENCHMARK_MAIN();
