// Time as the program sees it: an injectable clock and sleeper, so that the
// time limits of the Integrador exchange and the polling interval can be
// tested in milliseconds.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

namespace pagvigia::platform {

// A local calendar moment with milliseconds.
struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a steady scale (only differences matter).
  virtual std::int64_t NowMs() = 0;
  // The local wall-clock time.
  virtual DateTime LocalNow() = 0;
};

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMs(std::int64_t ms) = 0;
};

// The real clock and sleeper of the process.
Clock& SystemClock();
Sleeper& SystemSleeper();

// A clock that only moves when told to, and a sleeper that moves it instead
// of waiting: for tests of timing rules. Thread-safe.
class ManualClock : public Clock, public Sleeper {
 public:
  explicit ManualClock(std::int64_t startMs = 1'000'000) : FNowMs(startMs), FStartMs(startMs) {}
  std::int64_t NowMs() override { return FNowMs.load(); }
  DateTime LocalNow() override;
  void SleepMs(std::int64_t ms) override {
    FNowMs += ms;
    FSlept += ms;
  }
  void Advance(std::int64_t ms) { FNowMs += ms; }
  std::int64_t TotalSlept() const { return FSlept.load(); }
  // The calendar moment that corresponds to NowMs() == startMs.
  void SetBase(const DateTime& base) {
    std::lock_guard lock(FMutex);
    FBase = base;
  }

 private:
  std::atomic<std::int64_t> FNowMs;
  std::atomic<std::int64_t> FSlept{0};
  std::int64_t FStartMs = 1'000'000;
  std::mutex FMutex;
  DateTime FBase{2026, 12, 8, 10, 0, 0, 0};
};

// Process-wide pseudo-random generator, seeded once from a high-resolution
// counter: a uniform integer from 0 to `upperInclusive`.
int RandomInt(int upperInclusive);

}  // namespace pagvigia::platform
