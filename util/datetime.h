// A calendar date and time as a number of days since 1899-12-30 00:00 (the
// zero point, which also stands for "no date"); the fraction is the time of
// day. Differences of two values are durations in days.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "util/conversao.h"

namespace pagvigia {

struct TDateTime {
  double value = 0.0;
  constexpr TDateTime() = default;
  constexpr explicit TDateTime(double days) : value(days) {}
  friend bool operator==(const TDateTime&, const TDateTime&) = default;
};

// Raise EConvertError for an impossible date or time (month 13, 30 February,
// hour 24, ...). Years 1 to 9999.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out);
bool IsValidDate(int year, int month, int day);

struct TDateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
// Rounded to the nearest millisecond.
TDateTimeParts DecodeDateTime(TDateTime dt);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& millisecond);
// The date part / the time part.
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt);

TDateTime FromPlatform(const platform::DateTime& dt);
platform::DateTime ToPlatform(TDateTime dt);
// The local wall-clock time of a clock (the system clock by default).
TDateTime Now(platform::Clock& clock = platform::SystemClock());

// Formats with the patterns "d", "dd", "m", "mm", "yy", "yyyy", "h", "hh",
// "n", "nn", "s", "ss", "z", "zzz" (letters in any case; "mm" right after an
// hour is still the month: use "nn" for minutes, as the logs of this program
// do), text in double or single quotes copied; any other character copied.
// Examples: "dd/mm/yyyy hh:nn:ss", "dd/mm/yy hh:nn:ss:zzz".
std::string FormatDateTime(std::string_view format, TDateTime dt);
// "dd/mm/yyyy hh:nn:ss" (the time left out when it is midnight).
std::string DateTimeToStr(TDateTime dt);
// "dd/mm/yyyy", "yyyy-mm-dd", each optionally followed by a blank or "T" and
// "hh:nn[:ss[.zzz]]"; or a time alone "hh:nn[:ss]". Raises EConvertError.
TDateTime StrToDateTime(std::string_view s);

}  // namespace pagvigia
