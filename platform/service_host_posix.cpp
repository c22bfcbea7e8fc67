#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/service_host.h"

extern char** environ;

namespace pagvigia::platform {

void NotifyServiceManager(const std::string& message) {
  const char* socketPath = std::getenv("NOTIFY_SOCKET");
  if (socketPath == nullptr || socketPath[0] == '\0') return;
  const std::size_t len = std::strlen(socketPath);
  sockaddr_un addr{};
  if (len >= sizeof addr.sun_path) return;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, socketPath, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len));
  ::close(fd);
}

bool UnderSystemd() {
  for (const char* name : {"JOURNAL_STREAM", "INVOCATION_ID"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && v[0] != '\0') return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// ServiceThread: the signals and an eventfd that wakes ProcessRequests.

struct ServiceThread::Native {
  int signalFd = -1;
  int eventFd = -1;
};

namespace {

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGUSR1);
  sigaddset(&set, SIGUSR2);
  return set;
}

}  // namespace

// The process's exit status says it on POSIX (main returns it).
void ServiceThread::SetExitStatus(int) {}

ServiceThread::ServiceThread(bool watchSignals) : FNative(std::make_unique<Native>()) {
  if (watchSignals) {
    const sigset_t set = ControlSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    FNative->signalFd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  }
  FNative->eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ServiceThread::~ServiceThread() {
  if (FNative->signalFd >= 0) ::close(FNative->signalFd);
  if (FNative->eventFd >= 0) ::close(FNative->eventFd);
}

void ServiceThread::Wake() {
  const std::uint64_t one = 1;
  if (FNative->eventFd >= 0) {
    [[maybe_unused]] const auto n = ::write(FNative->eventFd, &one, sizeof one);
  }
}

void ServiceThread::HandleSystemRequests() {
  if (FNative->signalFd >= 0) {
    signalfd_siginfo info{};
    while (::read(FNative->signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      switch (info.ssi_signo) {
        case SIGTERM:
        case SIGINT: Handle(ServiceRequest::Stop); break;
        case SIGUSR1: Handle(ServiceRequest::Pause); break;
        case SIGUSR2: Handle(ServiceRequest::Continue); break;
        default: break;
      }
    }
  }
}

// A wake is drained only by the wait it ends: one that comes before the wait
// begins ends that wait at once instead of being lost.
void ServiceThread::WaitForRequest(std::int64_t timeoutMs) {
  pollfd fds[2] = {{FNative->signalFd, POLLIN, 0}, {FNative->eventFd, POLLIN, 0}};
  ::poll(fds, 2, timeoutMs < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(timeoutMs, 1 << 30)));
  if (FNative->eventFd >= 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] auto n = ::read(FNative->eventFd, &count, sizeof count);
  }
}

void ServiceThread::Announce(ServiceState before, ServiceState now) {
  switch (now) {
    case ServiceState::Running:
      NotifyServiceManager(before == ServiceState::StartPending ? "READY=1\nSTATUS=Running"
                                                                : "STATUS=Running");
      break;
    case ServiceState::Paused:
      NotifyServiceManager("STATUS=Paused");
      break;
    case ServiceState::StopPending:
      NotifyServiceManager("STOPPING=1\nSTATUS=Stopping");
      break;
    case ServiceState::StartPending:
      NotifyServiceManager("STATUS=Starting");
      break;
    case ServiceState::Stopped:
      NotifyServiceManager("STATUS=Stopped");
      break;
  }
}

int RunService(const ServiceDefinition& service, ServiceThread& thread, EventLog& eventLog) {
  return RunServiceInForeground(service, thread, eventLog);
}

// ---------------------------------------------------------------------------
// systemd unit

namespace {

std::string Env(const char* name, bool* isSet = nullptr) {
  const char* v = std::getenv(name);
  if (isSet) *isSet = v != nullptr;
  return v ? v : "";
}

// The systemctl program to run, or "" for none.
std::string Systemctl() {
  bool named = false;
  std::string program = Env("PAGVIGIA_SYSTEMCTL", &named);
  if (named) return program;
  if (!Env("PAGVIGIA_SYSTEMD_UNIT_DIR").empty()) return "";
  std::string path = Env("PATH");
  if (path.empty()) path = "/usr/sbin:/usr/bin:/sbin:/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(':', start), path.size());
    std::string candidate = path.substr(start, end - start);
    if (!candidate.empty()) {
      candidate += "/systemctl";
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return "";
}

struct RunResult {
  int status = -1;
  std::string errorText;  // what the program wrote to its standard error
};

// Runs `program args...` with standard input and output on /dev/null.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  RunResult r;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    r.errorText = std::strerror(errno);
    return r;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The child starts with no signal blocked, whatever the service blocked.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    r.errorText = "cannot run " + program + ": " + std::strerror(rc);
    return r;
  }
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (r.errorText.size() < 65536) r.errorText.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  while (!r.errorText.empty() && (r.errorText.back() == '\n' || r.errorText.back() == '\r'))
    r.errorText.pop_back();
  return r;
}

