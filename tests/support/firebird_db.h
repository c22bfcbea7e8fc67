// A throwaway Firebird database for tests, on the real local server.
//
// The database is created by the command-line tool isql-fb as SYSDBA, in a
// fresh folder under /tmp that the server's own user can write, with the
// default character set ISO8859_1 (as the shop's database), and it is dropped
// (and its folder removed) when the object goes. The login the service uses,
// USUARIO with the password "quorix", is created on the server when missing.
//
// Needs the server started and its settings exported:
//   bash scripts/start-firebird.sh && . scripts/fb-env.sh
// (PAGVIGIA_FB_HOST and PAGVIGIA_FB_SYSDBA_PASSWORD). Without them, or when
// the server does not answer, the constructor throws std::runtime_error with a
// message that says what to do: a test that needs the server fails, it is
// never skipped.
//
// Scripts are sent as UTF-8 (isql's connection character set UTF8); the
// server stores them in the columns' own character set, so accented text in a
// script reaches ISO8859_1 columns intact.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pagvigia::testing {

class FirebirdDb {
 public:
  // The login of the service's connection.
  static constexpr const char* kUser = "USUARIO";
  static constexpr const char* kPassword = "quorix";

  // Creates the database. `schema`, when given, is run at once as SYSDBA and
  // USUARIO is granted all rights on the tables it creates.
  explicit FirebirdDb(const std::string& schema = "", const std::string& prefix = "pagvigia-fb") {
    const char* host = std::getenv("PAGVIGIA_FB_HOST");
    const char* pw = std::getenv("PAGVIGIA_FB_SYSDBA_PASSWORD");
    if (!host || !*host || !pw || !*pw)
      throw std::runtime_error(
          "Firebird test database: PAGVIGIA_FB_HOST and PAGVIGIA_FB_SYSDBA_PASSWORD are not set; run "
          "`bash scripts/start-firebird.sh && . scripts/fb-env.sh` before the tests");
    host_ = host;
    sysdbaPassword_ = pw;
    CheckServerAnswers();

    std::string tmpl = "/tmp/" + prefix + "-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("Firebird test database: mkdtemp failed");
    dir_ = tmpl;
    // The server process runs as the user "firebird" and must create the file.
    if (struct passwd* fb = ::getpwnam("firebird"); fb && ::geteuid() == 0) {
      if (::chown(dir_.c_str(), fb->pw_uid, fb->pw_gid) != 0) ::chmod(dir_.c_str(), 0777);
    } else {
      ::chmod(dir_.c_str(), 0777);
    }
    path_ = dir_ + "/test.fdb";

    std::string out;
    int rc = RunIsql("CREATE DATABASE '" + connectionString() + "' USER 'SYSDBA' PASSWORD '" + Quote(sysdbaPassword_) +
                         "' PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;\nCOMMIT;\n",
                     out);
    if (rc != 0) {
      RemoveFolder();
      throw std::runtime_error("Firebird test database: CREATE DATABASE " + connectionString() + " failed:\n" + out);
    }
    created_ = true;
    EnsureServiceUser();
    if (!schema.empty()) {
      Run(schema);
      GrantAll();
    }
  }

