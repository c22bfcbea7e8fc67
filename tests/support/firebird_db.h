// A throwaway Firebird database for tests, on the real local server.
//
// The database is created by the command-line tool isql-fb as SYSDBA, in a
// fresh folder under /tmp that the server's own user can write, with the
// default character set ISO8859_1 (as the shop's database) unless another is
// asked for (shops' databases made with WIN1252 or NONE), and it is dropped
// (and its folder removed) when the object goes. The login the service uses
// (tests/support/firebird.env) is created on the server when missing.
//
// Needs the server started and its settings exported:
//   bash scripts/start-firebird.sh && . scripts/fb-env.sh
// (PAGVIGIA_FB_HOST and PAGVIGIA_FB_SYSDBA_PASSWORD). Without them, or when
// the server does not answer, the constructor throws std::runtime_error with a
// message that says what to do: a test that needs the server fails, it is
// never skipped.
//
// The tools run in the shell of the Linux machine (tests/support/host_shell.h),
// so the Windows build's test programs under Wine use the same databases;
// path() and folder() are the server's paths, HostPathForProgram() gives the
// test program's name for them.
//
// Scripts are sent as UTF-8 (isql's connection character set UTF8); the
// server stores them in the columns' own character set, so accented text in a
// script reaches ISO8859_1 columns intact. (Columns without a character set,
// NONE, take the UTF-8 bytes as they are: write the bytes a shop's program
// would have stored as a literal x'...' instead.)
#pragma once
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_text.h"
#include "tests/support/host_shell.h"

#ifndef PAGVIGIA_SHOP_SCHEMA
#error "link the target with pagvigia_test_support"
#endif

namespace pagvigia::testing {

// The server's host: PAGVIGIA_FB_HOST as scripts/fb-env.sh exports it, else
// the one of tests/support/firebird.env.
inline std::string FirebirdHost() {
  const char* host = std::getenv("PAGVIGIA_FB_HOST");
  return host && *host ? host : PAGVIGIA_FB_DEFAULT_HOST;
}

// The text of a file of the Linux machine that the build names; throws when
// it cannot be read.
inline std::string SupportFile(const std::string& linuxPath) {
  std::string text = SlurpFile(HostPathForProgram(linuxPath));
  if (text.empty()) throw std::runtime_error("cannot read " + linuxPath);
  return text;
}

// The shop's four tables (tests/e2e/schema.sql), as the end-to-end tests, the
// reconciliation tests, the benchmarks and the demo create them.
inline std::string ShopSchema() { return SupportFile(PAGVIGIA_SHOP_SCHEMA); }

// Bytes as the hexadecimal text isql prints for OCTETS (what a column holds,
// read through CAST(... AS VARCHAR(n) CHARACTER SET OCTETS)).
inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string h;
  for (const char c : bytes) {
    h += digits[static_cast<unsigned char>(c) >> 4];
    h += digits[static_cast<unsigned char>(c) & 15];
  }
  return h;
}

class FirebirdDb {
 public:
  // The login of the service's connection (tests/support/firebird.env).
  static constexpr const char* kUser = PAGVIGIA_FB_USER;
  static constexpr const char* kPassword = PAGVIGIA_FB_PASSWORD;