// Raises the failure of a systemctl command.
void RunSystemctl(const std::string& systemctl, const std::vector<std::string>& args) {
  const RunResult r = RunProgram(systemctl, args);
  if (r.status == 0) return;
  std::string what = "systemctl";
  for (const auto& a : args) what += " " + a;
  what += r.status < 0 ? " could not run" : " failed with exit status " + std::to_string(r.status);
  if (!r.errorText.empty()) what += ": " + r.errorText;
  throw std::runtime_error(what);
}

// The executable's path as one word of an ExecStart= line.
std::string UnitCommand(const std::string& path) {
  std::string escaped;
  bool quote = path.empty();
  for (const char c : path) {
    if (c == '%') {
      escaped += "%%";
    } else if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
      quote = true;
    } else {
      if (c == ' ' || c == '\t' || c == '\'' || c == ';') quote = true;
      escaped += c;
    }
  }
  return quote ? "\"" + escaped + "\"" : escaped;
}

std::string UnitPath(const ServiceDefinition& service) {
  return WithTrailingDelim(ServiceUnitFolder()) + service.name + ".service";
}

}  // namespace

std::string SystemdUnitText(const ServiceDefinition& service, const std::string& exePath) {
  return "[Unit]\n"
         "Description=" + service.displayName + "\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" + UnitCommand(exePath) + "\n" +
         (service.restartSec > 0 ? "Restart=on-failure\nRestartSec=" + std::to_string(service.restartSec) + "\n"
                                 : std::string("Restart=no\n")) +
         (service.stopTimeoutSec > 0 ? "TimeoutStopSec=" + std::to_string(service.stopTimeoutSec) + "\n"
                                     : std::string()) +
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

std::string ServiceUnitFolder() {
  const std::string folder = Env("PAGVIGIA_SYSTEMD_UNIT_DIR");
  return folder.empty() ? "/etc/systemd/system" : folder;
}

int InstallService(const ServiceDefinition& service, const std::string& exePath, bool silent,
                   std::ostream& out, std::ostream& err) {
  try {
    const std::string unit = UnitPath(service);
    if (PathExists(unit)) throw std::runtime_error("the unit " + unit + " already exists");
    WriteFileBytes(unit, SystemdUnitText(service, exePath));
    const std::string systemctl = Systemctl();
    if (!systemctl.empty()) {
      // Reloading fails where systemd is not running (a container, a chroot);
      // enabling works there as well and is what counts.
      RunProgram(systemctl, {"daemon-reload"});
      RunSystemctl(systemctl, {"enable", service.name + ".service"});
    }
  } catch (const std::exception& e) {
    err << "Service \"" << service.displayName << "\" could not be installed: " << e.what()
        << std::endl;
    return 1;
  }
  if (!silent) out << "Service installed successfully" << std::endl;
  return 0;
}

int UninstallService(const ServiceDefinition& service, bool silent, std::ostream& out,
                     std::ostream& err) {
  try {
    const std::string unit = UnitPath(service);
    if (!PathExists(unit)) throw std::runtime_error("the unit " + unit + " does not exist");
    const std::string systemctl = Systemctl();
    if (!systemctl.empty()) RunSystemctl(systemctl, {"disable", service.name + ".service"});
    if (::unlink(unit.c_str()) != 0)
      throw std::runtime_error("cannot delete " + unit + ": " + std::strerror(errno));
    if (!systemctl.empty()) RunProgram(systemctl, {"daemon-reload"});
  } catch (const std::exception& e) {
    err << "Service \"" << service.displayName << "\" could not be uninstalled: " << e.what()
        << std::endl;
    return 1;
  }
  if (!silent) out << "Service uninstalled successfully" << std::endl;
  return 0;
}

}  // namespace pagvigia::platform
