// The service host on Windows: the Service Control Manager (dispatcher,
// control handler, status reports), CreateService and DeleteService, and the
// console's Ctrl+C for runs in the foreground.
#include "platform/service_host.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/win_text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <thread>

namespace pagvigia::platform {

void NotifyServiceManager(const std::string&) {}

bool UnderSystemd() { return false; }

// ---------------------------------------------------------------------------
// ServiceThread: an event that wakes ProcessRequests, and the handle through
// which the state reaches the Service Control Manager.

struct ServiceThread::Native {
  HANDLE wake = nullptr;
  bool consoleHandler = false;

  // Set once the Service Control Manager has started the service.
  SERVICE_STATUS_HANDLE status = nullptr;
  std::mutex mu;  // guards the fields below and the reports
  DWORD checkPoint = 0;
  DWORD state = SERVICE_STOPPED;
  std::condition_variable keepAliveCv;
  bool keepAliveQuit = false;
  std::thread keepAlive;
  // The preshutdown time-out registered with the service, and once the
  // system's shutdown has begun, the moments its stop must keep to.
  std::int64_t preshutdownBudgetMs = 0;
  bool deadline = false;
  bool abandonAsked = false;
  std::chrono::steady_clock::time_point abandonAt, reportsEndAt;
  ServiceThread* owner = nullptr;
  DWORD exitStatus = 0;

  void Report(DWORD newState) {
    SERVICE_STATUS s{};
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = newState;
    const bool pending = newState == SERVICE_START_PENDING || newState == SERVICE_STOP_PENDING ||
                         newState == SERVICE_PAUSE_PENDING || newState == SERVICE_CONTINUE_PENDING;
    if (newState != SERVICE_START_PENDING && newState != SERVICE_STOPPED)
      s.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                             SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
    s.dwWin32ExitCode = newState == SERVICE_STOPPED && exitStatus ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    s.dwServiceSpecificExitCode = newState == SERVICE_STOPPED ? exitStatus : 0;
    checkPoint = pending ? checkPoint + 1 : 0;
    s.dwCheckPoint = checkPoint;
    s.dwWaitHint = pending ? kWaitHintMs : 0;
    state = newState;
    ::SetServiceStatus(status, &s);
  }

  void StopKeepAlive(std::unique_lock<std::mutex>& lock) {
    if (!keepAlive.joinable()) return;
    keepAliveQuit = true;
    keepAliveCv.notify_all();
    lock.unlock();
    keepAlive.join();
    lock.lock();
    keepAliveQuit = false;
  }

  // The system is shutting down: the stop keeps to the preshutdown budget.
  void StartDeadline() {
    std::lock_guard lock(mu);
    if (deadline) return;
    const StopDeadline plan = PlanStopDeadline(preshutdownBudgetMs);
    const auto now = std::chrono::steady_clock::now();
    deadline = true;
    abandonAt = now + std::chrono::milliseconds(plan.abandonAfterMs);
    reportsEndAt = now + std::chrono::milliseconds(plan.reportsEndAfterMs);
    keepAliveCv.notify_all();
  }

  // While stop is pending (a cycle may still be running), the report is
  // renewed with a new check point well within each wait hint; under a
  // shutdown's deadline, the exchange in flight is abandoned when its share
  // of the budget is spent, and the renewals end with the budget.
  void StartKeepAlive() {
    if (keepAlive.joinable()) return;
    keepAlive = std::thread([this] {
      std::unique_lock lock(mu);
      for (;;) {
        auto wakeAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitHintMs / 2);
        if (deadline && !abandonAsked) wakeAt = std::min(wakeAt, abandonAt);
        if (keepAliveCv.wait_until(lock, wakeAt, [this] { return keepAliveQuit; })) return;
        const auto now = std::chrono::steady_clock::now();
        if (deadline && !abandonAsked && now >= abandonAt) {
          abandonAsked = true;
          lock.unlock();
          owner->Controller(ServiceRequest::StopNow);
          lock.lock();
        }
        if (state == SERVICE_STOP_PENDING && !(deadline && now >= reportsEndAt))
          Report(SERVICE_STOP_PENDING);
      }
    });
  }

