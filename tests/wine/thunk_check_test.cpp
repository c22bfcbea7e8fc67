// The Wine client-library thunk: a Windows program loads "fbclient.dll" under
// Wine, attaches to a throwaway database on the real server, runs a statement
// in a transaction and reads the texts of a failing statement through
// fb_interpret.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/firebird_db.h"

namespace pagvigia::testing {
namespace {

// Runs the check program under Wine; returns its exit status and output (its
// standard output is in text mode: CR LF line ends come back as LF).
int RunCheck(const std::string& database, const std::string& user, const std::string& password,
             std::string& out) {
  const std::string wineDir = PAGVIGIA_WINE_DIR;
  const std::string cmd = "WINEPREFIX='" + wineDir + "/prefix' WINEDEBUG=-all WINEDLLPATH='" + wineDir + "' '" +
                          PAGVIGIA_WINE + "' '" + PAGVIGIA_THUNK_CHECK_EXE + "' '" + database + "' '" + user +
                          "' '" + password + "' 2>&1 </dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = ::pclose(p);
  std::erase(out, '\r');
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
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
