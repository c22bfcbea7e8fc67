// The database layer against the bare client library, on the real server:
// (1) open a SELECT of 10,000 rows of mixed columns and walk it reading every
// column; (2) 1,000 parameterised UPDATEs through one statement in an
// automatically committing read-write transaction, as the service writes its
// results. The bare loops make the same client-library calls with no layer:
// they are the limit the layer is measured against (ratio printed at the end).
//
// Run: bash scripts/start-firebird.sh && . scripts/fb-env.sh && build/release/bench/db/bench_db
// (the database runs without forced writes unless --forced-writes is given).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/fb_private.h"
#include "db/fb_query.h"
#include "tests/db/db_fixture.h"
#include "tests/support/firebird_db.h"

namespace pagvigia {
namespace {

testing::FirebirdDb* theDb = nullptr;

const char* kSchema =
    "CREATE TABLE VENDA (ID INTEGER NOT NULL PRIMARY KEY, SERIAL VARCHAR(40), COD CHAR(10), VALOR NUMERIC(15,2),\n"
    "  PARCELAS SMALLINT, NSU BIGINT, DATAVENDA DATE, HORA TIME, DONO VARCHAR(60), IDPAG VARCHAR(20));\n"
    "SET TERM ^;\n"
    "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN\n"
    "  WHILE (I <= 10000) DO BEGIN\n"
    "    INSERT INTO VENDA VALUES (:I, 'SERIAL-' || :I, 'C' || MOD(:I, 1000), :I * 1.25, MOD(:I, 12), :I * 1000003,\n"
    "      CAST('2026-12-08' AS DATE) - MOD(:I, 30), '13:45:00', 'João da Conceição ' || :I, '0');\n"
    "    I = I + 1;\n"
    "  END\n"
    "END^\n"
    "SET TERM ;^\n"
    // Each update benchmark writes a table of its own, so that neither pays
    // for the record versions the other left behind.
    "CREATE TABLE UPD_BARE (ID INTEGER NOT NULL PRIMARY KEY, DONO VARCHAR(60), IDPAG VARCHAR(20));\n"
    "CREATE TABLE UPD_LAYER (ID INTEGER NOT NULL PRIMARY KEY, DONO VARCHAR(60), IDPAG VARCHAR(20));\n"
    "INSERT INTO UPD_BARE SELECT ID, DONO, IDPAG FROM VENDA WHERE ID <= 1000;\n"
    "INSERT INTO UPD_LAYER SELECT ID, DONO, IDPAG FROM VENDA WHERE ID <= 1000;\n";

const char* kSelect = "SELECT ID, SERIAL, COD, VALOR, PARCELAS, NSU, DATAVENDA, HORA, DONO, IDPAG FROM VENDA";

// ---------------------------------------------------------------- the layer

void BM_Select10k_Layer(benchmark::State& state) {
  testing::ServiceLikeConnection s(*theDb);
  TFbQuery q(&s.conn);
  q.SQL().Add(kSelect);
  std::int64_t sink = 0;
  for (auto _ : state) {
    q.Open();
    TFbColumn& id = q.FieldByName("ID");
    TFbColumn& serial = q.FieldByName("SERIAL");
    TFbColumn& cod = q.FieldByName("COD");
    TFbColumn& valor = q.FieldByName("VALOR");
    TFbColumn& parcelas = q.FieldByName("PARCELAS");
    TFbColumn& nsu = q.FieldByName("NSU");
    TFbColumn& data = q.FieldByName("DATAVENDA");
    TFbColumn& hora = q.FieldByName("HORA");
    TFbColumn& dono = q.FieldByName("DONO");
    TFbColumn& idpag = q.FieldByName("IDPAG");
    int rows = 0;
    for (q.First(); !q.Eof(); q.Next()) {
      sink += id.AsInteger() + static_cast<std::int64_t>(serial.AsString().size() + cod.AsString().size()) +
              valor.AsCurrency() + parcelas.AsInteger() + nsu.AsInt64() +
              static_cast<std::int64_t>(data.AsString().size() + hora.AsString().size() + dono.AsString().size() +
                                        idpag.AsString().size());
      ++rows;
    }
    q.Close();
    if (rows != 10000) state.SkipWithError("wrong row count");
  }
  benchmark::DoNotOptimize(sink);
  s.conn.Disconnect();
}

void BM_Update1000_Layer(benchmark::State& state) {
  testing::ServiceLikeConnection s(*theDb);
  TFbQuery q(&s.conn, &s.rw);
  int round = 0;
  for (auto _ : state) {
    q.SQL().Clear();
    q.SQL().Add("UPDATE UPD_LAYER SET IDPAG = :IDPAGAMENTO,");
    q.SQL().Add("DONO = :DONO");
    q.SQL().Add("WHERE ID = :INDENTIFICADORINTERNO");
    q.Prepare();
    ++round;
    for (int i = 1; i <= 1000; ++i) {
      q.Params().BeginUpdate();
      q.ParamByName("IDPAGAMENTO").SetAsString(std::to_string(round * 100000 + i));
      q.ParamByName("DONO").SetAsString("Dono atualizado ç " + std::to_string(i));
      q.ParamByName("INDENTIFICADORINTERNO").SetAsInteger(i);
      q.Params().EndUpdate(true);
      q.ExecSQL();
    }
  }
  s.conn.Disconnect();
}

// ---------------------------------------------------------------- the bare library

struct Bare {
  TFbClientLib& loader = TFbClientLib::Instance();
  const TFbClientApi& lib = loader.Api();
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  ISC_STATUS_ARRAY st{};