  // Creates the database. `schema`, when given, is run at once as SYSDBA and
  // the service's login is granted all rights on the tables it creates.
  explicit FirebirdDb(const std::string& schema = "", const std::string& prefix = "pagvigia-fb",
                      const std::string& charset = "ISO8859_1") {
    const char* host = std::getenv("PAGVIGIA_FB_HOST");
    const char* pw = std::getenv("PAGVIGIA_FB_SYSDBA_PASSWORD");
    if (!host || !*host || !pw || !*pw)
      throw std::runtime_error(
          "Firebird test database: PAGVIGIA_FB_HOST and PAGVIGIA_FB_SYSDBA_PASSWORD are not set; run "
          "`bash scripts/start-firebird.sh && . scripts/fb-env.sh` before the tests");
    FHost = host;
    FSysdbaPassword = pw;
    CheckServerAnswers();

    // The server process runs as the user "firebird" and must create the file.
    std::string made;
    if (RunHostShell("d=$(mktemp -d '/tmp/" + prefix + "-XXXXXX') || exit 1\n"
                     "if [ \"$(id -u)\" = 0 ] && id firebird >/dev/null 2>&1; then\n"
                     "  chown firebird:firebird \"$d\" || chmod 777 \"$d\"\n"
                     "else\n"
                     "  chmod 777 \"$d\"\n"
                     "fi\n"
                     "printf '%s' \"$d\"\n",
                     made) != 0 || made.empty() || made[0] != '/')
      throw std::runtime_error("Firebird test database: cannot make a folder under /tmp: " + made);
    FDir = made;
    FPath = FDir + "/test.fdb";

    std::string out;
    int rc = RunIsql("CREATE DATABASE '" + connectionString() + "' USER 'SYSDBA' PASSWORD '" + Quote(FSysdbaPassword) +
                         "' PAGE_SIZE 8192 DEFAULT CHARACTER SET " + charset + ";\nCOMMIT;\n",
                     out);
    if (rc != 0) {
      RemoveFolder();
      throw std::runtime_error("Firebird test database: CREATE DATABASE " + connectionString() + " failed:\n" + out);
    }
    FCreated = true;
    EnsureServiceUser();
    if (!schema.empty()) {
      Run(schema);
      GrantAll();
    }
  }

  ~FirebirdDb() {
    if (FCreated) {
      std::string out;
      // Fails while an attachment is still open; the file is removed below
      // anyway (the server keeps an unlinked file until it lets go).
      RunIsql(ConnectLine() + "DROP DATABASE;\n", out);
    }
    RemoveFolder();
  }
  FirebirdDb(const FirebirdDb&) = delete;
  FirebirdDb& operator=(const FirebirdDb&) = delete;

  // The server's host as the tests reach it ("127.0.0.1").
  const std::string& host() const { return FHost; }
  // The database file's path on the server.
  const std::string& path() const { return FPath; }
  // "host:path", the database string of a TCP/IP connection.
  std::string connectionString() const { return FHost + ":" + FPath; }
  const std::string& sysdbaPassword() const { return FSysdbaPassword; }
  // The folder that holds the database (writable by the server).
  const std::string& folder() const { return FDir; }

  // Runs a DDL/DML script (statements ended by ";", "SET TERM" allowed) as
  // SYSDBA and commits it. Throws std::runtime_error with isql's output when a
  // statement fails (the rest of the script is not run).
  void Run(const std::string& script) {
    std::string out;
    if (RunIsql(ConnectLine() + script + "\nCOMMIT;\n", out) != 0)
      throw std::runtime_error("Firebird test database: script failed:\n" + out + "\n--- script:\n" + script);
  }

  // Grants the service's login all rights on every table of the database (run after
  // creating tables outside the constructor's schema).
  void GrantAll() { Run(SupportFile(PAGVIGIA_GRANTS_SQL)); }

  // The result of a SELECT as isql prints it without headings: one line per
  // row (columns separated by isql's padding), right-trimmed, empty lines
  // dropped; NULL prints as "<null>". Text comes back as UTF-8.
  std::vector<std::string> Query(const std::string& select) {
    std::string out;
    std::string sql = select;
    while (!sql.empty() && (sql.back() == ';' || sql.back() == ' ' || sql.back() == '\n')) sql.pop_back();
    if (RunIsql(ConnectLine() + "SET HEADING OFF;\n" + sql + ";\n", out) != 0)
      throw std::runtime_error("Firebird test database: query failed:\n" + out + "\n--- query:\n" + select);
    std::vector<std::string> rows;
    std::size_t pos = 0;
    while (pos <= out.size()) {
      std::size_t nl = out.find('\n', pos);
      if (nl == std::string::npos) nl = out.size();
      std::string line = out.substr(pos, nl - pos);
      while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
      if (!line.empty()) rows.push_back(line);
      pos = nl + 1;
    }
    return rows;
  }

