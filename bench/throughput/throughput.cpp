// Throughput of one polling cycle over 100 pending POS payments, with the
// Integrador simulator answering at once.
//
// A POS row needs two exchanges (EnviarPagamento, RespostaFiscal). An
// exchange cannot be shorter than its polling floor: the first scan of the
// output folder lists it before the answer can be there, then sleeps 50 ms;
// the next scan comes after a 100 ms sleep and itself sleeps 50 ms before it
// reads the answer: 200 ms. The floor of a POS row is therefore 400 ms.
//
// BM_DuasTrocas measures, in the same run, two bare exchanges through the
// Integrador client (no database, no service) as the practical floor.
// BM_CicloCemPOS runs the real service cycle (TSrvPagvigia::Timer1Timer) over
// 100 rows and reports the time per row, its ratio to both floors, and the
// share of the time spent outside the Integrador's waits (database work, XML,
// files and logs), measured by a sleeper that times every wait.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "integrador/integrador_cliente.h"
#include "platform/clock.h"
#include "service/srv_pagvigia.h"
#include "tests/support/firebird_db.h"
#include "tests/support/integrador_sim.h"
#include "tests/support/temp_dir.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

using Steady = std::chrono::steady_clock;

constexpr int kLinhas = 100;
constexpr double kPisoTrocaMs = 200.0;  // 50 + 100 + 50 ms of sleeps
constexpr double kPisoLinhaMs = 2 * kPisoTrocaMs;

// The system sleeper, timing every wait it makes.
class SleeperCronometrado : public platform::Sleeper {
 public:
  void SleepMs(std::int64_t ms) override {
    const auto t0 = Steady::now();
    platform::SystemSleeper().SleepMs(ms);
    FTotal += std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - t0).count();
  }
  double TotalMs() const { return FTotal.load() / 1e6; }
  void Zerar() { FTotal = 0; }

 private:
  std::atomic<std::int64_t> FTotal{0};
};

void Escrever(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The shop's database with 100 pending POS payments of cash register 1, the
// program's folder with its INI files, and the simulator.
struct Ambiente {
  testing::FirebirdDb db{testing::ShopSchema() +
                         "INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '08.723.218/0001-86');\n"
                         "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (1, 'CHAVE');\n"
                         "INSERT INTO MFE_CADASTRO_POS (CODIGO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, "
                         "CODIGOESTABELECIMENTO) VALUES (1, 'POS-1', 'REQ-1', '15');\n"};
  testing::TempDir dir{"pagvigia-throughput"};
  std::unique_ptr<testing::IntegradorSim> sim;

  Ambiente() {
    std::string linhas = "SET TERM ^;\nEXECUTE BLOCK AS DECLARE i INTEGER = 1; BEGIN\n  WHILE (i <= " +
                         std::to_string(kLinhas) +
                         ") DO BEGIN\n"
                         "    INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, "
                         "MFE_CODAUTORIZACAO, MFE_BIN, MFE_DONOCARTAO, MFE_INSTITUICAOFINANCEIRA, MFE_TIPO, "
                         "MFE_CODIGOPAGAMENTO, MFE_VALORPAGAMENTO, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT) VALUES "
                         "(:i, 1, 'POS-1', 'AUT' || :i, '411111', 'CLIENTE ' || :i, 'CIELO', 'VISA', 'PG' || :i, "
                         ":i + 0.5, :i, '<CFe><infCFe Id=\"CFe' || :i || '\"/></CFe>', 'CFe' || :i);\n"
                         "    i = i + 1;\n  END\nEND^\nSET TERM ;^\n";
    db.Run(linhas);
    Escrever(dir / "Gestalo.ini", "[Gestalo]\nServidor=" + db.host() + "\nCaminho=" + db.path() + "\n");
    Escrever(dir / "ConfCaixa.ini", "[Caixa]\nIdCaixa=1\n");
    sim = std::make_unique<testing::IntegradorSim>(dir / "in", dir / "out", std::vector<std::string>{"--poll-ms", "1"});
  }

  void Pendentes() {
    db.Run("UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDPAGAMENTO = '0', MFE_IDRESPOSTAFISCAL = '0', "
           "MFE_XML_ENVIARPAGAMENTO = NULL, MFE_XML_RESPOSTAFISCAL = NULL;");
  }
  int Feitas() {
    return std::stoi(db.Scalar("SELECT COUNT(*) FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDRESPOSTAFISCAL <> '0'"));
  }

  TServiceSettings Settings() const {
    TServiceSettings s;
    s.PastaInput = dir / "in";
    s.PastaOutput = dir / "out";
    s.PastaCaixa = dir.withDelim();
    return s;
  }
};

Ambiente& Amb() {
  static Ambiente a;
  return a;
}

// Two bare exchanges (a payment and a fiscal response) through the client.
void BM_DuasTrocas(benchmark::State& state) {
  Ambiente& a = Amb();
  SleeperCronometrado sleeper;
  TIntegradorCliente cli(platform::SystemClock(), sleeper);
  cli.SetPastaInput(a.dir / "in");
  cli.SetPastaOutput(a.dir / "out");
  for (auto _ : state) {
    TEnviarPagamento pag;
    pag.ChaveAcessoValidador = "CHAVE";
    pag.SerialPOS = "POS-1";
    pag.ValorTotalVenda = 10.5;
    benchmark::DoNotOptimize(cli.EnviarPagamento(pag));
    TRespostaFiscal rf;
    rf.ChaveAcessoValidador = "CHAVE";
    rf.IDFila = 1;
    benchmark::DoNotOptimize(cli.RespostaFiscal(rf));
  }
  state.counters["floor_ms"] = kPisoLinhaMs;
}
BENCHMARK(BM_DuasTrocas)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// One real polling cycle over 100 pending POS rows.
void BM_CicloCemPOS(benchmark::State& state) {
  Ambiente& a = Amb();
  SleeperCronometrado sleeper;
  TSrvPagvigiaOptions opts;
  opts.ExeDir = a.dir.withDelim();
  opts.Settings = a.Settings();
  opts.Sleeper = &sleeper;
  TSrvPagvigia srv(opts);
  double totalMs = 0, dormidoMs = 0;
  int linhas = 0;
  for (auto _ : state) {
    state.PauseTiming();
    a.Pendentes();
    sleeper.Zerar();
    state.ResumeTiming();
    const auto t0 = Steady::now();
    srv.Timer1Timer();
    totalMs += std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
    dormidoMs += sleeper.TotalMs();
    state.PauseTiming();
    linhas += a.Feitas();
    state.ResumeTiming();
  }
  if (linhas == 0) {
    state.SkipWithError("no row was completed");
    return;
  }
  const double porLinha = totalMs / linhas;
  state.counters["rows"] = linhas;
  state.counters["ms_per_row"] = porLinha;
  state.counters["floor_ms_per_row"] = kPisoLinhaMs;
  state.counters["x_floor"] = porLinha / kPisoLinhaMs;
  state.counters["waits_ms_per_row"] = dormidoMs / linhas;
  state.counters["outside_waits_ms_per_row"] = (totalMs - dormidoMs) / linhas;
  state.counters["outside_waits_share"] = (totalMs - dormidoMs) / totalMs;
}
BENCHMARK(BM_CicloCemPOS)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace pagvigia

BENCHMARK_MAIN();
