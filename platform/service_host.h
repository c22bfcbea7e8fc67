// The service host: what the service needs from the operating system's
// service manager.
//
// POSIX: the service runs in the foreground as systemd expects: SIGTERM or
// SIGINT ask it to stop, SIGUSR1 to pause and SIGUSR2 to continue (pausing
// changes only the reported state), and when NOTIFY_SOCKET is set the state
// is reported with the systemd notify protocol. Registering the service
// writes a systemd unit.
//
// Windows: the Service Control Manager starts the service and sends it stop,
// pause, continue and interrogate requests; the state is reported to it.
// Registering the service is CreateService. Run in the foreground instead
// (the "CONSOLE" switch), Ctrl+C or Ctrl+Break asks the service to stop.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
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

// How the platform's own documentation writes the program's switches and
// name: "/" and "Pagvigia.exe" on Windows, "-" and "pagvigia" elsewhere.
#ifdef _WIN32
inline constexpr const char* kSwitchPrefix = "/";
inline constexpr const char* kProgramName = "Pagvigia.exe";
// Whether the service manager may run the service in a sandbox of its own
// (systemd units), so that a check run by hand sees another system.
inline constexpr bool kServiceSandbox = false;
#else
inline constexpr bool kServiceSandbox = true;
inline constexpr const char* kSwitchPrefix = "-";
inline constexpr const char* kProgramName = "pagvigia";
#endif
// The platform this build is for: "Linux x86_64", "Windows x64",
// "Windows x86".
const char* BuildPlatform();

enum class ServiceState { Stopped, StartPending, Running, StopPending, Paused };
// Interrogate asks for the state to be reported again. StopNow is a stop that
// cannot wait for the exchange in flight (Windows: the system is shutting
// down, or the preshutdown time is nearly spent); a second Stop counts as one.
enum class ServiceRequest { Stop, Pause, Continue, Interrogate, StopNow };

// Sends one message of the systemd notify protocol ("READY=1", "STATUS=...")
// to NOTIFY_SOCKET; nothing happens when it is not set (or on Windows).
void NotifyServiceManager(const std::string& message);

// True when systemd started the process (JOURNAL_STREAM or INVOCATION_ID is
// set): its standard error then goes to the journal. Always false on Windows,
// where Wine passes a Linux parent's environment through.
bool UnderSystemd();

// The control side of the running service: the requests that reach it and
// the state it reports.
class ServiceThread {
 public:
  // With `watchSignals`, SIGTERM, SIGINT, SIGUSR1 and SIGUSR2 are blocked in
  // the calling thread (and so in every thread it starts afterwards) and
  // become requests; on Windows, Ctrl+C, Ctrl+Break and closing the console
  // become stop requests. Create it before any other thread of the process:
  // a thread started earlier (the database client library starts some) would
  // still take the signals with its own handlers.
  explicit ServiceThread(bool watchSignals);
  ~ServiceThread();
  ServiceThread(const ServiceThread&) = delete;
  ServiceThread& operator=(const ServiceThread&) = delete;

  // Set by a stop request.
  bool Terminated() const;
  // Set by a stop that cannot wait: StopNow, or a second Stop.
  bool StopCannotWait() const;
  ServiceState State() const;
  // Handles the requests waiting; with `waitForMessage`, waits for and handles
  // requests until the thread is marked terminated.
  void ProcessRequests(bool waitForMessage);
  // Handles the requests waiting; when there was none, waits up to
  // `maxWaitMs` for one (or for Wake) and handles what came.
  void ProcessRequestsFor(std::int64_t maxWaitMs);
  // Wakes a ProcessRequests or ProcessRequestsFor that waits, without a
  // request: another thread's work it watches has ended. Any thread.
  void Wake();
  // Queues a request from any thread, as the matching signal does.
  void Controller(ServiceRequest request);
  // Sets and reports the state. On Windows, while stop is pending, the report
  // is renewed every few seconds within its wait hint, so that the service
  // manager waits for a cycle that is still running.
  void ReportState(ServiceState state);
  // The status the service ends with, when not 0: on Windows the stopped
  // state then carries it as a service-specific exit code, so that the
  // service manager (and its recovery actions) sees a failure, not a stop.
  void SetExitStatus(int status);

