#include "service/timer.h"

#include <algorithm>

namespace pagvigia {

TTimer::TTimer(platform::Clock& clock, platform::Sleeper& sleeper, std::int64_t sliceMs)
    : clock_(clock), sleeper_(sleeper), sliceMs_(std::max<std::int64_t>(1, sliceMs)) {
  worker_ = std::thread([this] { Run(); });
}

TTimer::~TTimer() { Shutdown(); }

void TTimer::Shutdown() {
  {
    std::lock_guard lock(mu_);
    quit_ = true;
    enabled_ = false;
  }
  cv_.notify_all();
  if (worker_.joinable()) {
    if (worker_.get_id() == std::this_thread::get_id())
      worker_.detach();  // destroyed from its own handler: nothing left to wait for
    else
      worker_.join();
  }
}

bool TTimer::Enabled() const {
  std::lock_guard lock(mu_);
  return enabled_;
}

void TTimer::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(mu_);
    if (quit_) return;
    enabled_ = enabled;
    if (enabled) deadline_ = clock_.NowMs() + interval_;
  }
  cv_.notify_all();
}

std::int64_t TTimer::Interval() const {
  std::lock_guard lock(mu_);
  return interval_;
}

void TTimer::SetInterval(std::int64_t ms) {
  {
    std::lock_guard lock(mu_);
    interval_ = std::max<std::int64_t>(1, ms);
    if (enabled_) deadline_ = clock_.NowMs() + interval_;
  }
  cv_.notify_all();
}

void TTimer::SetOnTimer(Handler h) {
  std::lock_guard lock(mu_);
  onTimer_ = std::move(h);
}

void TTimer::SetOnException(ExceptionHandler h) {
  std::lock_guard lock(mu_);
  onException_ = std::move(h);
}

bool TTimer::Busy() const {
  std::lock_guard lock(mu_);
  return busy_;
}

void TTimer::Run() {
  std::unique_lock lock(mu_);
  for (;;) {
    if (quit_) return;
    if (!enabled_) {
      cv_.wait(lock, [this] { return quit_ || enabled_; });
      continue;
    }
    const std::int64_t now = clock_.NowMs();
    if (now < deadline_) {
      // Wait a slice outside the lock, then look at the schedule again.
      const std::int64_t slice = std::min(deadline_ - now, sliceMs_);
      lock.unlock();
      sleeper_.SleepMs(slice);
      lock.lock();
      continue;
    }
    // Due: the next event comes one interval later unless the handler
    // changes the schedule (which the polling cycle always does).
    deadline_ = now + interval_;
    busy_ = true;
    Handler handler = onTimer_;
    ExceptionHandler onException = onException_;
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
    busy_ = false;
    cv_.notify_all();
  }
}

}  // namespace pagvigia
