// The Windows build without the client library: neither beside the program
// nor on the system's search path. A cycle logs the connection failure with
// the Windows file names it tried, in the order of the message, and what to
// do; it could not run, so -once exits 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/e2e/e2e_support.h"

namespace pagvigia::testing {
namespace {

TEST(BibliotecaCliente, WithoutTheClientLibraryACycleLogsTheWindowsNamesItTried) {
  if (!ProgramUnderTest::UnderWine())
    GTEST_SKIP() << "the Linux client library is installed system-wide here; this runs for the Windows build";
  Instalacao inst;
  Transacao t;
  inst.Inserir(t);
  std::filesystem::remove(inst.dir() + "/fbclient.dll");
  // Wine finds the thunk through WINEDLLPATH as well: the child goes without.
  const std::string dllPath = std::getenv("WINEDLLPATH") ? std::getenv("WINEDLLPATH") : "";
  ::unsetenv("WINEDLLPATH");
  const int rc = inst.RodarUmCiclo();
  ::setenv("WINEDLLPATH", dllPath.c_str(), 1);
  EXPECT_EQ(rc, 1) << inst.Saidas();
  EXPECT_EQ(inst.ServiceLogMessages(),
            std::vector<std::string>{"Conexão do Banco: Unable to load client library: fbclient.dll or fbembed.dll or "
                                     "gds32.dll or ibtogo.dll — Instale a biblioteca cliente do Firebird (pacote "
                                     "libfbclient2 no Debian, fbclient.dll no Windows)"});
  EXPECT_EQ(inst.IntegradorLog(), "");
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
}

}  // namespace
}  // namespace pagvigia::testing
