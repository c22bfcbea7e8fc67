// The cost of the pending-row selection on a shop's table that holds years of
// finished card payments: the service's own statement (the cursor of the
// pending rows, parameter CAIXA) opened and walked to its end, first on the
// table as the point of sale creates it, then after the two indexes that the
// status check suggests (on MFE_IDPAGAMENTO and on MFE_IDRESPOSTAFISCAL).
// The ratio of the two is printed at the end.
//
// The table gets PAGVIGIA_BENCH_LINHAS finished rows (1,000,000 unless set)
// and ten pending ones.
//
// Run: bash scripts/start-firebird.sh && . scripts/fb-env.sh &&
//      build/release/bench/pendentes/bench_pendentes
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "db/fb_query.h"
#include "reconcile/reconciliacao.h"
#include "tests/db/db_fixture.h"
#include "tests/support/firebird_db.h"

namespace pagvigia {
namespace {

testing::FirebirdDb* theDb = nullptr;
long Linhas() {
  const char* v = std::getenv("PAGVIGIA_BENCH_LINHAS");
  return v && *v ? std::strtol(v, nullptr, 10) : 1000000;
}

std::string Fill(long linhas) {
  // Finished rows of every register, sold long ago; ten pending rows of
  // register 1 at the end.
  return "SET TERM ^;\n"
         "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN\n"
         "  WHILE (I <= " + std::to_string(linhas + 10) + ") DO BEGIN\n"
         "    INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, MFE_CODAUTORIZACAO,\n"
         "      MFE_DONOCARTAO, MFE_VALORPAGAMENTO, MFE_IDPAGAMENTO, MFE_IDSTATUSVALIDADOR, MFE_IDRESPOSTAFISCAL,\n"
         "      MFE_DATAVENDA, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT)\n"
         "    VALUES (:I, MOD(:I, 8) + 1, 'POS-' || MOD(:I, 40), 'A' || :I, 'CLIENTE ' || :I, 10.5,\n"
         "      IIF(:I > " + std::to_string(linhas) + ", '0', :I), '0', IIF(:I > " + std::to_string(linhas) + ", '0', :I),\n"
         "      CURRENT_DATE - 30 - MOD(:I, 1500), :I, '<CFe/>', 'CFe' || :I);\n"
         "    I = I + 1;\n"
         "  END\n"
         "END^\n"
         "SET TERM ;^\n";
}

void Walk(benchmark::State& state) {
  testing::ServiceLikeConnection s(*theDb);
  TFbQuery q(&s.conn);
  for (std::string_view line : kSqlEnviaMFEPendentes) q.SQL().Add(std::string(line));
  q.Prepare();
  long pendentes = 0;
  for (auto _ : state) {
    q.ParamByName("CAIXA").SetAsInteger(1);
    q.Open();
    pendentes = 0;
    for (q.First(); !q.Eof(); q.Next()) ++pendentes;
    q.Close();
  }
  state.counters["pendentes"] = static_cast<double>(pendentes);
}

void BM_Pendentes_SemIndices(benchmark::State& state) { Walk(state); }
void BM_Pendentes_ComIndices(benchmark::State& state) {
  static bool made = false;
  if (!made) {
    theDb->Run(
        "CREATE INDEX MFE_TRANSACAO_CARTOES_IDPAG ON MFE_TRANSACAO_CARTOES (MFE_IDPAGAMENTO);\n"
        "CREATE INDEX MFE_TRANSACAO_CARTOES_IDRESP ON MFE_TRANSACAO_CARTOES (MFE_IDRESPOSTAFISCAL);\n");
    made = true;
  }
  Walk(state);
}

BENCHMARK(BM_Pendentes_SemIndices)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(3);
BENCHMARK(BM_Pendentes_ComIndices)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(3);

// Keeps the median of each benchmark's repetitions for the closing ratio.
class Report : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.aggregate_name == "median") FMedians[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  // The median of a benchmark's repetitions; 0 when it did not run.
  double Median(const std::string& name) const {
    const auto it = FMedians.find(name);
    return it != FMedians.end() ? it->second : 0;
  }

 private:
  std::map<std::string, double> FMedians;
};

}  // namespace
}  // namespace pagvigia

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const long linhas = pagvigia::Linhas();
  std::printf("Filling MFE_TRANSACAO_CARTOES with %ld finished rows and 10 pending ones...\n", linhas);
  std::fflush(stdout);
  pagvigia::testing::FirebirdDb db{pagvigia::testing::ShopSchema() + pagvigia::Fill(linhas)};
  pagvigia::theDb = &db;
  pagvigia::Report report;
  benchmark::RunSpecifiedBenchmarks(&report);
  const double sem = report.Median("BM_Pendentes_SemIndices"), com = report.Median("BM_Pendentes_ComIndices");
  if (sem > 0 && com > 0)
    std::printf("pending selection, %ld finished rows: %.1f ms without the two indexes, %.1f ms with them (%.1fx)\n",
                linhas, sem, com, sem / com);
  benchmark::Shutdown();
  return 0;
}
