// A child process for tests and benchmarks: a program started with its own
// arguments, standard input from /dev/null and standard output and error in
// files, optionally in another working folder and with another environment.
// The one way the tests start programs (the built executable, the Integrador
// simulator, the server's command-line tools).
//
//   ChildProcess p(exe, {"-once"}, ChildOptions().In(dir).Output(dir + "/out", dir + "/err"));
//   if (!p.Wait(std::chrono::seconds(30))) ...   // still running
//   p.ExitCode();                                 // exit status, or -signal
//
// A process still running when the object goes is killed (SIGKILL) and
// reaped. Not thread-safe: one thread owns the object.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_text.h"

extern char** environ;

namespace pagvigia::testing {

struct ChildOptions {
  // Working folder of the child; empty: the caller's.
  std::string cwd;
  // Files that receive standard output and standard error (created or
  // truncated). An empty errFile sends standard error to outFile as well.
  std::string outFile = "/dev/null";
  std::string errFile = "/dev/null";
  // The child's whole environment ("NAME=value"); unset: the caller's.
  std::optional<std::vector<std::string>> env;
  // Looks a program name without "/" up in PATH.
  bool searchPath = false;
  // The signal of RequestStop().
  int stopSignal = SIGTERM;

  ChildOptions& In(std::string folder) {
    cwd = std::move(folder);
    return *this;
  }
  ChildOptions& Output(std::string out, std::string err) {
    outFile = std::move(out);
    errFile = std::move(err);
    return *this;
  }
  ChildOptions& Environment(std::vector<std::string> all) {
    env = std::move(all);
    return *this;
  }
};

class ChildProcess {
 public:
  // Starts `exe` with `args`; throws std::runtime_error when it cannot start
  // (a program that is not there included).
  ChildProcess(const std::string& exe, const std::vector<std::string>& args, const ChildOptions& options = {}) {
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<std::string> env = options.env.value_or(std::vector<std::string>{});
    std::vector<char*> cenv;
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, options.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (options.errFile.empty())
      posix_spawn_file_actions_adddup2(&fa, 1, 2);
    else
      posix_spawn_file_actions_addopen(&fa, 2, options.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, options.cwd.c_str());
    char** envp = options.env ? cenv.data() : environ;
    const int rc = options.searchPath ? posix_spawnp(&FPid, exe.c_str(), &fa, nullptr, cargv.data(), envp)
                                      : posix_spawn(&FPid, exe.c_str(), &fa, nullptr, cargv.data(), envp);
    posix_spawn_file_actions_destroy(&fa);
    FStopSignal = options.stopSignal;
    if (rc != 0) throw std::runtime_error("cannot start " + exe + ": " + std::strerror(rc));
  }
  ~ChildProcess() {
    if (Running()) {
      ::kill(FPid, SIGKILL);
      Reap(0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return FPid; }

  // True until the process has ended (and then reaps it).
  bool Running() {
    if (!FStatus) Reap(WNOHANG);
    return !FStatus;
  }
  void Signal(int sig) {
    if (Running()) ::kill(FPid, sig);
  }
  // Asks the program to stop (stopSignal of its options).
  void RequestStop() { Signal(FStopSignal); }
  // Waits up to `timeout` for the process to end; true when it ended.
  bool Wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // Waits for the process to end, however long it takes; its ExitCode().
  int Wait() {
    if (!FStatus) Reap(0);
    return ExitCode();
  }
  // Exit status, or -signal when a signal ended it; -1000 while running.
  int ExitCode() const {
    if (!FStatus) return -1000;
    if (WIFEXITED(*FStatus)) return WEXITSTATUS(*FStatus);
    if (WIFSIGNALED(*FStatus)) return -WTERMSIG(*FStatus);
    return -999;
  }

 private:
  void Reap(int flags) {
    int st = 0;
    pid_t r;
    do r = ::waitpid(FPid, &st, flags);
    while (r == -1 && errno == EINTR);
    if (r == FPid) FStatus = st;
  }

  pid_t FPid = -1;
  int FStopSignal = SIGTERM;
  std::optional<int> FStatus;
};

// Runs a program (looked up in PATH) to its end with standard output and
// error together in `outFile`; returns its ExitCode() and the output in
// `output`.
inline int RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& outFile,
                      std::string& output, std::optional<std::vector<std::string>> env = std::nullopt) {
  ChildOptions o = ChildOptions().Output(outFile, "");
  o.env = std::move(env);
  o.searchPath = true;
  ChildProcess p(program, args, o);
  const int code = p.Wait();
  output = SlurpFile(outFile);
  return code;
}

}  // namespace pagvigia::testing