  // The operating system's side of the thread; see the platform's source.
  struct Native;
  Native& NativeSide() { return *FNative; }

 private:
  void Handle(ServiceRequest request);
  bool TakeQueued(ServiceRequest& request);
  // Per platform: handles what the system has for the thread (the signals),
  // waits (`timeoutMs` < 0: without limit), and tells the service manager
  // about a state.
  void HandleSystemRequests();
  void WaitForRequest(std::int64_t timeoutMs);
  void Announce(ServiceState before, ServiceState now);

  std::unique_ptr<Native> FNative;
  mutable std::mutex FMutex;
  std::vector<ServiceRequest> FQueue;
  bool FTerminated = false;
  bool FStopCannotWait = false;
  ServiceState FState = ServiceState::Stopped;
};

struct ServiceDefinition {
  std::string name;         // "SrvPagvigia": the unit's name
  std::string displayName;  // "Pagvigia"
  // The body of the running service; returns when it is to stop.
  std::function<void(ServiceThread&)> execute;
  // How long a stop may take, in seconds (TimeoutStopSec= of the unit; on
  // Windows the preshutdown time-out registered with the service); 0 leaves
  // the system's default.
  int stopTimeoutSec = 0;
  // POSIX: seconds systemd waits before starting the service again after it
  // failed (Restart=on-failure, RestartSec=); 0 writes Restart=no, as
  // -install does. Not used on Windows.
  int restartSec = 0;
};

// A stop with a deadline (Windows: the preshutdown time-out). Within
// `budgetMs` the exchange in flight may end by itself; once
// `abandonAfterMs` is spent it is abandoned (a StopNow request), leaving the
// rest of the budget to withdraw the command, record the row and end; the
// stop-pending reports end at `reportsEndAfterMs`, the whole budget, after
// which the service manager goes on without us.
struct StopDeadline {
  std::int64_t abandonAfterMs = 0;
  std::int64_t reportsEndAfterMs = 0;
};
// What is kept of the budget for the work after an abandon.
constexpr std::int64_t kStopAfterAbandonMs = 10000;
StopDeadline PlanStopDeadline(std::int64_t budgetMs);
// The preshutdown time-out registered for `service` (milliseconds): its
// stopTimeoutSec, which covers one exchange; 0 when it gives none.
std::int64_t PreshutdownTimeoutMs(const ServiceDefinition& service);

// Runs the service in the foreground: reports it starting and running, calls
// `execute`, handles the requests still queued and reports it stopped. An
// exception that escapes `execute` goes to `eventLog` as
// "Service failed on execute: " and its message. Returns the exit status.
int RunServiceInForeground(const ServiceDefinition& service, ServiceThread& thread,
                           EventLog& eventLog);
// Runs the service as the system's service manager expects it: on POSIX in
// the foreground (above); on Windows under the Service Control Manager,
// which must have started the process (otherwise a hint goes to standard
// error and the status is 1).
int RunService(const ServiceDefinition& service, ServiceThread& thread, EventLog& eventLog);

// POSIX: the systemd unit that runs `exePath` as the service, the one text
// of it: InstallService writes it, and the Debian package is built with it.
std::string SystemdUnitText(const ServiceDefinition& service, const std::string& exePath);

// The folder of systemd units: PAGVIGIA_SYSTEMD_UNIT_DIR when set, otherwise
// /etc/systemd/system (POSIX only).
std::string ServiceUnitFolder();

// Windows: registers the service with the Service Control Manager (own
// process, automatic start, `exePath` as its program) or removes it; the
// text of success or failure goes to `out` or `err`, and is shown in a
// message box as well unless the run is unattended: `silent` (then there is
// no text of success at all), a session whose desktop nobody sees (a service,
// a deployment tool in session 0), or the environment variable
// PAGVIGIA_NO_MESSAGE_BOX set.
//
// POSIX: writes the unit "<name>.service" that starts `exePath`, then runs
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
