// The Windows build under Wine: the script is written to /tmp, a Linux
// /bin/sh is started through CreateProcess (Wine executes Linux programs in
// place of Windows ones), and that shell leaves the script's output and exit
// status in files beside it; the status file appears last, by a rename.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/host_shell.h"

namespace pagvigia::testing {
namespace {

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!(f << bytes)) throw std::runtime_error("host shell: cannot write " + path);
}

bool ReadAll(const std::string& path, std::string& bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  bytes = ss.str();
  return true;
}

}  // namespace

std::string HostPathForProgram(const std::string& linuxPath) {
  std::string p = "Z:" + linuxPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

int RunHostShell(const std::string& script, std::string& out) {
  out.clear();
  static std::atomic<unsigned> counter{0};
  const std::string base = "/tmp/pagvigia-wsh-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(++counter) + "-" + std::to_string(::GetTickCount64());
  const std::string sh = base + ".sh", run = base + ".run", output = base + ".out", rc = base + ".rc";
  WriteAll(HostPathForProgram(sh), script);
  // Wine hands the Linux program a Windows-style PATH: the runner sets its own.
  WriteAll(HostPathForProgram(run), "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin\n"
                                    "export PATH\n"
                                    "/bin/sh '" + sh + "' >'" + output + "' 2>&1 </dev/null\n"
                                    "echo $? >'" + rc + ".tmp'\n"
                                    "mv '" + rc + ".tmp' '" + rc + "'\n");
  std::string cmdLine = "/bin/sh " + run;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessA(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ::DeleteFileA(HostPathForProgram(sh).c_str());
    ::DeleteFileA(HostPathForProgram(run).c_str());
    throw std::runtime_error("host shell: cannot start /bin/sh (error " + std::to_string(::GetLastError()) + ")");
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  std::string status;
  while (!ReadAll(HostPathForProgram(rc), status)) {
    if (std::chrono::steady_clock::now() >= end) throw std::runtime_error("host shell: " + sh + " did not end");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ReadAll(HostPathForProgram(output), out);
  for (const auto& f : {sh, run, output, rc}) ::DeleteFileA(HostPathForProgram(f).c_str());
  try {
    return std::stoi(status);
  } catch (const std::exception&) {
    throw std::runtime_error("host shell: unreadable exit status \"" + status + "\"");
  }
}

}  // namespace pagvigia::testing
