// Starts the Integrador simulator (tools/integrador-sim) for a test: on the
// given input and output folders, with the given options; waits until it
// watches its folder; stops it at destruction; reads its record.
//
//   IntegradorSim sim(dir / "in", dir / "out", {"--method", "EnviarPagamento", "--id-start", "100"});
//   ... run the client ...
//   auto cmds = sim.Commands();   // one entry per command received
//
// The test target must call pagvigia_use_simulator(<target>) in CMake.
#pragma once
#include <signal.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

#ifndef PAGVIGIA_INTEGRADOR_SIM
#error "call pagvigia_use_simulator(<target>) for the test target"
#endif

namespace pagvigia::testing {

// One line of the simulator's record: one command found in the input folder.
struct SimCommand {
  std::string time;       // local time it was taken, "YYYY-MM-DD HH:MM:SS.mmm"
  std::string file;       // command file name, without folder
  std::string check;      // "ok", or "failed" when a check failed
  std::string action;     // "answer", "no-answer" or "left" (never taken)
  std::string method;     // Metodo Nome
  std::string component;  // Componente Nome
  std::optional<long long> session;  // Identificador (else the file name's number)
  std::string chave;      // the constructor's chaveAcessoValidador
  std::vector<std::pair<std::string, std::string>> parameters;  // in order
  std::string answer;     // answer file name (in the output folder), if any
  std::string code;       // the answer's Codigo
  std::string failures;   // the failed checks, "; " between them
  std::string xml;        // the command as UTF-8

  bool ok() const { return check == "ok"; }
  // The value of the first parameter of that name; nullopt when missing.
  std::optional<std::string> Param(const std::string& name) const {
    for (const auto& [n, v] : parameters)
      if (n == name) return v;
    return std::nullopt;
  }
};

namespace sim_detail {

// Splits at `sep` where it is not escaped, then undoes the escapes.
inline std::vector<std::string> SplitUnescape(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '\\' && i + 1 < s.size()) {
      const char e = s[++i];
      out.back() += e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e;
    } else if (ch == sep) {
      out.emplace_back();
    } else {
      out.back() += ch;
    }
  }
  return out;
}

// Splits at `sep` where it is not escaped; keeps the escapes.
inline std::vector<std::string> SplitRaw(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out.back() += s[i];
      out.back() += s[++i];
    } else if (s[i] == sep) {
      out.emplace_back();
    } else {
      out.back() += s[i];
    }
  }
  return out;
}

inline std::string Unescape(const std::string& s) { return SplitUnescape(s, '\0').front(); }

}  // namespace sim_detail

// Reads a record file written by the simulator (missing file: no commands).
inline std::vector<SimCommand> ReadSimRecord(const std::string& path) {
  std::vector<SimCommand> out;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (in.eof()) break;  // a last line without its line end is still being written
    if (line.empty() || line[0] == '#') continue;
    const auto f = sim_detail::SplitRaw(line, '\t');
    if (f.size() != 13) continue;
    SimCommand c;
    using sim_detail::Unescape;
    c.time = Unescape(f[0]);
    c.file = Unescape(f[1]);
    c.check = f[2];
    c.action = f[3];
    c.method = Unescape(f[4]);
    c.component = Unescape(f[5]);
    if (!f[6].empty()) c.session = std::stoll(f[6]);
    c.chave = Unescape(f[7]);
    if (!f[8].empty()) {
      for (const auto& pair : sim_detail::SplitRaw(f[8], '|')) {
        const auto nv = sim_detail::SplitRaw(pair, '=');
        std::string value;
        for (std::size_t i = 1; i < nv.size(); ++i) value += (i > 1 ? "=" : "") + nv[i];
        c.parameters.emplace_back(Unescape(nv[0]), Unescape(value));
      }
    }
    c.answer = Unescape(f[9]);
    c.code = Unescape(f[10]);
    c.failures = Unescape(f[11]);
    c.xml = Unescape(f[12]);
    out.push_back(std::move(c));
  }
  return out;
}

class IntegradorSim {
 public:
  // The simulator program.
  static std::string Program() { return PAGVIGIA_INTEGRADOR_SIM; }

  // Starts the simulator on `input` and `output` (created when missing) with
  // the further `options` (see tools/integrador_sim/README.md) and waits until
  // it watches the input folder. Raises std::runtime_error when it does not
  // start (the message holds its error output).
  IntegradorSim(const std::string& input, const std::string& output, std::vector<std::string> options = {})
      : FWork("integrador-sim") {
    std::vector<std::string> args = {"--input", input,         "--output",     output,
                                     "--record", RecordPath(), "--ready-file", FWork / "ready"};
    args.insert(args.end(), options.begin(), options.end());
    FProcess.emplace(Program(), args, ChildOptions().Output(FWork / "stdout", FWork / "stderr"));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::ifstream(FWork / "ready")) {
      if (!Running() || std::chrono::steady_clock::now() > deadline) {
        Stop();
        throw std::runtime_error("integrador-sim did not start: " + Stderr());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  ~IntegradorSim() { Stop(); }
  IntegradorSim(const IntegradorSim&) = delete;
  IntegradorSim& operator=(const IntegradorSim&) = delete;

  // The commands received so far, in the order they were found.
  std::vector<SimCommand> Commands() const { return ReadSimRecord(RecordPath()); }

  // Waits until at least `n` commands are recorded; false after the timeout.
  bool WaitForCommands(std::size_t n, int timeoutMs = 10000) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Commands().size() < n) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  bool Running() { return FProcess && FProcess->Running(); }

  // Waits for the simulator to end by itself (--exit-after); its exit status,
  // or -1 when it is still running after the timeout.
  int Wait(int timeoutMs = 10000) {
    if (!FProcess) return -1;
    if (!FProcess->Wait(std::chrono::milliseconds(timeoutMs))) return -1;
    return Status();
  }

  // Ends the simulator with SIGTERM (SIGKILL when it does not end within 10 s)
  // and returns its exit status (128 + signal when a signal ended it).
  int Stop() {
    if (!FProcess) return -1;
    FProcess->Signal(SIGTERM);
    if (!FProcess->Wait(std::chrono::seconds(10))) {
      FProcess->Signal(SIGKILL);
      FProcess->Wait();
    }
    return Status();
  }

  std::string RecordPath() const { return FWork / "record.log"; }
  // What the simulator wrote to its standard error.
  std::string Stderr() const { return SlurpFile(FWork / "stderr"); }

 private:
  int Status() const {
    const int code = FProcess->ExitCode();
    return code >= 0 ? code : 128 - code;
  }

  TempDir FWork;
  std::optional<ChildProcess> FProcess;
};

}  // namespace pagvigia::testing