  void Check(const char* what) {
    if (st[0] == 1 && st[1]) {
      char buf[512] = {};
      const ISC_STATUS* p = st;
      lib.fb_interpret(buf, sizeof buf, &p);
      throw std::runtime_error(std::string(what) + ": " + buf);
    }
  }
  explicit Bare(bool readOnly) {
    loader.Open();
    std::string dpb(1, isc_dpb_version1);
    auto add = [&](int item, const std::string& v) {
      dpb += static_cast<char>(item);
      dpb += static_cast<char>(v.size());
      dpb += v;
    };
    add(isc_dpb_user_name, testing::FirebirdDb::kUser);
    add(isc_dpb_password, testing::FirebirdDb::kPassword);
    add(isc_dpb_lc_ctype, "ISO8859_1");
    const std::string name = theDb->connectionString();
    lib.isc_attach_database(st, static_cast<short>(name.size()), name.c_str(), &db, static_cast<short>(dpb.size()),
                            dpb.data());
    Check("attach");
    const char tpb[] = {isc_tpb_version3, static_cast<char>(readOnly ? isc_tpb_read : isc_tpb_write),
                        isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait};
    struct {
      isc_db_handle* db;
      int len;
      const char* tpb;
    } teb{&db, static_cast<int>(sizeof tpb), tpb};
    lib.isc_start_multiple(st, &tr, 1, &teb);
    Check("start");
  }
  ~Bare() {
    lib.isc_commit_transaction(st, &tr);
    lib.isc_detach_database(st, &db);
  }
};

XSQLDA* NewDa(int n) {
  auto* da = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(n)));
  da->version = SQLDA_VERSION1;
  da->sqln = static_cast<ISC_SHORT>(n);
  return da;
}

void BM_Select10k_Bare(benchmark::State& state) {
  Bare b(true);
  isc_stmt_handle stmt = 0;
  b.lib.isc_dsql_allocate_statement(b.st, &b.db, &stmt);
  b.Check("allocate");
  XSQLDA* out = NewDa(10);
  b.lib.isc_dsql_prepare(b.st, &b.tr, &stmt, 0, kSelect, 3, out);
  b.Check("prepare");
  std::vector<std::unique_ptr<char[]>> bufs;
  std::vector<short> inds(static_cast<std::size_t>(out->sqld));
  for (int i = 0; i < out->sqld; ++i) {
    XSQLVAR& v = out->sqlvar[i];
    bufs.emplace_back(new char[static_cast<std::size_t>(v.sqllen) + 2]);
    v.sqldata = bufs.back().get();
    v.sqlind = &inds[static_cast<std::size_t>(i)];
    v.sqltype = static_cast<ISC_SHORT>(v.sqltype | 1);
  }
  std::int64_t sink = 0;
  for (auto _ : state) {
    b.lib.isc_dsql_execute(b.st, &b.tr, &stmt, 1, nullptr);
    b.Check("execute");
    int rows = 0;
    while (b.lib.isc_dsql_fetch(b.st, &stmt, 1, out) == 0) {
      // Read every column in its own form.
      for (int i = 0; i < out->sqld; ++i) {
        const XSQLVAR& v = out->sqlvar[i];
        if (*v.sqlind < 0) continue;
        switch (v.sqltype & ~1) {
          case SQL_VARYING: {
            unsigned short n;
            std::memcpy(&n, v.sqldata, 2);
            sink += n + static_cast<unsigned char>(v.sqldata[2]);
            break;
          }
          case SQL_TEXT: sink += static_cast<unsigned char>(v.sqldata[0]) + v.sqllen; break;
          case SQL_SHORT: {
            short s;
            std::memcpy(&s, v.sqldata, 2);
            sink += s;
            break;
          }
          case SQL_LONG:
          case SQL_TYPE_DATE:
          case SQL_TYPE_TIME: {
            int x;
            std::memcpy(&x, v.sqldata, 4);
            sink += x;
            break;
          }
          default: {
            std::int64_t x;
            std::memcpy(&x, v.sqldata, 8);
            sink += x;
          }
        }
      }
      ++rows;
    }
    b.Check("fetch");
    b.lib.isc_dsql_free_statement(b.st, &stmt, DSQL_close);
    if (rows != 10000) state.SkipWithError("wrong row count");
  }
  benchmark::DoNotOptimize(sink);
  b.lib.isc_dsql_free_statement(b.st, &stmt, DSQL_drop);
  std::free(out);
}