  // Switches forced (synchronous) writes of the database on or off with the
  // tool gfix. Benchmarks switch them off so that the disk-flush latency of a
  // shared machine does not drown what they measure; no attachment may be
  // open at the time.
  void SetForcedWrites(bool on) {
    // The login goes through the environment, not the command line.
    std::string out;
    if (RunHostShell("ISC_USER=SYSDBA ISC_PASSWORD=" + ShellQuote(FSysdbaPassword) + " gfix -write " +
                         (on ? "sync" : "async") + " " + ShellQuote(connectionString()) + "\n",
                     out) != 0)
      throw std::runtime_error("Firebird test database: gfix -write failed:\n" + out);
  }

  // The single value of a one-row, one-column SELECT (trimmed).
  std::string Scalar(const std::string& select) {
    auto rows = Query(select);
    if (rows.size() != 1) throw std::runtime_error("Firebird test database: expected one row from: " + select);
    std::string v = rows[0];
    std::size_t b = v.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : v.substr(b);
  }

 private:
  // A single-quoted word of the shell.
  static std::string ShellQuote(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
      if (c == '\'') r += "'\\''";
      else r += c;
    }
    return r + "'";
  }

  static std::string Quote(const std::string& s) {
    std::string r;
    for (char c : s) {
      if (c == '\'') r += '\'';
      r += c;
    }
    return r;
  }

  std::string ConnectLine() const {
    return "CONNECT '" + connectionString() + "' USER 'SYSDBA' PASSWORD '" + Quote(FSysdbaPassword) + "';\n";
  }

  void CheckServerAnswers() const {
    std::string h = FHost;
    std::string port = "3050";
    if (auto slash = h.find('/'); slash != std::string::npos) {
      port = h.substr(slash + 1);
      h = h.substr(0, slash);
    }
    // bash opens a TCP connection for a redirection from /dev/tcp/<host>/<port>.
    std::string out;
    if (RunHostShell("exec bash -c " + ShellQuote("exec 3<>/dev/tcp/" + h + "/" + port) + " 2>/dev/null\n", out) != 0)
      throw std::runtime_error("Firebird test database: the server does not answer on " + h + ":" + port +
                               "; start it with `bash scripts/start-firebird.sh`");
  }

  // Creates the service's login when the server does not have it yet. Tests
  // run in parallel may race for it: a failed attempt is retried after a look.
  void EnsureServiceUser() {
    const std::string script = ConnectLine() + SupportFile(PAGVIGIA_SERVICE_LOGIN_SQL);
    std::string out;
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (RunIsql(script, out) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    throw std::runtime_error(std::string("Firebird test database: cannot create the user ") + kUser + ":\n" + out);
  }

  // Runs isql-fb on a script file; returns its exit status, output in `out`.
  int RunIsql(const std::string& script, std::string& out) const {
    const std::string file = FDir + "/script-" + std::to_string(++FScripts) + ".sql";
    const std::string end = "PAGVIGIA_SQL_SCRIPT_END";
    const int st = RunHostShell("cat >" + ShellQuote(file) + " <<'" + end + "'\n" + script +
                                    (script.empty() || script.back() != '\n' ? "\n" : "") + end +
                                    "\n"
                                    "LC_ALL=C.UTF-8 isql-fb -q -b -ch UTF8 -i " +
                                    ShellQuote(file) + "\nst=$?\nrm -f " + ShellQuote(file) + "\nexit $st\n",
                                out);
    if (st == 127)
      throw std::runtime_error("Firebird test database: isql-fb not found (package firebird3.0-utils)");
    // isql -b reports a failed statement in its exit status; older tools do
    // not always, so its error lines count as well.
    if (st == 0 && out.find("Statement failed") == std::string::npos && out.find("SQLSTATE") == std::string::npos)
      return 0;
    return st != 0 ? st : 1;
  }

  void RemoveFolder() {
    if (FDir.empty()) return;
    std::string out;
    RunHostShell("rm -rf " + ShellQuote(FDir) + "\n", out);
    FDir.clear();
  }

  std::string FHost;
  std::string FSysdbaPassword;
  std::string FDir;
  std::string FPath;
  bool FCreated = false;
  mutable int FScripts = 0;
};

}  // namespace pagvigia::testing
