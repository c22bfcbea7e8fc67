// The timer that drives the polling cycle, on a manual clock: when events
// come, that they never overlap, and that stopping waits for a running one.
#include "service/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pagvigia {
namespace {

using namespace std::chrono_literals;

// A sleeper that waits a little real time and leaves the manual clock alone:
// time then moves only when the test moves it.
class RealNap : public platform::Sleeper {
 public:
  void SleepMs(std::int64_t) override { std::this_thread::sleep_for(1ms); }
};

// Records the clock at the start and end of every event.
struct Recorder {
  std::mutex mu;
  std::vector<std::pair<std::int64_t, std::int64_t>> cycles;
  std::size_t Count() {
    std::lock_guard lock(mu);
    return cycles.size();
  }
  bool WaitFor(std::size_t n, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Count() < n) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
};

// The polling cycle's pattern: off first, work for `workMs`, on again last.
void CycleLike(TTimer& timer, platform::ManualClock& clock, Recorder& rec, std::int64_t workMs) {
  timer.SetEnabled(false);
  const std::int64_t start = clock.NowMs();
  clock.Advance(workMs);
  {
    std::lock_guard lock(rec.mu);
    rec.cycles.emplace_back(start, clock.NowMs());
  }
  timer.SetEnabled(true);
}

TEST(Timer, FirstEventOneIntervalAfterEnablingAndEachNextOneIntervalAfterThePreviousEnded) {
  platform::ManualClock clock;
  Recorder rec;
  TTimer timer(clock, clock, 1000);
  timer.SetInterval(60000);
  int n = 0;
  timer.SetOnTimer([&] {
    // The second event lasts longer than the interval itself.
    CycleLike(timer, clock, rec, ++n == 2 ? 90000 : 250);
    if (n == 4) timer.SetEnabled(false);
  });
  const std::int64_t t0 = clock.NowMs();
  timer.SetEnabled(true);
  ASSERT_TRUE(rec.WaitFor(4));
  timer.Shutdown();
  ASSERT_EQ(rec.cycles.size(), 4u);
  EXPECT_EQ(rec.cycles[0].first, t0 + 60000);
  for (std::size_t i = 1; i < rec.cycles.size(); ++i)
    EXPECT_EQ(rec.cycles[i].first, rec.cycles[i - 1].second + 60000) << i;
  EXPECT_EQ(rec.cycles[1].second - rec.cycles[1].first, 90000);
}

TEST(Timer, NoEventBeforeTheIntervalHasPassedAndNoneWhenSwitchedOffInTime) {
  platform::ManualClock clock;
  RealNap nap;
  std::atomic<int> events{0};
  TTimer timer(clock, nap, 1000);
  timer.SetInterval(60000);
  timer.SetOnTimer([&] { ++events; });
  timer.SetEnabled(true);
  clock.Advance(59999);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(events.load(), 0);
  timer.SetEnabled(false);  // stopped within the interval: no event at all
  clock.Advance(600000);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(events.load(), 0);
  timer.SetEnabled(true);  // a fresh interval from now
  clock.Advance(59999);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(events.load(), 0);
  clock.Advance(1);
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (events.load() == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(events.load(), 1);
}

TEST(Timer, EventsNeverOverlapAndAnEscapingExceptionGoesToTheHandler) {
  platform::ManualClock clock;
  TTimer timer(clock, clock, 7);
  timer.SetInterval(10);
  std::atomic<int> inside{0}, maxInside{0}, events{0};
  std::vector<std::string> errors;
  timer.SetOnException([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      errors.push_back(ex.what());
    }
  });
  timer.SetOnTimer([&] {
    const int now = ++inside;
    maxInside = std::max(maxInside.load(), now);
    // Re-enabling from inside the event must not start a second one at once.
    timer.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    --inside;
    if (++events % 10 == 0) throw std::runtime_error("cycle failed");
  });
  timer.SetEnabled(true);
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (events.load() < 50 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  timer.Shutdown();
  EXPECT_GE(events.load(), 50);
  EXPECT_EQ(maxInside.load(), 1);
  ASSERT_GE(errors.size(), 5u);
  EXPECT_EQ(errors[0], "cycle failed");
}

TEST(Timer, ShutdownWaitsForTheRunningEventAndNoneFollows) {
  platform::ManualClock clock;
  TTimer timer(clock, clock, 1000);
  timer.SetInterval(100);
  std::promise<void> entered, release;
  auto releaseFuture = release.get_future();
  std::atomic<int> events{0}, finished{0};
  timer.SetOnTimer([&] {
    timer.SetEnabled(false);
    if (++events == 1) {
      entered.set_value();
      releaseFuture.wait();
    }
    ++finished;
    timer.SetEnabled(true);  // as the cycle's clean-up does
  });
  timer.SetEnabled(true);
  entered.get_future().wait();
  EXPECT_TRUE(timer.Busy());
  auto stopping = std::async(std::launch::async, [&] { timer.Shutdown(); });
  EXPECT_EQ(stopping.wait_for(50ms), std::future_status::timeout);  // not cut short
  release.set_value();
  stopping.wait();
  EXPECT_EQ(finished.load(), 1);
  clock.Advance(1000000);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(events.load(), 1);
  EXPECT_FALSE(timer.Enabled());
}

}  // namespace
}  // namespace pagvigia