  // The framework's wait hint for every pending state.
  static constexpr DWORD kWaitHintMs = 5000;
};

namespace {

std::atomic<ServiceThread*> consoleThread{nullptr};
// Set once the console's service thread is gone, that is once the program has
// finished its work (manual reset).
HANDLE consoleDone = nullptr;
// What a closing console may take: Windows ends the process about 5 s after
// the close, whatever the handler does.
constexpr DWORD kConsoleCloseWaitMs = 4500;

BOOL WINAPI ConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (ServiceThread* t = consoleThread.load()) t->Controller(ServiceRequest::Stop);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The process ends as soon as this returns: the exchange in flight is
      // abandoned at once (its command withdrawn when the Integrador has not
      // taken it, else settled by the next cycle from the journal), and the
      // handler waits while the step records that and the program ends.
      if (ServiceThread* t = consoleThread.load()) t->Controller(ServiceRequest::StopNow);
      if (consoleDone) ::WaitForSingleObject(consoleDone, kConsoleCloseWaitMs);
      return TRUE;
    default:
      return FALSE;
  }
}

DWORD StateCode(ServiceState state) {
  switch (state) {
    case ServiceState::Stopped: return SERVICE_STOPPED;
    case ServiceState::StartPending: return SERVICE_START_PENDING;
    case ServiceState::Running: return SERVICE_RUNNING;
    case ServiceState::StopPending: return SERVICE_STOP_PENDING;
    case ServiceState::Paused: return SERVICE_PAUSED;
  }
  return SERVICE_STOPPED;
}

}  // namespace

void ServiceThread::SetExitStatus(int status) {
  std::lock_guard lock(FNative->mu);
  FNative->exitStatus = static_cast<DWORD>(status);
}

ServiceThread::ServiceThread(bool watchSignals) : FNative(std::make_unique<Native>()) {
  FNative->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  FNative->owner = this;
  if (watchSignals) {
    consoleThread = this;
    if (!consoleDone) consoleDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FNative->consoleHandler = ::SetConsoleCtrlHandler(ConsoleControl, TRUE);
  }
}

ServiceThread::~ServiceThread() {
  ServiceThread* self = this;
  if (consoleThread.compare_exchange_strong(self, nullptr)) {
    // A console being closed meanwhile may let the process end now.
    if (consoleDone) ::SetEvent(consoleDone);
  }
  if (FNative->consoleHandler) ::SetConsoleCtrlHandler(ConsoleControl, FALSE);
  {
    std::unique_lock lock(FNative->mu);
    FNative->StopKeepAlive(lock);
  }
  if (FNative->wake) ::CloseHandle(FNative->wake);
}

void ServiceThread::Wake() {
  if (FNative->wake) ::SetEvent(FNative->wake);
}

void ServiceThread::HandleSystemRequests() {}

void ServiceThread::WaitForRequest(std::int64_t timeoutMs) {
  if (FNative->wake)
    ::WaitForSingleObject(FNative->wake, timeoutMs < 0 ? INFINITE
                                                       : static_cast<DWORD>(std::min<std::int64_t>(timeoutMs, 1 << 30)));
}

void ServiceThread::Announce(ServiceState, ServiceState now) {
  std::unique_lock lock(FNative->mu);
  if (!FNative->status) return;
  if (now != ServiceState::StopPending) FNative->StopKeepAlive(lock);
  FNative->Report(StateCode(now));
  if (now == ServiceState::StopPending) FNative->StartKeepAlive();
}

// ---------------------------------------------------------------------------
// The Service Control Manager

