// The pagvigia executable copied into a folder of its own: "INSTALL" and
// "UNINSTALL" (with "SILENT") on a temporary unit folder, "ONCE", and the
// plain start driven by signals with the systemd notify protocol.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/child_process.h"
#include "tests/support/firebird_db.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace pagvigia {
namespace {

using namespace std::chrono_literals;

struct Result {
  int status = -1;
  std::string out, err;
};

class ExecutableTest : public ::testing::Test {
 protected:
  ExecutableTest() {
    FExe = FDir / "pagvigia";
    platform::WriteFileBytes(FExe, platform::ReadFileBytes(PAGVIGIA_EXE));
    ::chmod(FExe.c_str(), 0755);
    platform::ForceDirectories(FDir / "units");
    // A database server that refuses at once: every cycle writes one line.
    Write("Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1/1\r\nCaminho=/x/GESTALO.FDB\r\n");
    Write("Pagvigia.ini", "[Caixa]\r\nPasta=" + FDir.path() + "\r\n[Integrador]\r\nPastaInput=" +
                              (FDir / "in") + "\r\nPastaOutput=" + (FDir / "out") + "\r\n");
  }

  void Write(const std::string& name, const std::string& bytes) { platform::WriteFileBytes(FDir / name, bytes); }

  std::vector<std::string> Env(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      // Neither this run's systemd (were the tests started by it) nor its notify socket.
      if (v.rfind("NOTIFY_SOCKET=", 0) == 0 || v.rfind("PAGVIGIA_SYSTEMD_UNIT_DIR=", 0) == 0 ||
          v.rfind("PAGVIGIA_SYSTEMCTL=", 0) == 0 || v.rfind("JOURNAL_STREAM=", 0) == 0 ||
          v.rfind("INVOCATION_ID=", 0) == 0)
        continue;
      env.push_back(v);
    }
    env.push_back("PAGVIGIA_SYSTEMD_UNIT_DIR=" + (FDir / "units"));
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
  }

  // Starts the executable (from another working folder) with its output in files.
  std::unique_ptr<testing::ChildProcess> Start(const std::vector<std::string>& args,
                                               const std::vector<std::string>& extraEnv = {}) {
    return std::make_unique<testing::ChildProcess>(
        FExe, args, testing::ChildOptions().In("/").Output(FDir / "stdout", FDir / "stderr").Environment(Env(extraEnv)));
  }
  Result Wait(testing::ChildProcess& p) {
    const int code = p.Wait();
    Result r;
    r.status = code >= 0 ? code : 128 - code;
    r.out = platform::ReadFileBytes(FDir / "stdout");
    r.err = platform::ReadFileBytes(FDir / "stderr");
    return r;
  }
  Result Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
    return Wait(*Start(args, extraEnv));
  }
  std::size_t Entries() {
    if (!platform::FileExists(FDir / "Pagvigia.log")) return 0;
    static const std::regex entry(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - Conexão do Banco: .*)");
    std::size_t n = 0;
    for (const std::string& line : platform::ReadTextLines(FDir / "Pagvigia.log"))
      n += std::regex_match(line, entry) ? 1 : 0;
    return n;
  }
  // Waits (20 s at most) for the log to hold `n` connection entries.
  std::size_t WaitEntries(std::size_t n) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (Entries() < n && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    return Entries();
  }
  void PlantLogs() {
    Write("Pagvigia.log", "old\r\n");
    Write("Pagvigia_Integrador.log", "old\r\n");
  }
  bool LogsGone() {
    return !platform::PathExists(FDir / "Pagvigia.log") && !platform::PathExists(FDir / "Pagvigia_Integrador.log");
  }

  testing::TempDir FDir;
  std::string FExe;
};

