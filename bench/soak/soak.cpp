// Soak run: the service's polling cycle (TSrvPagvigia::Timer1Timer) run back
// to back, 1,000 times by default, against the real Firebird server and the
// Integrador simulator, watching the process's resident memory and open file
// descriptors.
//
// Every cycle does the full work of one "TEF" row: it connects, opens the
// three cursors, submits the payment (accepted) and writes its id, sends the
// payment status (rejected, so one service-log entry with the request XML),
// closes everything and disconnects. A trigger puts the row back to pending
// after each update, so that every cycle finds the same work.
//
//   bash scripts/start-firebird.sh && . scripts/fb-env.sh
//   build/release/bench/soak/bench_soak [cycles] [--accept-all]
//
// With --accept-all the status is accepted and written too (the trigger puts
// it back, so the fiscal response still waits for it): the same two exchanges
// and no service-log entry per cycle, which shows the resident size without
// the growing log being re-read for every entry.
//
// Prints one line every 100 cycles and exits 1 when the live heap or the
// descriptors kept growing after the warm-up (the first 100 cycles); the
// resident size is shown beside them.
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "service/srv_pagvigia.h"
#include "tests/support/firebird_db.h"
#include "tests/support/integrador_sim.h"
#include "tests/support/temp_dir.h"

namespace {

long RssKb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes of heap in use (live allocations), unlike the resident size, which
// also keeps the high-water mark of the buffers that read the growing logs.
long HeapKb() { return static_cast<long>(mallinfo2().uordblks / 1024); }

int OpenFds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n - 1;  // the listing's own descriptor
}

long FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<long>(in.tellg()) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pagvigia;
  const int ciclos = argc > 1 ? std::atoi(argv[1]) : 1000;
  const bool aceitarTudo = argc > 2 && std::string(argv[2]) == "--accept-all";
  if (ciclos < 200) {
    std::fprintf(stderr, "usage: bench_soak [cycles >= 200] [--accept-all]\n");
    return 2;
  }
  testing::FirebirdDb db(testing::ShopSchema() +
                         "INSERT INTO PADRAO (CODIGO, CGC) VALUES (1, '08.723.218/0001-86');\n"
                         "INSERT INTO MSAUT (CAIXA, MFE_CHAVEACESSOINTEGRADOR) VALUES (1, 'CHAVE');\n"
                         "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, "
                         "MFE_CODAUTORIZACAO, MFE_VALORPAGAMENTO, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT) VALUES "
                         "(1, 1, 'TEF', 'AUT1', 12.34, '1', '<CFe/>', 'CFe1');\n"
                         "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, "
                         "MFE_IDPAGAMENTO, MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT) VALUES "
                         "(2, 1, 'TEF', NULL, '2', '<CFe/>', 'CFe2');\n"
                         "SET TERM ^;\n"
                         "CREATE TRIGGER SOAK_PENDENTE FOR MFE_TRANSACAO_CARTOES BEFORE UPDATE AS BEGIN\n"
                         "  NEW.MFE_IDPAGAMENTO = '0'; NEW.MFE_IDSTATUSVALIDADOR = '0'; NEW.MFE_IDRESPOSTAFISCAL = '0';\n"
                         "END^\n"
                         "SET TERM ;^\n");
  testing::TempDir dir("pagvigia-soak");
  std::ofstream(dir / "Gestalo.ini") << "[Gestalo]\nServidor=" << db.host() << "\nCaminho=" << db.path() << "\n";
  std::ofstream(dir / "ConfCaixa.ini") << "[Caixa]\nIdCaixa=1\n";
  testing::IntegradorSim sim(dir / "in", dir / "out",
                             {"--poll-ms", "1", "--method", "EnviarStatusPagamento", "--code", aceitarTudo ? "AP" : "EE"});

  TSrvPagvigiaOptions opts;
  opts.ExeDir = dir.withDelim();
  TServiceSettings s;
  s.PastaInput = dir / "in";
  s.PastaOutput = dir / "out";
  s.PastaCaixa = dir.withDelim();
  opts.Settings = s;
  std::string falha;
  opts.OnCycleException = [&](const std::string& m) { falha = m; };
  TSrvPagvigia srv(opts);

  std::printf("%8s %10s %10s %6s %12s %12s %10s\n", "cycle", "rss_kb", "heap_kb", "fds", "log_bytes", "ilog_bytes",
              "elapsed_s");
  const auto t0 = std::chrono::steady_clock::now();
  long rssAquecido = 0, rssMax = 0, heapAquecido = 0, heapMax = 0;
  int fdsAquecido = 0, fdsMax = 0, falhas = 0;
  for (int i = 1; i <= ciclos; ++i) {
    try {
      srv.Timer1Timer();
    } catch (const std::exception& e) {
      ++falhas;
      std::fprintf(stderr, "cycle %d: %s\n", i, e.what());
    }
    const long rss = RssKb(), heap = HeapKb();
    const int fds = OpenFds();
    if (i == 100) {
      rssAquecido = rss;
      heapAquecido = heap;
      fdsAquecido = fds;
    }
    if (i >= 100) {
      rssMax = std::max(rssMax, rss);
      heapMax = std::max(heapMax, heap);
      fdsMax = std::max(fdsMax, fds);
    }
    if (i == 1 || i == 10 || i % 100 == 0) {
      const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      std::printf("%8d %10ld %10ld %6d %12ld %12ld %10.1f\n", i, rss, heap, fds, FileSize(srv.ArquivoLog()),
                  FileSize(dir / "Pagvigia_Integrador.log"), s);
      std::fflush(stdout);
    }
  }
  const auto cmds = sim.Commands().size();
  const int porCiclo = 2;
  std::printf("commands received by the simulator: %zu (expected %d)\n", cmds, porCiclo * ciclos);
  std::printf("cycles that raised: %d\n", falhas);
  std::printf("resident memory after warm-up: %ld KB at cycle 100, at most %ld KB afterwards (+%ld KB)\n",
              rssAquecido, rssMax, rssMax - rssAquecido);
  std::printf("heap in use after warm-up: %ld KB at cycle 100, at most %ld KB afterwards (+%ld KB)\n", heapAquecido,
              heapMax, heapMax - heapAquecido);
  std::printf("open descriptors after warm-up: %d at cycle 100, at most %d afterwards\n", fdsAquecido, fdsMax);
  // Flat: live heap within 64 KB of the warm-up level (the service log, which
  // grows by one entry per cycle, is read whole for every entry), and not one
  // descriptor more.
  const bool plano = heapMax - heapAquecido <= 64 && fdsMax == fdsAquecido;
  std::printf("%s\n", plano ? "flat" : "GROWING");
  return plano && falhas == 0 && cmds == static_cast<std::size_t>(porCiclo * ciclos) ? 0 : 1;
}
