// The service host: what the service needs from the operating system's
// service manager. Here the service runs in the foreground as systemd expects:
// SIGTERM or SIGINT ask it to stop, SIGUSR1 to pause and SIGUSR2 to continue
// (pausing changes only the reported state), and when NOTIFY_SOCKET is set
// the state is reported with the systemd notify protocol. Registering the
// service writes a systemd unit.
#pragma once
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_log.h"

namespace pagvigia::platform {

// True when a command-line argument is `name` written after "/", "-" or "--",
// letters in any case.
bool FindCmdLineSwitch(int argc, const char* const* argv, std::string_view name);

enum class ServiceState { Stopped, StartPending, Running, StopPending, Paused };
enum class ServiceRequest { Stop, Pause, Continue };

// Sends one message of the systemd notify protocol ("READY=1", "STATUS=...")
// to NOTIFY_SOCKET; nothing happens when it is not set.
void NotifyServiceManager(const std::string& message);

// The control side of the running service: the requests that reach it and
// the state it reports.
class ServiceThread {
 public:
  // With `watchSignals`, SIGTERM, SIGINT, SIGUSR1 and SIGUSR2 are blocked in
  // the calling thread (and so in every thread it starts afterwards) and
  // become requests. Create it before any other thread of the process.
  explicit ServiceThread(bool watchSignals);
  ~ServiceThread();
  ServiceThread(const ServiceThread&) = delete;
  ServiceThread& operator=(const ServiceThread&) = delete;

  // Set by a stop request.
  bool Terminated() const;
  ServiceState State() const;
  // Handles the requests waiting; with `waitForMessage`, waits for and handles
  // requests until the thread is marked terminated.
  void ProcessRequests(bool waitForMessage);
  // Queues a request from any thread, as the matching signal does.
  void Controller(ServiceRequest request);
  // Sets and reports the state.
  void ReportState(ServiceState state);

 private:
  void Handle(ServiceRequest request);
  bool TakeQueued(ServiceRequest& request);

  int signalFd_ = -1;
  int eventFd_ = -1;
  mutable std::mutex mu_;
  std::vector<ServiceRequest> queue_;
  bool terminated_ = false;
  ServiceState state_ = ServiceState::Stopped;
};

struct ServiceDefinition {
  std::string name;         // "SrvPagvigia": the unit's name
  std::string displayName;  // "Pagvigia"
  // The body of the running service; returns when it is to stop.
  std::function<void(ServiceThread&)> execute;
  // How long a stop may take, in seconds (TimeoutStopSec= of the unit); 0
  // leaves the system's default.
  int stopTimeoutSec = 0;
};

// Runs the service in the foreground: reports it starting and running, calls
// `execute`, handles the requests still queued and reports it stopped. An
// exception that escapes `execute` goes to `eventLog` as
// "Service failed on execute: " and its message. Returns the exit status.
int RunService(const ServiceDefinition& service, ServiceThread& thread, EventLog& eventLog);

// The folder of systemd units: PAGVIGIA_SYSTEMD_UNIT_DIR when set, otherwise
// /etc/systemd/system.
std::string ServiceUnitFolder();

// Writes the unit "<name>.service" that starts `exePath`, then runs
// "systemctl daemon-reload" and "systemctl enable". Removing it runs
// "systemctl disable", deletes the unit and reloads. systemctl is the one on
// the PATH, or the program named by PAGVIGIA_SYSTEMCTL (empty: none); with a
// unit folder moved by PAGVIGIA_SYSTEMD_UNIT_DIR it is run only when
// PAGVIGIA_SYSTEMCTL names it. Success text goes to `out` unless `silent`;
// a failure always goes to `err` with the display name and the reason.
// Returns the exit status (0 or 1).
int InstallService(const ServiceDefinition& service, const std::string& exePath, bool silent,
                   std::ostream& out, std::ostream& err);
int UninstallService(const ServiceDefinition& service, bool silent, std::ostream& out,
                     std::ostream& err);

}  // namespace pagvigia::platform
