// The Wine client-library thunk: a Windows program loads "fbclient.dll" under
// Wine, attaches to a throwaway database on the real server, runs a statement
// in a transaction and reads the texts of a failing statement through
// fb_interpret.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/firebird_db.h"
#include "tests/support/temp_dir.h"

namespace pagvigia::testing {
namespace {

// Runs the check program under Wine; returns its exit status and output (its
// standard output is in text mode: CR LF line ends come back as LF).
int RunCheck(const std::string& database, const std::string& user, const std::string& password,
             std::string& out) {
  const std::string wineDir = PAGVIGIA_WINE_DIR;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string v = *e;
    if (v.rfind("WINEPREFIX=", 0) != 0 && v.rfind("WINEDEBUG=", 0) != 0 && v.rfind("WINEDLLPATH=", 0) != 0)
      env.push_back(v);
  }
  env.insert(env.end(), {"WINEPREFIX=" + wineDir + "/prefix", "WINEDEBUG=-all", "WINEDLLPATH=" + wineDir});
  TempDir dir("pagvigia-thunk");
  const int st = RunProgram(PAGVIGIA_WINE, {PAGVIGIA_THUNK_CHECK_EXE, database, user, password}, dir / "out", out, env);
  std::erase(out, '\r');
  return st >= 0 ? st : -1;
}

TEST(WineThunk, AttachesRunsAStatementAndInterpretsErrors) {
  FirebirdDb db;
  std::string out;
  EXPECT_EQ(RunCheck(db.connectionString(), FirebirdDb::kUser, FirebirdDb::kPassword, out), 0) << out;
  EXPECT_EQ(out,
            "loaded fbclient.dll\n"
            "attached\n"
            "transaction started\n"
            "result 42 (columns 1, type 496)\n"
            "bad statement failed: [Dynamic SQL Error] [SQL error code = -206] [Column unknown] "
            "[NO_SUCH_COLUMN] [At line 1, column 8]\n"
            "sqlcode -206\n"
            "detached\n");
}

TEST(WineThunk, AFailedLoginComesBackAsAStatus) {
  FirebirdDb db;
  std::string out;
  EXPECT_EQ(RunCheck(db.connectionString(), FirebirdDb::kUser, "wrong", out), 1) << out;
  EXPECT_EQ(out,
            "loaded fbclient.dll\n"
            "attach failed: [Your user name and password are not defined. Ask your database administrator to "
            "set up a Firebird login.]\n");
}

}  // namespace
}  // namespace pagvigia::testing
