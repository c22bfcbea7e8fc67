#include "util/datetime.h"

#include <cmath>
#include <cstdio>

#include "util/conversao.h"
#include "util/texto.h"

namespace pagvigia {

namespace {

constexpr double kMsPerDay = 86400000.0;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : d[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date (and back).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (!IsValidDate(year, month, day)) return false;
  out = TDateTime(static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                      kEpochOffset));
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return false;
  out = TDateTime((((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime r;
  if (!TryEncodeTime(hour, minute, second, millisecond, r)) throw EConvertError("Invalid argument to time encode");
  return r;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const double d = EncodeDate(year, month, day).value;
  const double t = EncodeTime(hour, minute, second, millisecond).value;
  // Before the zero point the fraction still counts forward from midnight.
  return TDateTime(d >= 0 ? d + t : d - t);
}

TDateTimeParts DecodeDateTime(TDateTime dt) {
  TDateTimeParts p;
  if (!std::isfinite(dt.value) || std::fabs(dt.value) > 3e6) return p;  // beyond any representable date
  double whole = std::trunc(dt.value);
  std::int64_t ms = std::llround(std::fabs(dt.value - whole) * kMsPerDay);
  if (ms >= static_cast<std::int64_t>(kMsPerDay)) {
    ms -= static_cast<std::int64_t>(kMsPerDay);
    whole += dt.value >= 0 ? 1 : -1;
  }
  CivilFromDays(static_cast<std::int64_t>(whole) + kEpochOffset, p.year, p.month, p.day);
  p.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  p.second = static_cast<int>(ms % 60);
  ms /= 60;
  p.minute = static_cast<int>(ms % 60);
  p.hour = static_cast<int>(ms / 60);
  return p;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  const TDateTimeParts p = DecodeDateTime(dt);
  year = p.year;
  month = p.month;
  day = p.day;
}

void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& millisecond) {
  const TDateTimeParts p = DecodeDateTime(dt);
  hour = p.hour;
  minute = p.minute;
  second = p.second;
  millisecond = p.millisecond;
}

TDateTime DateOf(TDateTime dt) {
  const TDateTimeParts p = DecodeDateTime(dt);
  TDateTime r;
  TryEncodeDate(p.year, p.month, p.day, r);
  return r;
}

TDateTime TimeOf(TDateTime dt) {
  const TDateTimeParts p = DecodeDateTime(dt);
  TDateTime r;
  TryEncodeTime(p.hour, p.minute, p.second, p.millisecond, r);
  return r;
}

TDateTime FromPlatform(const platform::DateTime& d) {
  return EncodeDateTime(d.year, d.month, d.day, d.hour, d.minute, d.second, d.millisecond);
}

platform::DateTime ToPlatform(TDateTime dt) {
  const TDateTimeParts p = DecodeDateTime(dt);
  return platform::DateTime{p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond};
}

TDateTime Now(platform::Clock& clock) { return FromPlatform(clock.LocalNow()); }

std::string FormatDateTime(std::string_view format, TDateTime dt) {
  const TDateTimeParts p = DecodeDateTime(dt);
  std::string r;
  auto num = [&r](int v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, v);
    r += buf;
  };
  bool afterHour = false;
  std::size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    const char lc = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    std::size_t run = 1;
    while (i + run < format.size() &&
           static_cast<char>(format[i + run] >= 'A' && format[i + run] <= 'Z' ? format[i + run] + 32
                                                                              : format[i + run]) == lc)
      ++run;
    switch (lc) {
      case '"':
      case '\'': {
        const std::size_t end = format.find(c, i + 1);
        const std::size_t stop = end == std::string_view::npos ? format.size() : end;
        r.append(format.substr(i + 1, stop - i - 1));
        i = end == std::string_view::npos ? format.size() : end + 1;
        continue;
      }
      case 'd': num(p.day, run >= 2 ? 2 : 1); afterHour = false; break;
      case 'm':
        if (afterHour)
          num(p.minute, run >= 2 ? 2 : 1);
        else
          num(p.month, run >= 2 ? 2 : 1);
        afterHour = false;
        break;
      case 'y':
        if (run >= 3)
          num(p.year, 4);
        else
          num(p.year % 100, 2);
        afterHour = false;
        break;
      case 'h': num(p.hour, run >= 2 ? 2 : 1); afterHour = true; break;
      case 'n': num(p.minute, run >= 2 ? 2 : 1); afterHour = false; break;
      case 's': num(p.second, run >= 2 ? 2 : 1); afterHour = false; break;
      case 'z': num(p.millisecond, run >= 3 ? 3 : 1); afterHour = false; break;
      default: r.append(format.substr(i, run)); break;
    }
    i += run;
  }
  return r;
}

std::string DateTimeToStr(TDateTime dt) {
  const TDateTimeParts p = DecodeDateTime(dt);
  if (p.hour == 0 && p.minute == 0 && p.second == 0) return FormatDateTime("dd/mm/yyyy", dt);
  return FormatDateTime("dd/mm/yyyy hh:nn:ss", dt);
}

namespace {

// Reads 1 to maxDigits decimal digits.
bool ReadNum(std::string_view s, std::size_t& i, int maxDigits, int& v) {
  const std::size_t start = i;
  v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && static_cast<int>(i - start) < maxDigits)
    v = v * 10 + (s[i++] - '0');
  return i > start;
}

bool ReadTime(std::string_view s, std::size_t& i, TDateTime& t) {
  int h = 0, n = 0, sec = 0, ms = 0;
  if (!ReadNum(s, i, 2, h) || i >= s.size() || s[i] != ':') return false;
  ++i;
  if (!ReadNum(s, i, 2, n)) return false;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (!ReadNum(s, i, 2, sec)) return false;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
      ++i;
      const std::size_t st = i;
      if (!ReadNum(s, i, 3, ms)) return false;
      for (std::size_t k = i - st; k < 3; ++k) ms *= 10;
    }
  }
  return TryEncodeTime(h, n, sec, ms, t);
}

}  // namespace

TDateTime StrToDateTime(std::string_view text) {
  const std::string t = Trim(text);
  const std::string_view s = t;
  const auto fail = [&]() -> TDateTime { throw EConvertError("'" + t + "' is not a valid date and time"); };
  std::size_t i = 0;
  int a = 0, b = 0, c = 0;
  TDateTime date, time;
  const std::size_t colon = s.find(':');
  const std::size_t sep = s.find_first_of("/-");
  if (colon != std::string_view::npos && (sep == std::string_view::npos || colon < sep)) {
    if (!ReadTime(s, i, time) || i != s.size()) return fail();
    return time;
  }
  if (!ReadNum(s, i, 4, a) || i >= s.size()) return fail();
  const char ds = s[i];
  if (ds != '/' && ds != '-') return fail();
  ++i;
  if (!ReadNum(s, i, 2, b) || i >= s.size() || s[i] != ds) return fail();
  ++i;
  if (!ReadNum(s, i, 4, c)) return fail();
  const bool ok = ds == '-' ? TryEncodeDate(a, b, c, date) : TryEncodeDate(c, b, a, date);
  if (!ok) return fail();
  if (i == s.size()) return date;
  if (s[i] != ' ' && s[i] != 'T') return fail();
  while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
  if (!ReadTime(s, i, time) || i != s.size()) return fail();
  return TDateTime(date.value + time.value);
}

}  // namespace pagvigia