void BM_Update1000_Bare(benchmark::State& state) {
  Bare b(false);
  isc_stmt_handle stmt = 0;
  b.lib.isc_dsql_allocate_statement(b.st, &b.db, &stmt);
  b.Check("allocate");
  XSQLDA* out = NewDa(1);
  static const char sql[] = "UPDATE UPD_BARE SET IDPAG = ?, DONO = ? WHERE ID = ?";
  b.lib.isc_dsql_prepare(b.st, &b.tr, &stmt, 0, sql, 3, out);
  b.Check("prepare");
  XSQLDA* in = NewDa(3);
  b.lib.isc_dsql_describe_bind(b.st, &stmt, 1, in);
  b.Check("describe bind");
  char idpag[2 + 20], dono[2 + 60];
  int id = 0;
  short ind[3] = {0, 0, 0};
  in->sqlvar[0].sqldata = idpag;
  in->sqlvar[1].sqldata = dono;
  in->sqlvar[2].sqldata = reinterpret_cast<char*>(&id);
  for (int i = 0; i < 3; ++i) {
    in->sqlvar[i].sqlind = &ind[i];
    in->sqlvar[i].sqltype = static_cast<ISC_SHORT>(in->sqlvar[i].sqltype | 1);
  }
  auto setVarying = [](char* buf, const std::string& s) {
    const auto n = static_cast<unsigned short>(s.size());
    std::memcpy(buf, &n, 2);
    std::memcpy(buf + 2, s.data(), n);
  };
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int i = 1; i <= 1000; ++i) {
      setVarying(idpag, std::to_string(round * 100000 + i));
      setVarying(dono, "Dono atualizado \xE7 " + std::to_string(i));
      id = i;
      b.lib.isc_dsql_execute(b.st, &b.tr, &stmt, 1, in);
      b.Check("execute");
      b.lib.isc_commit_retaining(b.st, &b.tr);
      b.Check("commit");
    }
  }
  b.lib.isc_dsql_free_statement(b.st, &stmt, DSQL_drop);
  std::free(in);
  std::free(out);
}

// Real time decides: the work is mostly waiting for the server. Repetitions
// run interleaved in random order (see main) and the medians are compared, so
// that a busy moment of the shared server does not land on one side only.
BENCHMARK(BM_Select10k_Bare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20)->Repetitions(7);
BENCHMARK(BM_Select10k_Layer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20)->Repetitions(7);
BENCHMARK(BM_Update1000_Bare)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);
BENCHMARK(BM_Update1000_Layer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

// Prints each layer benchmark's time over its bare loop's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& r : runs)
      if (!r.error_occurred && (r.run_type != Run::RT_Aggregate || r.aggregate_name == "median"))
        FTimes[r.run_name.function_name + (r.run_type == Run::RT_Aggregate ? "#median" : "")] = r.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* job : {"BM_Select10k", "BM_Update1000"}) {
      const auto bare = Find(std::string(job) + "_Bare");
      const auto layer = Find(std::string(job) + "_Layer");
      if (bare != FTimes.end() && layer != FTimes.end() && bare->second > 0)
        std::printf("%s (median): layer %.2f ms, bare %.2f ms, ratio %.3f\n", job, layer->second, bare->second,
                    layer->second / bare->second);
    }
  }

 private:
  // The median of the repetitions (or the single run).
  std::map<std::string, double>::const_iterator Find(const std::string& name) const {
    auto it = FTimes.find(name + "#median");
    return it != FTimes.end() ? it : FTimes.find(name);
  }
  std::map<std::string, double> FTimes;
};

}  // namespace
}  // namespace pagvigia

int main(int argc, char** argv) {
  bool forcedWrites = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--forced-writes") == 0)
      forcedWrites = true;
    else
      args.push_back(argv[i]);
  }
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  try {
    pagvigia::testing::FirebirdDb db(pagvigia::kSchema, "pagvigia-bench");
    // Both sides commit as often; without forced writes the figures show the
    // client-side cost instead of the shared disk's flush latency. Pass
    // --forced-writes to measure with them on.
    if (!forcedWrites) db.SetForcedWrites(false);
    pagvigia::theDb = &db;
    pagvigia::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    pagvigia::theDb = nullptr;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_db: %s\n", e.what());
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