namespace {

struct Dispatch {
  const ServiceDefinition* service = nullptr;
  ServiceThread* thread = nullptr;
  EventLog* eventLog = nullptr;
  std::wstring name;
  int status = 0;
};

Dispatch* dispatch = nullptr;

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void* context) {
  auto* thread = static_cast<ServiceThread*>(context);
  switch (control) {
    case SERVICE_CONTROL_STOP:
      thread->Controller(ServiceRequest::Stop);
      return NO_ERROR;
    case SERVICE_CONTROL_PRESHUTDOWN:
      // The system waits for us up to the registered preshutdown time-out:
      // the exchange in flight may end within it, or is abandoned.
      thread->NativeSide().StartDeadline();
      thread->Controller(ServiceRequest::Stop);
      return NO_ERROR;
    case SERVICE_CONTROL_SHUTDOWN:
      // Only a few seconds are left: no exchange is waited for.
      thread->Controller(ServiceRequest::StopNow);
      return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
      thread->Controller(ServiceRequest::Pause);
      return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
      thread->Controller(ServiceRequest::Continue);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      thread->Controller(ServiceRequest::Interrogate);
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// Runs on the thread the dispatcher starts for the service: the service
// thread.
void WINAPI ServiceMain(DWORD, wchar_t**) {
  Dispatch& d = *dispatch;
  SERVICE_STATUS_HANDLE h =
      ::RegisterServiceCtrlHandlerExW(d.name.c_str(), ControlHandler, d.thread);
  if (!h) {
    d.eventLog->Error("Service failed on start: " + ErrorText(::GetLastError()));
    d.status = 1;
    return;
  }
  {
    std::lock_guard lock(d.thread->NativeSide().mu);
    d.thread->NativeSide().status = h;
    d.thread->NativeSide().preshutdownBudgetMs = PreshutdownTimeoutMs(*d.service);
  }
  d.status = RunServiceInForeground(*d.service, *d.thread, *d.eventLog);
}

}  // namespace

int RunService(const ServiceDefinition& service, ServiceThread& thread, EventLog& eventLog) {
  // Under the Service Control Manager there is no console to stop from.
  if (thread.NativeSide().consoleHandler) {
    ::SetConsoleCtrlHandler(ConsoleControl, FALSE);
    thread.NativeSide().consoleHandler = false;
  }
  Dispatch d;
  d.service = &service;
  d.thread = &thread;
  d.eventLog = &eventLog;
  d.name = Widen(service.name);
  dispatch = &d;
  SERVICE_TABLE_ENTRYW table[] = {{d.name.data(), ServiceMain}, {nullptr, nullptr}};
  const BOOL ok = ::StartServiceCtrlDispatcherW(table);
  const DWORD err = ok ? 0 : ::GetLastError();
  dispatch = nullptr;
  if (ok) return d.status;
  if (err == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
    ConsoleErr() << "Service \"" << service.displayName
              << "\" runs under the Service Control Manager: register it with /INSTALL and start "
                 "it with \"net start "
              << service.name << "\", or run it in the foreground with /CONSOLE" << std::endl;
  else
    ConsoleErr() << "Service \"" << service.displayName
              << "\" could not connect to the Service Control Manager: " << ErrorText(err)
              << std::endl;
  return 1;
}

std::string ServiceUnitFolder() { return {}; }

// ---------------------------------------------------------------------------
// Registering and removing

namespace {

class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE h) : FHandle(h) {}
  ~ScHandle() {
    if (FHandle) ::CloseServiceHandle(FHandle);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return FHandle; }

 private:
  SC_HANDLE FHandle;
};

// Whether a person may see a window of this process: its window station is
// the visible one (WinSta0 of a logged-on session). A service, a task run
// without a logged-on user or a deployment tool in session 0 has an
// invisible one, where a message box would wait forever for a click nobody
// can give.
bool InteractiveSession() {
  HWINSTA station = ::GetProcessWindowStation();
  if (!station) return false;
  USEROBJECTFLAGS flags{};
  if (!::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// The text on the console, and in a message box as well when someone is there
// to close it: never with /SILENT, in a session nobody sees, or with the
// environment variable PAGVIGIA_NO_MESSAGE_BOX set.
void Tell(const ServiceDefinition& service, const std::string& text, bool failure, bool silent,
          std::ostream& stream) {
  stream << text << std::endl;
  const char* quiet = std::getenv("PAGVIGIA_NO_MESSAGE_BOX");
  if (silent || (quiet && *quiet) || !InteractiveSession()) return;
  ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(service.displayName).c_str(),
                MB_OK | MB_SETFOREGROUND | (failure ? MB_ICONERROR : MB_ICONINFORMATION));
}

int Fail(const ServiceDefinition& service, const char* what, DWORD err, bool silent, std::ostream& stream) {
  Tell(service, "Service \"" + service.displayName + "\" could not be " + what + ": " + ErrorText(err),
       true, silent, stream);
  return 1;
}

// The event log's key of the program's event source (named after its file,
// as the event log writes it).
constexpr DWORD kRestartDelayMs = 60000;

std::wstring EventSourceKey(const std::string& exePath) {
  std::string name = ExtractFileName(exePath);
  if (name.empty()) name = "Pagvigia.exe";
  return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + Widen(name);
}

// The Event Viewer finds the text of the program's entries in the program's
// own message table.
void RegisterEventMessages(const std::string& exePath) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, EventSourceKey(exePath).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
    return;
  const std::wstring file = Widen(exePath);
  ::RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  ::RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
  ::RegCloseKey(key);
}

// A service process that ends without being asked (a crash) is started
// again after a minute, at most three times a day.
void RestartAfterFailure(SC_HANDLE service) {
  SC_ACTION actions[3];
  for (SC_ACTION& a : actions) a = SC_ACTION{SC_ACTION_RESTART, kRestartDelayMs};
  SERVICE_FAILURE_ACTIONSW info{};
  info.dwResetPeriod = 24 * 60 * 60;
  info.cActions = 3;
  info.lpsaActions = actions;
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info);
}

}  // namespace

