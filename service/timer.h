// The periodic timer that drives the polling cycle. Its events run one at a
// time on a worker thread of its own: never two at once. Enabling it (again)
// starts a fresh interval, so a handler that switches the timer off first and
// on again last gets its next event one interval after it ended.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace pagvigia {

class TTimer {
 public:
  using Handler = std::function<void()>;
  // Receives every exception that escapes the handler (the timer goes on).
  using ExceptionHandler = std::function<void(std::exception_ptr)>;

  // The clock measures the interval; the sleeper waits in slices of at most
  // `sliceMs` so that switching the timer off or destroying it is noticed
  // soon.
  TTimer(platform::Clock& clock, platform::Sleeper& sleeper, std::int64_t sliceMs = 50);
  ~TTimer();  // waits for a running event to end
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const;
  // Switching on (also when already on) restarts the interval from now.
  void SetEnabled(bool enabled);
  std::int64_t Interval() const;
  void SetInterval(std::int64_t ms);  // restarts the interval when enabled
  void SetOnTimer(Handler h);
  void SetOnException(ExceptionHandler h);

  // True while the handler runs.
  bool Busy() const;
  // Stops the worker after the running event, if any; no event runs later.
  void Shutdown();

 private:
  void Run();

  platform::Clock& FClock;
  platform::Sleeper& FSleeper;
  const std::int64_t FSliceMs;
  mutable std::mutex FMu;
  std::condition_variable FCv;
  bool FEnabled = false;
  bool FQuit = false;
  bool FBusy = false;
  std::int64_t FInterval = 60000;
  std::int64_t FDeadline = 0;
  Handler FOnTimer;
  ExceptionHandler FOnException;
  std::thread FWorker;
};

}  // namespace pagvigia
