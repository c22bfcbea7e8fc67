#include "service/timer.h"

#include <algorithm>

namespace pagvigia {

TTimer::TTimer(platform::Clock& clock, platform::Sleeper& sleeper, std::int64_t sliceMs)
    : FClock(clock), FSleeper(sleeper), FSliceMs(std::max<std::int64_t>(1, sliceMs)) {
  FWorker = std::thread([this] { Run(); });
}

TTimer::~TTimer() { Shutdown(); }

void TTimer::Shutdown() {
  {
    std::lock_guard lock(FMu);
    FQuit = true;
    FEnabled = false;
  }
  FCv.notify_all();
  if (FWorker.joinable()) {
    if (FWorker.get_id() == std::this_thread::get_id())
      FWorker.detach();  // destroyed from its own handler: nothing left to wait for
    else
      FWorker.join();
  }
}

bool TTimer::Enabled() const {
  std::lock_guard lock(FMu);
  return FEnabled;
}

void TTimer::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(FMu);
    if (FQuit) return;
    FEnabled = enabled;
    if (enabled) FDeadline = FClock.NowMs() + FInterval;
  }
  FCv.notify_all();
}

std::int64_t TTimer::Interval() const {
  std::lock_guard lock(FMu);
  return FInterval;
}

void TTimer::SetInterval(std::int64_t ms) {
  {
    std::lock_guard lock(FMu);
    FInterval = std::max<std::int64_t>(1, ms);
    if (FEnabled) FDeadline = FClock.NowMs() + FInterval;
  }
  FCv.notify_all();
}

void TTimer::SetOnTimer(Handler h) {
  std::lock_guard lock(FMu);
  FOnTimer = std::move(h);
}

void TTimer::SetOnException(ExceptionHandler h) {
  std::lock_guard lock(FMu);
  FOnException = std::move(h);
}

bool TTimer::Busy() const {
  std::lock_guard lock(FMu);
  return FBusy;
}

void TTimer::Run() {
  std::unique_lock lock(FMu);
  for (;;) {
    if (FQuit) return;
    if (!FEnabled) {
      FCv.wait(lock, [this] { return FQuit || FEnabled; });
      continue;
    }
    const std::int64_t now = FClock.NowMs();
    if (now < FDeadline) {
      // Wait a slice outside the lock, then look at the schedule again.
      const std::int64_t slice = std::min(FDeadline - now, FSliceMs);
      lock.unlock();
      FSleeper.SleepMs(slice);
      lock.lock();
      continue;
    }
    // Due: the next event comes one interval later unless the handler
    // changes the schedule (which the polling cycle always does).
    FDeadline = now + FInterval;
    FBusy = true;
    Handler handler = FOnTimer;
    ExceptionHandler onException = FOnException;
    lock.unlock();
    try {
      if (handler) handler();
    } catch (...) {
      if (onException) {
        try {
          onException(std::current_exception());
        } catch (...) {
          // Reporting failed as well; the timer must go on regardless.
        }
      }
    }
    lock.lock();
    FBusy = false;
    FCv.notify_all();
  }
}

}  // namespace pagvigia