  ~FirebirdDb() {
    if (created_) {
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
  const std::string& host() const { return host_; }
  // The database file's path on the server.
  const std::string& path() const { return path_; }
  // "host:path", the database string of a TCP/IP connection.
  std::string connectionString() const { return host_ + ":" + path_; }
  const std::string& sysdbaPassword() const { return sysdbaPassword_; }
  // The folder that holds the database (writable by the server).
  const std::string& folder() const { return dir_; }

  // Runs a DDL/DML script (statements ended by ";", "SET TERM" allowed) as
  // SYSDBA and commits it. Throws std::runtime_error with isql's output when a
  // statement fails (the rest of the script is not run).
  void Run(const std::string& script) {
    std::string out;
    if (RunIsql(ConnectLine() + script + "\nCOMMIT;\n", out) != 0)
      throw std::runtime_error("Firebird test database: script failed:\n" + out + "\n--- script:\n" + script);
  }

  // Grants USUARIO all rights on every table of the database (run after
  // creating tables outside the constructor's schema).
  void GrantAll() {
    Run(std::string("SET TERM ^;\n") +
        "EXECUTE BLOCK AS DECLARE n VARCHAR(63); BEGIN\n"
        "  FOR SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS\n"
        "      WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 INTO :n DO\n"
        "    EXECUTE STATEMENT 'GRANT ALL ON \"' || n || '\" TO " +
        kUser +
        "';\n"
        "END^\n"
        "SET TERM ;^\n");
  }

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
    ::setenv("ISC_USER", "SYSDBA", 1);
    ::setenv("ISC_PASSWORD", sysdbaPassword_.c_str(), 1);
    const std::string cmd = std::string("gfix -write ") + (on ? "sync" : "async") + " '" + connectionString() + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    if (p) {
      char buf[512];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    }
    const int st = p ? ::pclose(p) : -1;
    ::unsetenv("ISC_USER");
    ::unsetenv("ISC_PASSWORD");
    if (st != 0) throw std::runtime_error("Firebird test database: gfix -write failed:\n" + out);
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
  static std::string Quote(const std::string& s) {
    std::string r;
    for (char c : s) {
      if (c == '\'') r += '\'';
      r += c;
    }
    return r;
  }

  std::string ConnectLine() const {
    return "CONNECT '" + connectionString() + "' USER 'SYSDBA' PASSWORD '" + Quote(sysdbaPassword_) + "';\n";
  }

  void CheckServerAnswers() const {
    std::string h = host_;
    std::string port = "3050";
    if (auto slash = h.find('/'); slash != std::string::npos) {
      port = h.substr(slash + 1);
      h = h.substr(0, slash);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(h.c_str(), port.c_str(), &hints, &res) != 0 || !res)
      throw std::runtime_error("Firebird test database: cannot resolve PAGVIGIA_FB_HOST " + host_);
    bool ok = false;
    for (addrinfo* a = res; a && !ok; a = a->ai_next) {
      int s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (s < 0) continue;
      ok = ::connect(s, a->ai_addr, a->ai_addrlen) == 0;
      ::close(s);
    }
    ::freeaddrinfo(res);
    if (!ok)
      throw std::runtime_error("Firebird test database: the server does not answer on " + h + ":" + port +
                               "; start it with `bash scripts/start-firebird.sh`");
  }

  // Creates the service's login when the server does not have it yet. Tests
  // run in parallel may race for it: a failed attempt is retried after a look.
  void EnsureServiceUser() {
    const std::string script = ConnectLine() +
                               "SET TERM ^;\n"
                               "EXECUTE BLOCK AS BEGIN\n"
                               "  IF (NOT EXISTS(SELECT 1 FROM SEC$USERS WHERE SEC$USER_NAME = '" +
                               kUser +
                               "')) THEN\n"
                               "    EXECUTE STATEMENT 'CREATE USER " +
                               kUser + " PASSWORD ''" + kPassword +
                               "''';\n"
                               "END^\n"
                               "SET TERM ;^\n"
                               "COMMIT;\n";
    std::string out;
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (RunIsql(script, out) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    throw std::runtime_error(std::string("Firebird test database: cannot create the user ") + kUser + ":\n" + out);
  }

  // Runs isql-fb on a script file; returns its exit status, output in `out`.
  int RunIsql(const std::string& script, std::string& out) const {
    out.clear();
    const std::string file = dir_ + "/script-" + std::to_string(++scripts_) + ".sql";
    {
      int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd < 0) throw std::runtime_error("Firebird test database: cannot write " + file);
      std::size_t done = 0;
      while (done < script.size()) {
        ssize_t n = ::write(fd, script.data() + done, script.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    }
    const std::string cmd = "isql-fb -q -b -ch UTF8 -i '" + file + "' 2>&1 </dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("Firebird test database: cannot run isql-fb");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = ::pclose(p);
    ::unlink(file.c_str());
    if (st == -1) return -1;
    if (WIFEXITED(st) && WEXITSTATUS(st) == 127)
      throw std::runtime_error("Firebird test database: isql-fb not found (package firebird3.0-utils)");
    // isql -b reports a failed statement in its exit status; older tools do
    // not always, so its error lines count as well.
    if (WIFEXITED(st) && WEXITSTATUS(st) == 0 && out.find("Statement failed") == std::string::npos &&
        out.find("SQLSTATE") == std::string::npos)
      return 0;
    return WIFEXITED(st) && WEXITSTATUS(st) != 0 ? WEXITSTATUS(st) : 1;
  }

  void RemoveFolder() {
    if (dir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }

  std::string host_;
  std::string sysdbaPassword_;
  std::string dir_;
  std::string path_;
  bool created_ = false;
  mutable int scripts_ = 0;
};

}  // namespace pagvigia::testing
