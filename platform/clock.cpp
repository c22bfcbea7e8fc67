#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <random>
#include <thread>

#ifdef _WIN32
#include "platform/win_text.h"
#endif

namespace pagvigia::platform {
namespace {

std::tm UtcCalendar(std::time_t t) {
  std::tm tm{};
#ifdef _WIN32
  ::gmtime_s(&tm, &t);
#else
  ::gmtime_r(&t, &tm);
#endif
  return tm;
}

std::time_t FromUtcCalendar(std::tm* tm) {
#ifdef _WIN32
  return ::_mkgmtime(tm);
#else
  return ::timegm(tm);
#endif
}

#ifdef _WIN32
// What the Windows clock shows. The C library's local time takes its time
// zone once, at start (or from TZ), so a service running for months would
// keep the old offset across a change of time zone or of its rules.
DateTime SystemLocalNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}
#else
DateTime SystemLocalNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  DateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  d.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return d;
}
#endif

class RealClock final : public Clock, public Sleeper {
 public:
  std::int64_t NowMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  DateTime LocalNow() override { return SystemLocalNow(); }
  void SleepMs(std::int64_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

RealClock& Real() {
  static RealClock clock;
  return clock;
}

}  // namespace

Clock& SystemClock() { return Real(); }
Sleeper& SystemSleeper() { return Real(); }

DateTime ManualClock::LocalNow() {
  DateTime base;
  {
    std::lock_guard lock(FMutex);
    base = FBase;
  }
  // Add the elapsed milliseconds to the base moment through the C calendar.
  const std::int64_t elapsed = FNowMs.load() - FStartMs;
  std::tm tm{};
  tm.tm_year = base.year - 1900;
  tm.tm_mon = base.month - 1;
  tm.tm_mday = base.day;
  tm.tm_hour = base.hour;
  tm.tm_min = base.minute;
  tm.tm_sec = base.second;
  std::int64_t ms = base.millisecond + elapsed;
  std::int64_t secs = ms / 1000;
  ms %= 1000;
  if (ms < 0) {
    ms += 1000;
    --secs;
  }
  tm.tm_sec += static_cast<int>(secs);
  const std::time_t t = FromUtcCalendar(&tm);
  const std::tm out = UtcCalendar(t);
  return DateTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour,
                  out.tm_min,         out.tm_sec,     static_cast<int>(ms)};
}

int RandomInt(int upperInclusive) {
  static std::mutex mu;
  static std::mt19937 gen(static_cast<std::uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::lock_guard lock(mu);
  std::uniform_int_distribution<int> dist(0, upperInclusive);
  return dist(gen);
}

}  // namespace pagvigia::platform
