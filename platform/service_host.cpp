// The parts of the service host that are the same on every platform: the
// command line, the requests and states of the service thread, and the run
// of the service in the foreground.
#include "platform/service_host.h"

#include <algorithm>
#include <exception>

namespace pagvigia::platform {

bool FindCmdLineSwitch(int argc, const char* const* argv, std::string_view name) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i] ? argv[i] : "";
    if (arg.substr(0, 2) == "--")
      arg.remove_prefix(2);
    else if (!arg.empty() && (arg.front() == '-' || arg.front() == '/'))
      arg.remove_prefix(1);
    else
      continue;
    if (arg.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < arg.size() && same; ++k) {
      const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
      same = lower(arg[k]) == lower(name[k]);
    }
    if (same) return true;
  }
  return false;
}

const char* BuildPlatform() {
#if defined(_WIN64)
  return "Windows x64";
#elif defined(_WIN32)
  return "Windows x86";
#elif defined(__linux__) && defined(__x86_64__)
  return "Linux x86_64";
#elif defined(__linux__) && defined(__i386__)
  return "Linux x86";
#elif defined(__linux__) && defined(__aarch64__)
  return "Linux aarch64";
#else
  return "POSIX";
#endif
}

// ---------------------------------------------------------------------------
// ServiceThread

bool ServiceThread::Terminated() const {
  std::lock_guard lock(FMutex);
  return FTerminated;
}

bool ServiceThread::StopCannotWait() const {
  std::lock_guard lock(FMutex);
  return FStopCannotWait;
}

ServiceState ServiceThread::State() const {
  std::lock_guard lock(FMutex);
  return FState;
}

void ServiceThread::Controller(ServiceRequest request) {
  {
    std::lock_guard lock(FMutex);
    FQueue.push_back(request);
  }
  Wake();
}

bool ServiceThread::TakeQueued(ServiceRequest& request) {
  std::lock_guard lock(FMutex);
  if (FQueue.empty()) return false;
  request = FQueue.front();
  FQueue.erase(FQueue.begin());
  return true;
}

void ServiceThread::ReportState(ServiceState state) {
  ServiceState before;
  {
    std::lock_guard lock(FMutex);
    before = FState;
    FState = state;
  }
  Announce(before, state);
}

void ServiceThread::Handle(ServiceRequest request) {
  const ServiceState state = State();
  switch (request) {
    case ServiceRequest::Stop:
    case ServiceRequest::StopNow:
      {
        std::lock_guard lock(FMutex);
        // A stop asked again does not wait any longer than it has.
        if (FTerminated || request == ServiceRequest::StopNow) FStopCannotWait = true;
        if (FTerminated) return;
        FTerminated = true;
      }
      ReportState(ServiceState::StopPending);
      break;
    case ServiceRequest::Pause:
      if (state == ServiceState::Running) ReportState(ServiceState::Paused);
      break;
    case ServiceRequest::Continue:
      if (state == ServiceState::Paused) ReportState(ServiceState::Running);
      break;
    case ServiceRequest::Interrogate:
      ReportState(state);
      break;
  }
}

void ServiceThread::ProcessRequests(bool waitForMessage) {
  for (;;) {
    HandleSystemRequests();
    ServiceRequest request;
    while (TakeQueued(request)) Handle(request);
    if (!waitForMessage || Terminated()) return;
    WaitForRequest(-1);
  }
}

void ServiceThread::ProcessRequestsFor(std::int64_t maxWaitMs) {
  bool handled = false;
  for (int pass = 0; pass < 2 && !handled; ++pass) {
    if (pass == 1) WaitForRequest(maxWaitMs);
    HandleSystemRequests();
    ServiceRequest request;
    while (TakeQueued(request)) {
      Handle(request);
      handled = true;
    }
  }
}

StopDeadline PlanStopDeadline(std::int64_t budgetMs) {
  StopDeadline plan;
  if (budgetMs <= 0) return plan;
  // A short budget is shared: half to wait for the answer, half after it.
  plan.abandonAfterMs = budgetMs - std::min(kStopAfterAbandonMs, budgetMs / 2);
  plan.reportsEndAfterMs = budgetMs;
  return plan;
}

std::int64_t PreshutdownTimeoutMs(const ServiceDefinition& service) {
  return service.stopTimeoutSec > 0 ? static_cast<std::int64_t>(service.stopTimeoutSec) * 1000 : 0;
}

int RunServiceInForeground(const ServiceDefinition& service, ServiceThread& thread,
                           EventLog& eventLog) {
  thread.ReportState(ServiceState::StartPending);
  thread.ReportState(ServiceState::Running);
  int status = 0;
  try {
    if (service.execute) service.execute(thread);
  } catch (const std::exception& e) {
    eventLog.Error(std::string("Service failed on execute: ") + e.what());
    status = 1;
  } catch (...) {
    eventLog.Error("Service failed on execute: unknown exception");
    status = 1;
  }
  thread.ProcessRequests(false);
  thread.SetExitStatus(status);
  thread.ReportState(ServiceState::Stopped);
  return status;
}

}  // namespace pagvigia::platform