int InstallService(const ServiceDefinition& service, const std::string& exePath, bool silent,
                   std::ostream& out, std::ostream& err) {
  ScHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!scm.get()) return Fail(service, "installed", ::GetLastError(), silent, err);
  // The program's full path, quoted so that a folder with blanks is no
  // other program's.
  const std::wstring command = L"\"" + Widen(exePath) + L"\"";
  ScHandle created(::CreateServiceW(scm.get(), Widen(service.name).c_str(),
                                    Widen(service.displayName).c_str(), SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                    SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                    nullptr, nullptr, nullptr));
  if (!created.get()) return Fail(service, "installed", ::GetLastError(), silent, err);
  // At shutdown the system waits this long for the service to stop: one
  // exchange with the Integrador and the rest of the stop. Should the system
  // refuse it, its default (three minutes) stands, which covers an exchange
  // with the Integrador's usual time limit.
  if (const std::int64_t preshutdownMs = PreshutdownTimeoutMs(service); preshutdownMs > 0) {
    SERVICE_PRESHUTDOWN_INFO info{};
    info.dwPreshutdownTimeout = static_cast<DWORD>(preshutdownMs);
    ::ChangeServiceConfig2W(created.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO, &info);
  }
  RestartAfterFailure(created.get());
  RegisterEventMessages(exePath);
  if (!silent) Tell(service, "Service installed successfully", false, silent, out);
  return 0;
}

int UninstallService(const ServiceDefinition& service, bool silent, std::ostream& out,
                     std::ostream& err) {
  ScHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!scm.get()) return Fail(service, "uninstalled", ::GetLastError(), silent, err);
  ScHandle existing(::OpenServiceW(scm.get(), Widen(service.name).c_str(), DELETE));
  if (!existing.get()) return Fail(service, "uninstalled", ::GetLastError(), silent, err);
  if (!::DeleteService(existing.get())) return Fail(service, "uninstalled", ::GetLastError(), silent, err);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, EventSourceKey(ExecutablePath()).c_str());
  if (!silent) Tell(service, "Service uninstalled successfully", false, silent, out);
  return 0;
}

}  // namespace pagvigia::platform