TEST_F(ExecutableTest, InstallAndUninstallWriteAndRemoveTheUnitAndDeleteBothLogs) {
  PlantLogs();
  Result r = Run({"/INSTALL"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Service installed successfully\n");
  EXPECT_TRUE(LogsGone());
  const std::string unit = platform::ReadFileBytes(FDir / "units/SrvPagvigia.service");
  EXPECT_NE(unit.find("Description=Pagvigia\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("ExecStart=" + FExe + "\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("Restart=no\n"), std::string::npos) << unit;
  // A stop waits for the exchange in flight: its 30 s limit and a margin.
  EXPECT_NE(unit.find("TimeoutStopSec=60\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos) << unit;

  // Installing twice fails, also when silent, with the display name.
  r = Run({"-install", "-silent"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("\"Pagvigia\""), std::string::npos) << r.err;

  PlantLogs();
  r = Run({"--Uninstall", "/SILENT"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(LogsGone());
  EXPECT_FALSE(platform::PathExists(FDir / "units/SrvPagvigia.service"));

  r = Run({"-UNINSTALL"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("\"Pagvigia\""), std::string::npos) << r.err;
}

TEST_F(ExecutableTest, OnceRunsOneCycleAtOnceKeepsTheLogsAndReportsWhatWentWrong) {
  // No connection: the cycle could not do its work. Standard error shows the
  // entry the cycle logged, on one line with what to do, and the summary.
  PlantLogs();
  Result r = Run({"-ONCE"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Entries(), 1u);
  EXPECT_EQ(platform::ReadFileBytes(FDir / "Pagvigia.log").rfind("old\r\n", 0), 0u);
  EXPECT_EQ(platform::ReadFileBytes(FDir / "Pagvigia_Integrador.log"), "old\r\n");
  static const std::regex once(
      R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - Conexão do Banco: [^\n]+ — Verifique se o Firebird está rodando nessa )"
      R"(máquina, se a porta 1 está liberada e Servidor no Gestalo.ini\nÚltimo ciclo \d\d:\d\d:\d\d: sem conexão com o )"
      R"(banco\n)");
  EXPECT_TRUE(std::regex_match(r.err, once)) << r.err;
  EXPECT_EQ(r.err.find("ISC ERROR"), std::string::npos) << r.err;

  // A database without the shop's tables: the cycle's failure escapes, and
  // its summary names it.
  testing::FirebirdDb db;
  Write("Gestalo.ini", "[Gestalo]\r\nServidor=" + db.host() + "\r\nCaminho=" + db.path() + "\r\n");
  r = Run({"/once"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Último ciclo ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("; interrompido: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("PADRAO"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("ISC ERROR"), std::string::npos) << r.err;
  EXPECT_EQ(Entries(), 1u);  // the first run's, kept; this one wrote none
}

// Switches that start no job answer at once and leave the logs; a word the
// program does not know never starts the service.
TEST_F(ExecutableTest, HelpVersionAndUnknownWordsAnswerAtOnceAndKeepTheLogs) {
  struct Caso {
    std::vector<std::string> args;
    int status;
    const char* out;  // start of standard output
    const char* err;  // start of standard error
  };
  const Caso casos[] = {
      {{"-h"}, 0, "Uso: pagvigia [opção]\n", ""},
      {{"--help"}, 0, "Uso: ", ""},
      {{"/?"}, 0, "Uso: ", ""},
      {{"--version"}, 0, "Pagvigia 1.0.0 (Linux ", ""},
      {{"-VERSAO", "-once"}, 0, "Pagvigia ", ""},
      {{"-linhas", "5"}, 2, "", "Pagvigia: opção desconhecida: -linhas\nUso: pagvigia [opção]\n"},
      {{"once"}, 2, "", "Pagvigia: argumento desconhecido: once\nUso: "},
      {{"-linha"}, 2, "",
       "Pagvigia: -linha pede o número da linha (MFE_IDENTIFICADORINTERNO), um inteiro positivo\nUso: "},
      {{"/LINHA", "0"}, 2, "", "Pagvigia: /LINHA pede o número da linha (MFE_IDENTIFICADORINTERNO), um inteiro "
                               "positivo, não \"0\"\nUso: "},
      {{"-linha", "5x"}, 2, "", "Pagvigia: -linha pede o número da linha (MFE_IDENTIFICADORINTERNO), um inteiro "
                                "positivo, não \"5x\"\nUso: "},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.args[0]);
    PlantLogs();
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    EXPECT_EQ(platform::ReadFileBytes(FDir / "Pagvigia.log"), "old\r\n");
    EXPECT_EQ(platform::ReadFileBytes(FDir / "Pagvigia_Integrador.log"), "old\r\n");
  }
}

// A datagram socket standing in for systemd's NOTIFY_SOCKET.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) {
    FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    EXPECT_EQ(::bind(FFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    timeval tv{10, 0};
    ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~NotifySocket() { ::close(FFd); }
  // The next message other than a cycle's summary ("STATUS=Último ciclo ..."),
  // which comes after every cycle and is counted in `summaries`.
  std::string Next() {
    for (;;) {
      char buf[512];
      const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
      if (n <= 0) return "(nothing)";
      std::string m(buf, static_cast<std::size_t>(n));
      if (m.rfind("STATUS=Último ciclo ", 0) != 0) return m;
      ++summaries;
    }
  }
  int summaries = 0;

 private:
  int FFd;
};

TEST_F(ExecutableTest, PlainStartCyclesUntilSigtermAndPausingOnlyChangesTheReportedState) {
  Write("Pagvigia.ini", "[Servico]\r\nIntervalo=20\r\n[Caixa]\r\nPasta=" + FDir.path() + "\r\n");
  NotifySocket notify(FDir / "notify");
  const auto p = Start({}, {"NOTIFY_SOCKET=" + (FDir / "notify")});
  EXPECT_EQ(notify.Next(), "STATUS=Starting");
  EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=Running");
  EXPECT_GE(WaitEntries(2), 2u);
  p->Signal(SIGUSR1);
  EXPECT_EQ(notify.Next(), "STATUS=Paused");
  const std::size_t atPause = Entries();
  EXPECT_GE(WaitEntries(atPause + 2), atPause + 2);  // still cycling
  p->Signal(SIGUSR2);
  EXPECT_EQ(notify.Next(), "STATUS=Running");
  p->Signal(SIGTERM);
  EXPECT_EQ(notify.Next(), "STOPPING=1\nSTATUS=Stopping");
  EXPECT_EQ(notify.Next(), "STATUS=Stopped");
  EXPECT_GE(notify.summaries, 2);
  const Result r = Wait(*p);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_F(ExecutableTest, ASecondInstanceInTheSameFolderRefusesToStartAndLeavesTheLogsAlone) {
  NotifySocket notify(FDir / "notify");
  const auto first = Start({}, {"NOTIFY_SOCKET=" + (FDir / "notify")});
  EXPECT_EQ(notify.Next(), "STATUS=Starting");
  EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=Running");  // no cycle for a minute
  PlantLogs();
  const std::vector<std::string> second[] = {{"-ONCE"}, {}};
  for (const auto& args : second) {
    SCOPED_TRACE(args.empty() ? "service" : args[0]);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Pagvigia: outra cópia já está rodando a partir de " + platform::ExtractFilePath(FExe) + "\n");
    EXPECT_EQ(platform::ReadFileBytes(FDir / "Pagvigia.log"), "old\r\n");
    EXPECT_EQ(platform::ReadFileBytes(FDir / "Pagvigia_Integrador.log"), "old\r\n");
  }
  first->Signal(SIGTERM);
  EXPECT_EQ(Wait(*first).status, 0);
  // The lock went with the first process: the next start runs (and finds no
  // database).
  const Result r = Run({"-ONCE"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Entries(), 1u);
}

// Under systemd every entry also goes to the journal (standard error, each
// line with its priority); the logs and the last cycle's state are created
// for their owner and the service's group only.
TEST_F(ExecutableTest, UnderSystemdEveryEntryAlsoGoesToTheJournalAndTheFilesArePrivate) {
  Write("Pagvigia.ini", "[Servico]\r\nIntervalo=20\r\n[Caixa]\r\nPasta=" + FDir.path() + "\r\n");
  NotifySocket notify(FDir / "notify");
  const auto p = Start({}, {"NOTIFY_SOCKET=" + (FDir / "notify"), "INVOCATION_ID=5f1c2a"});
  EXPECT_EQ(notify.Next(), "STATUS=Starting");
  EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=Running");
  EXPECT_GE(WaitEntries(2), 2u);
  p->Signal(SIGTERM);
  const Result r = Wait(*p);
  EXPECT_EQ(r.status, 0) << r.err;
  std::size_t lines = 0;
  for (const std::string& line : platform::SplitLines(r.err)) {
    ++lines;
    EXPECT_EQ(line.rfind("<3>Conexão do Banco: ", 0), 0u) << line;
  }
  EXPECT_EQ(lines, Entries());
  for (const char* name : {"Pagvigia.log", "Pagvigia_UltimoCiclo.txt"}) {
    struct stat st {};
    ASSERT_EQ(::stat((FDir / name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0640u) << name;
  }
}

TEST_F(ExecutableTest, SigintStopsAsSigtermDoes) {
  // The signal goes once the service says it runs (its handlers are in
  // place), however slowly it starts.
  NotifySocket notify(FDir / "notify");
  const auto p = Start({}, {"NOTIFY_SOCKET=" + (FDir / "notify")});
  EXPECT_EQ(notify.Next(), "STATUS=Starting");
  EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=Running");
  p->Signal(SIGINT);
  const Result r = Wait(*p);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Entries(), 0u);  // stopped within the first minute: no cycle at all
}

}  // namespace
}  // namespace pagvigia
