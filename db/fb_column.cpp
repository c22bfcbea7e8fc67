#include "db/fb_column.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/fb_component.h"
#include "db/fb_connection.h"
#include "db/fb_private.h"
#include "platform/codepage.h"

namespace pagvigia {

namespace {

constexpr std::int64_t kPow10[] = {1LL,
                                   10LL,
                                   100LL,
                                   1000LL,
                                   10000LL,
                                   100000LL,
                                   1000000LL,
                                   10000000LL,
                                   100000000LL,
                                   1000000000LL,
                                   10000000000LL,
                                   100000000000LL,
                                   1000000000000LL,
                                   10000000000000LL,
                                   100000000000000LL,
                                   1000000000000000LL,
                                   10000000000000000LL,
                                   100000000000000000LL,
                                   1000000000000000000LL};

std::int64_t Pow10(int n) { return n <= 0 ? 1 : kPow10[n > 18 ? 18 : n]; }

int BytesPerChar(int charSetId) {
  switch (charSetId) {
    case 3: return 3;  // UNICODE_FSS
    case 4: return 4;  // UTF8
    case 5:
    case 6: return 2;
    default: return 1;
  }
}

std::string RightTrim(std::string s) {
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.pop_back();
  return s;
}

// Division rounding half away from zero.
std::int64_t DivRound(std::int64_t v, std::int64_t d) {
  std::int64_t q = v / d, r = v % d;
  if (2 * (r < 0 ? -r : r) >= d) q += v < 0 ? -1 : 1;
  return q;
}

// A decimal text ("-12.345", "," accepted as the separator) as an integer
// scaled to `decimals` places, extra places rounded half away from zero.
bool ParseScaled(const std::string& text, int decimals, std::int64_t& out) {
  std::size_t i = 0;
  bool neg = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
  std::int64_t v = 0;
  bool digits = false;
  bool overflow = false;
  auto push = [&](int d) {
    if (__builtin_mul_overflow(v, 10, &v) || __builtin_add_overflow(v, d, &v)) overflow = true;
  };
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    push(text[i] - '0');
    digits = true;
  }
  int places = 0;
  bool roundUp = false;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    ++i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      if (places < decimals) {
        push(text[i] - '0');
        ++places;
      } else if (places == decimals) {
        roundUp = text[i] >= '5';
        ++places;  // later digits do not matter for half-away rounding
      }
    }
  }
  if (!digits || i != text.size() || overflow) return false;
  for (; places < decimals; ++places) push(0);
  if (roundUp && __builtin_add_overflow(v, 1, &v)) overflow = true;
  if (overflow) return false;
  out = neg ? -v : v;
  return true;
}

std::string FormatScaled(std::int64_t v, int decimals) {
  if (decimals <= 0) return std::to_string(v);
  const bool neg = v < 0;
  std::string digits = std::to_string(v);
  if (neg) digits.erase(0, 1);
  if (static_cast<int>(digits.size()) <= decimals)
    digits.insert(0, static_cast<std::size_t>(decimals + 1 - static_cast<int>(digits.size())), '0');
  digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
  return (neg ? "-" : "") + digits;
}

std::string FormatDouble(double v, bool single) {
  char buf[64];
  auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                  : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool ParseDouble(std::string text, double& out) {
  for (auto& c : text)
    if (c == ',') c = '.';
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end && *end == '\0';
}

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kMjdOffset = 40587;  // 1858-11-17 to 1970-01-01

}  // namespace

std::int32_t FbEncodeDate(int year, int month, int day) {
  return static_cast<std::int32_t>(DaysFromCivil(year, month, day) + kMjdOffset);
}

void FbDecodeDate(std::int32_t days, int& year, int& month, int& day) {
  std::int64_t z = static_cast<std::int64_t>(days) - kMjdOffset + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

// ---------------------------------------------------------------- TFbColumn

TFbColumn::TFbColumn(TFbRow& row, int index, const std::string& name, const TFbColumnDesc& desc)
    : FRow(row),
      FIndex(index),
      FName(name),
      FSQLType(desc.SQLType & ~1),
      FSQLScale(desc.SQLScale),
      FSQLSubType(desc.SQLSubType),
      FSQLLen(desc.SQLLen),
      FCharSetId(0) {
  if (FSQLType == SQL_TEXT || FSQLType == SQL_VARYING) FCharSetId = FSQLSubType & 0xFF;
  if (FSQLType == SQL_BLOB && FSQLSubType == 1) FCharSetId = FSQLScale & 0xFF;
}

int TFbColumn::CharLength() const { return FSQLLen / BytesPerChar(FCharSetId); }

const char* TFbColumn::Data() const { return FRow.Record() + DataOffset; }
char* TFbColumn::Data() { return FRow.Record() + DataOffset; }
std::string& TFbColumn::Blob() { return FRow.Blobs()[FIndex]; }
const std::string& TFbColumn::Blob() const { return FRow.Blobs()[FIndex]; }
const TFbConnection& TFbColumn::Conn() const { return FRow.Conn(); }

bool TFbColumn::IsNull() const {
  short ind;
  std::memcpy(&ind, FRow.Record() + IndOffset, sizeof ind);
  return ind < 0;
}

void TFbColumn::SetIsNull(bool value) {
  const short ind = value ? -1 : 0;
  std::memcpy(FRow.Record() + IndOffset, &ind, sizeof ind);
  if (value && FRow.Blobs()) Blob().clear();
  FSubstituted = 0;
  FRow.ColumnChanged(*this);
}

void TFbColumn::Changed(int substituted) {
  const short ind = 0;
  std::memcpy(FRow.Record() + IndOffset, &ind, sizeof ind);
  FSubstituted = substituted;
  FRow.ColumnChanged(*this);
}

bool TFbColumn::ReplaceBytesOtherSetLacks() {
  if (IsNull() || (FCharSetId != 21 && FCharSetId != 53)) return false;  // ISO8859_1, WIN1252
  char* bytes = Data();
  std::size_t n = static_cast<std::size_t>(FSQLLen);
  if (FSQLType == SQL_VARYING) {
    std::uint16_t len;
    std::memcpy(&len, Data(), 2);
    bytes += 2;
    n = std::min<std::size_t>(len, n);
  } else if (FSQLType != SQL_TEXT) {
    return false;
  }
  int replaced = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b >= 0x80 && b <= 0x9F) {
      bytes[i] = '?';
      ++replaced;
    }
  }
  FSubstituted += replaced;
  return replaced > 0;
}

// The server passes OCTETS and NONE text through untouched. OCTETS stays
// bytes; NONE text was written by the shops' Windows programs in the system's
// ANSI code page, whatever the connection's character set.
std::string TFbColumn::Decode(std::string_view bytes) const {
  if (FCharSetId == 1) return std::string(bytes);
  if (FCharSetId == 0) return platform::AnsiToUtf8(bytes);
  return Conn().FromServer(bytes);
}

std::string TFbColumn::Encode(std::string_view utf8, int& substituted) const {
  std::string bytes = FCharSetId == 1   ? std::string(utf8)
                      : FCharSetId == 0 ? platform::Utf8ToAnsi(utf8)
                                        : Conn().ToServer(utf8);
  // Each character the code page lacks becomes one "?": the question marks
  // the text did not have are the substitutions.
  const auto marks = [](std::string_view t) { return std::count(t.begin(), t.end(), '?'); };
  substituted = static_cast<int>(std::max<std::ptrdiff_t>(marks(bytes) - marks(utf8), 0));
  return bytes;
}

std::string TFbColumn::ApplyTextRules(std::string text) const {
  if (Trimming) text = RightTrim(std::move(text));
  if (CharCase == ccUpper) text = UpperCase(std::move(text));
  if (CharCase == ccLower)
    for (auto& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

void TFbColumn::ConversionError(const std::string& what) const {
  throw EFbStatementError(what + " (" + FName + ")");
}

std::int64_t TFbColumn::TextAsInt64() const {
  const std::string t = Trim(AsString());
  if (t.empty()) return 0;
  std::int64_t v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (r.ec == std::errc() && r.ptr == t.data() + t.size()) return v;
  double d = 0;
  if (ParseDouble(t, d) && std::fabs(d) < 9.2e18) return static_cast<std::int64_t>(std::trunc(d));
  ConversionError("'" + t + "' is not a valid integer value");
}

std::int64_t TFbColumn::TextAsCurrency() const {
  const std::string t = Trim(AsString());
  if (t.empty()) return 0;
  std::int64_t v = 0;
  if (!ParseScaled(t, 4, v)) ConversionError("'" + t + "' is not a valid number");
  return v;
}

double TFbColumn::TextAsDouble() const {
  const std::string t = Trim(AsString());
  if (t.empty()) return 0;
  double d = 0;
  if (!ParseDouble(t, d)) ConversionError("'" + t + "' is not a valid number");
  return d;
}

std::string TFbColumn::AsString() const { ConversionError("Cannot read the column as text"); }
void TFbColumn::SetAsString(const std::string&) { ConversionError("Cannot write the column as text"); }

std::int32_t TFbColumn::AsInteger() const {
  const std::int64_t v = AsInt64();
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    ConversionError("Value " + std::to_string(v) + " is out of the integer range");
  return static_cast<std::int32_t>(v);
}
void TFbColumn::SetAsInteger(std::int32_t value) { SetAsInt64(value); }
std::int64_t TFbColumn::AsInt64() const { return TextAsInt64(); }
void TFbColumn::SetAsInt64(std::int64_t value) { SetAsString(std::to_string(value)); }
std::int64_t TFbColumn::AsCurrency() const { return TextAsCurrency(); }
void TFbColumn::SetAsCurrency(std::int64_t value) { SetAsString(FormatScaled(value, 4)); }
double TFbColumn::AsDouble() const { return TextAsDouble(); }
void TFbColumn::SetAsDouble(double value) { SetAsString(FormatDouble(value, false)); }
bool TFbColumn::AsBoolean() const {
  if (IsNull()) return false;
  if (IsBoolean) return SameText(Trim(AsString()), BooleanTrue);
  return AsInt64() != 0;
}
void TFbColumn::SetAsBoolean(bool value) { SetAsString(value ? BooleanTrue : BooleanFalse); }

// ---------------------------------------------------------------- text

namespace {
// Text for a CHAR/VARCHAR value: rules, length cut, character set, byte cut.
std::string PrepareText(const TFbColumn& c, std::string text, bool noLengthCheck, int charLen) {
  const std::size_t chars = platform::Utf8Length(text);
  if (chars > static_cast<std::size_t>(charLen)) {
    if (!noLengthCheck)
      throw EFbStatementError(c.Name() + " too long: " + std::to_string(charLen) + " characters expected but " +
                              std::to_string(chars) + " characters found");
    text = platform::Utf8Left(text, static_cast<std::size_t>(charLen));
  }
  return text;
}

std::size_t CutBytes(const std::string& bytes, std::size_t max, int charSetId) {
  if (bytes.size() <= max) return bytes.size();
  std::size_t n = max;
  if (charSetId == 3 || charSetId == 4)  // never split a UTF-8 sequence
    while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
  return n;
}
}  // namespace

std::string TFbColumnText::AsString() const {
  if (IsNull()) return "";
  return ApplyTextRules(Decode(std::string_view(Data(), static_cast<std::size_t>(SQLLen()))));
}

void TFbColumnText::SetAsString(const std::string& value) {
  std::string t = ApplyTextRules(value);
  if (t.empty() && BlankIsNull) return SetIsNull(true);
  t = PrepareText(*this, std::move(t), NoLengthCheck, CharLength());
  int substituted = 0;
  const std::string bytes = Encode(t, substituted);
  const std::size_t n = CutBytes(bytes, static_cast<std::size_t>(SQLLen()), CharSetId());
  std::memcpy(Data(), bytes.data(), n);
  std::memset(Data() + n, ' ', static_cast<std::size_t>(SQLLen()) - n);
  Changed(substituted);
}

std::string TFbColumnDB_KEY::AsString() const {
  if (IsNull()) return "";
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < SQLLen(); ++i) {
    const auto b = static_cast<unsigned char>(Data()[i]);
    out += hex[b >> 4];
    out += hex[b & 15];
  }
  return out;
}

std::string TFbColumnVarText::AsString() const {
  if (IsNull()) return "";
  std::uint16_t n;
  std::memcpy(&n, Data(), 2);
  if (n > SQLLen()) n = static_cast<std::uint16_t>(SQLLen());
  return ApplyTextRules(Decode(std::string_view(Data() + 2, n)));
}

void TFbColumnVarText::SetAsString(const std::string& value) {
  std::string t = ApplyTextRules(value);
  if (t.empty() && BlankIsNull) return SetIsNull(true);
  t = PrepareText(*this, std::move(t), NoLengthCheck, CharLength());
  int substituted = 0;
  const std::string bytes = Encode(t, substituted);
  const auto n = static_cast<std::uint16_t>(CutBytes(bytes, static_cast<std::size_t>(SQLLen()), CharSetId()));
  std::memcpy(Data(), &n, 2);
  std::memcpy(Data() + 2, bytes.data(), n);
  Changed(substituted);
}

// ---------------------------------------------------------------- numeric

std::int64_t TFbColumnNumeric::Raw() const {
  switch (SQLType()) {
    case SQL_SHORT: {
      std::int16_t v;
      std::memcpy(&v, Data(), 2);
      return v;
    }
    case SQL_LONG: {
      std::int32_t v;
      std::memcpy(&v, Data(), 4);
      return v;
    }
    case SQL_DOUBLE: {
      double d;
      std::memcpy(&d, Data(), 8);
      return std::llround(d * static_cast<double>(Pow10(-SQLScale())));
    }
    default: {
      std::int64_t v;
      std::memcpy(&v, Data(), 8);
      return v;
    }
  }
}

void TFbColumnNumeric::SetRaw(std::int64_t v) {
  switch (SQLType()) {
    case SQL_SHORT:
      if (v < INT16_MIN || v > INT16_MAX) ConversionError("Value " + std::to_string(v) + " is out of range");
      {
        const auto s = static_cast<std::int16_t>(v);
        std::memcpy(Data(), &s, 2);
      }
      break;
    case SQL_LONG:
      if (v < INT32_MIN || v > INT32_MAX) ConversionError("Value " + std::to_string(v) + " is out of range");
      {
        const auto s = static_cast<std::int32_t>(v);
        std::memcpy(Data(), &s, 4);
      }
      break;
    case SQL_DOUBLE: {
      const double d = static_cast<double>(v) / static_cast<double>(Pow10(-SQLScale()));
      std::memcpy(Data(), &d, 8);
      break;
    }
    default: std::memcpy(Data(), &v, 8);
  }
  Changed();
}

bool TFbColumnNumeric::ParseDecimal(const std::string& text, int decimals, std::int64_t& out) const {
  return ParseScaled(text, decimals, out);
}

std::string TFbColumnNumeric::AsString() const {
  if (IsNull()) return "";
  return FormatScaled(Raw(), -SQLScale());
}

void TFbColumnNumeric::SetAsString(const std::string& value) {
  const std::string t = Trim(value);
  if (t.empty()) return SetIsNull(true);
  std::int64_t v = 0;
  if (!ParseScaled(t, -SQLScale(), v)) ConversionError("'" + t + "' is not a valid number");
  SetRaw(v);
}

std::int32_t TFbColumnNumeric::AsInteger() const { return TFbColumn::AsInteger(); }
void TFbColumnNumeric::SetAsInteger(std::int32_t value) { SetAsInt64(value); }

std::int64_t TFbColumnNumeric::AsInt64() const {
  if (IsNull()) return 0;
  return Raw() / Pow10(-SQLScale());
}

void TFbColumnNumeric::SetAsInt64(std::int64_t value) {
  std::int64_t v = 0;
  if (__builtin_mul_overflow(value, Pow10(-SQLScale()), &v))
    ConversionError("Value " + std::to_string(value) + " is out of range");
  SetRaw(v);
}

std::int64_t TFbColumnNumeric::AsCurrency() const {
  if (IsNull()) return 0;
  const int d = -SQLScale();
  const std::int64_t raw = Raw();
  if (d > 4) return DivRound(raw, Pow10(d - 4));
  std::int64_t v = 0;
  if (__builtin_mul_overflow(raw, Pow10(4 - d), &v)) ConversionError("Value " + AsString() + " is out of the currency range");
  return v;
}

void TFbColumnNumeric::SetAsCurrency(std::int64_t value) {
  const int d = -SQLScale();
  if (d < 4) return SetRaw(DivRound(value, Pow10(4 - d)));
  std::int64_t v = 0;
  if (__builtin_mul_overflow(value, Pow10(d - 4), &v)) ConversionError("Value is out of range");
  SetRaw(v);
}

double TFbColumnNumeric::AsDouble() const {
  if (IsNull()) return 0;
  return static_cast<double>(Raw()) / static_cast<double>(Pow10(-SQLScale()));
}

void TFbColumnNumeric::SetAsDouble(double value) {
  const double scaled = value * static_cast<double>(Pow10(-SQLScale()));
  if (!(std::fabs(scaled) < 9.2e18)) ConversionError("Value is out of range");
  SetRaw(std::llround(scaled));
}

bool TFbColumnNumeric::AsBoolean() const { return !IsNull() && Raw() != 0; }
void TFbColumnNumeric::SetAsBoolean(bool value) { SetAsInt64(value ? 1 : 0); }

// ---------------------------------------------------------------- floating point

double TFbColumnDouble::AsDouble() const {
  if (IsNull()) return 0;
  if (SQLType() == SQL_FLOAT) {
    float f;
    std::memcpy(&f, Data(), 4);
    return f;
  }
  double d;
  std::memcpy(&d, Data(), 8);
  return d;
}

void TFbColumnDouble::SetAsDouble(double value) {
  if (SQLType() == SQL_FLOAT) {
    const auto f = static_cast<float>(value);
    std::memcpy(Data(), &f, 4);
  } else {
    std::memcpy(Data(), &value, 8);
  }
  Changed();
}

std::string TFbColumnDouble::AsString() const {
  if (IsNull()) return "";
  return FormatDouble(AsDouble(), SQLType() == SQL_FLOAT);
}

void TFbColumnDouble::SetAsString(const std::string& value) {
  const std::string t = Trim(value);
  if (t.empty()) return SetIsNull(true);
  double d = 0;
  if (!ParseDouble(t, d)) ConversionError("'" + t + "' is not a valid number");
  SetAsDouble(d);
}

std::int32_t TFbColumnDouble::AsInteger() const { return TFbColumn::AsInteger(); }

std::int64_t TFbColumnDouble::AsInt64() const {
  const double d = AsDouble();
  if (!(std::fabs(d) < 9.2e18)) ConversionError("Value is out of the integer range");
  return static_cast<std::int64_t>(std::trunc(d));
}

void TFbColumnDouble::SetAsInt64(std::int64_t value) { SetAsDouble(static_cast<double>(value)); }

std::int64_t TFbColumnDouble::AsCurrency() const {
  const double d = AsDouble() * 10000.0;
  if (!(std::fabs(d) < 9.2e18)) ConversionError("Value is out of the currency range");
  return std::llround(d);
}

void TFbColumnDouble::SetAsCurrency(std::int64_t value) { SetAsDouble(static_cast<double>(value) / 10000.0); }

// ---------------------------------------------------------------- date and time

namespace {
void PutDigits(std::string& out, unsigned v, int width) {
  char buf[10];
  for (int i = width - 1; i >= 0; --i, v /= 10) buf[i] = static_cast<char>('0' + v % 10);
  out.append(buf, static_cast<std::size_t>(width));
}

std::string FormatDate(std::int32_t days) {
  int y, m, d;
  FbDecodeDate(days, y, m, d);
  std::string out;
  out.reserve(10);
  if (y < 0 || y > 9999) return std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d);
  PutDigits(out, static_cast<unsigned>(y), 4);
  out += '-';
  PutDigits(out, static_cast<unsigned>(m), 2);
  out += '-';
  PutDigits(out, static_cast<unsigned>(d), 2);
  return out;
}

std::string FormatTime(std::uint32_t t) {
  const unsigned frac = t % 10000, s = t / 10000;
  std::string out;
  out.reserve(13);
  PutDigits(out, s / 3600, 2);
  out += ':';
  PutDigits(out, (s / 60) % 60, 2);
  out += ':';
  PutDigits(out, s % 60, 2);
  if (frac) {
    out += '.';
    PutDigits(out, frac, 4);
    while (out.back() == '0') out.pop_back();
  }
  return out;
}

// "YYYY-MM-DD" or "DD/MM/YYYY" or "DD.MM.YYYY".
bool ParseDate(const std::string& s, std::int32_t& days) {
  int a = 0, b = 0, c = 0;
  char s1 = 0, s2 = 0;
  int n = 0;
  if (std::sscanf(s.c_str(), "%d%c%d%c%d%n", &a, &s1, &b, &s2, &c, &n) != 5 || n != static_cast<int>(s.size()))
    return false;
  int y, m, d;
  if (s1 == '-' && s2 == '-') {
    y = a, m = b, d = c;
  } else if ((s1 == '/' && s2 == '/') || (s1 == '.' && s2 == '.')) {
    d = a, m = b, y = c;
  } else {
    return false;
  }
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  days = FbEncodeDate(y, m, d);
  int y2, m2, d2;
  FbDecodeDate(days, y2, m2, d2);
  return y2 == y && m2 == m && d2 == d;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.ffff".
bool ParseTime(const std::string& s, std::uint32_t& t) {
  unsigned h = 0, m = 0, sec = 0;
  std::size_t pos = 0;
  auto num = [&](unsigned& out) {
    std::size_t start = pos;
    out = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - start < 2) out = out * 10 + unsigned(s[pos++] - '0');
    return pos > start;
  };
  if (!num(h) || pos >= s.size() || s[pos++] != ':' || !num(m)) return false;
  unsigned frac = 0;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    if (!num(sec)) return false;
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      unsigned scale = 1000;
      while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        frac += unsigned(s[pos++] - '0') * scale;
        scale /= 10;
      }
    }
  }
  if (pos != s.size() || h > 23 || m > 59 || sec > 59) return false;
  t = ((h * 60 + m) * 60 + sec) * 10000 + frac;
  return true;
}
}  // namespace

std::string TFbColumnTimeStamp::AsString() const {
  if (IsNull()) return "";
  if (SQLType() == SQL_TYPE_DATE) {
    std::int32_t d;
    std::memcpy(&d, Data(), 4);
    return FormatDate(d);
  }
  if (SQLType() == SQL_TYPE_TIME) {
    std::uint32_t t;
    std::memcpy(&t, Data(), 4);
    return FormatTime(t);
  }
  ISC_TIMESTAMP ts;
  std::memcpy(&ts, Data(), sizeof ts);
  return FormatDate(ts.timestamp_date) + " " + FormatTime(ts.timestamp_time);
}

void TFbColumnTimeStamp::SetAsString(const std::string& value) {
  const std::string t = Trim(value);
  if (t.empty()) return SetIsNull(true);
  std::int32_t days = 0;
  std::uint32_t time = 0;
  bool ok = false;
  if (SQLType() == SQL_TYPE_DATE) {
    ok = ParseDate(t, days);
  } else if (SQLType() == SQL_TYPE_TIME) {
    ok = ParseTime(t, time);
  } else {
    const std::size_t sp = t.find_first_of(" T");
    ok = ParseDate(t.substr(0, sp), days) && (sp == std::string::npos || ParseTime(Trim(t.substr(sp + 1)), time));
  }
  if (!ok) ConversionError("'" + t + "' is not a valid date or time");
  if (SQLType() == SQL_TYPE_DATE) {
    std::memcpy(Data(), &days, 4);
  } else if (SQLType() == SQL_TYPE_TIME) {
    std::memcpy(Data(), &time, 4);
  } else {
    ISC_TIMESTAMP ts{days, time};
    std::memcpy(Data(), &ts, sizeof ts);
  }
  Changed();
}

// ---------------------------------------------------------------- boolean

bool TFbColumnBoolean::AsBoolean() const { return !IsNull() && Data()[0] != 0; }

void TFbColumnBoolean::SetAsBoolean(bool value) {
  Data()[0] = value ? 1 : 0;
  Changed();
}

std::string TFbColumnBoolean::AsString() const {
  if (IsNull()) return "UNKNOWN";
  return Data()[0] ? BooleanTrue : BooleanFalse;
}

void TFbColumnBoolean::SetAsString(const std::string& value) {
  const std::string t = Trim(value);
  if (t.empty() || SameText(t, "UNKNOWN")) return SetIsNull(true);
  for (const std::string& yes : {BooleanTrue, std::string("TRUE"), std::string("T"), std::string("1")})
    if (SameText(t, yes)) return SetAsBoolean(true);
  for (const std::string& no : {BooleanFalse, std::string("FALSE"), std::string("F"), std::string("0")})
    if (SameText(t, no)) return SetAsBoolean(false);
  ConversionError("'" + t + "' is not a valid Boolean value");
}

std::int64_t TFbColumnBoolean::AsInt64() const { return AsBoolean() ? 1 : 0; }
void TFbColumnBoolean::SetAsInt64(std::int64_t value) { SetAsBoolean(value != 0); }

// ---------------------------------------------------------------- blobs

std::string TFbColumnBlob::AsString() const {
  if (IsNull()) return "";
  return Blob();
}

void TFbColumnBlob::SetAsString(const std::string& value) { SetAsBytes(value); }

void TFbColumnBlob::SetAsBytes(const std::string& bytes) {
  if (bytes.empty() && BlankIsNull) return SetIsNull(true);
  Blob() = bytes;
  Changed();
}

std::string TFbColumnMemo::AsString() const {
  if (IsNull()) return "";
  return Decode(Blob());
}

void TFbColumnMemo::SetAsString(const std::string& value) {
  if (value.empty() && BlankIsNull) return SetIsNull(true);
  int substituted = 0;
  Blob() = Encode(value, substituted);
  Changed(substituted);
}

std::string TFbColumnArray::AsString() const {
  if (IsNull()) return "";
  ConversionError("Array columns cannot be read as text");
}
void TFbColumnArray::SetAsString(const std::string&) { ConversionError("Array columns cannot be written"); }

// ---------------------------------------------------------------- factory

std::unique_ptr<TFbColumn> FbCreateColumn(TFbRow& row, int index, const std::string& name, const TFbColumnDesc& desc) {
  const int type = desc.SQLType & ~1;
  const bool scaled = desc.SQLScale != 0;
  switch (type) {
    case SQL_VARYING: return std::make_unique<TFbColumnVarText>(row, index, name, desc);
    case SQL_TEXT:
      if ((name == "DB_KEY" || name == "RDB$DB_KEY") && desc.SQLLen % 8 == 0)
        return std::make_unique<TFbColumnDB_KEY>(row, index, name, desc);
      return std::make_unique<TFbColumnText>(row, index, name, desc);
    case SQL_SHORT:
      if (scaled) return std::make_unique<TFbColumnNumeric>(row, index, name, desc);
      return std::make_unique<TFbColumnSmallInt>(row, index, name, desc);
    case SQL_LONG:
      if (scaled) return std::make_unique<TFbColumnNumeric>(row, index, name, desc);
      return std::make_unique<TFbColumnInteger>(row, index, name, desc);
    case SQL_INT64:
      if (scaled) return std::make_unique<TFbColumnNumeric>(row, index, name, desc);
      return std::make_unique<TFbColumnInt64>(row, index, name, desc);
    case SQL_QUAD: return std::make_unique<TFbColumnNumeric>(row, index, name, desc);
    case SQL_DOUBLE:
      if (scaled) return std::make_unique<TFbColumnNumeric>(row, index, name, desc);
      return std::make_unique<TFbColumnDouble>(row, index, name, desc);
    case SQL_FLOAT: return std::make_unique<TFbColumnFloat>(row, index, name, desc);
    case SQL_TIMESTAMP: return std::make_unique<TFbColumnTimeStamp>(row, index, name, desc);
    case SQL_TYPE_DATE: return std::make_unique<TFbColumnDate>(row, index, name, desc);
    case SQL_TYPE_TIME: return std::make_unique<TFbColumnTime>(row, index, name, desc);
    case SQL_BLOB:
      if (desc.SQLSubType == 1) return std::make_unique<TFbColumnMemo>(row, index, name, desc);
      if (desc.SQLSubType == 2) return std::make_unique<TFbColumnBLR>(row, index, name, desc);
      return std::make_unique<TFbColumnBinary>(row, index, name, desc);
    case SQL_ARRAY: return std::make_unique<TFbColumnArray>(row, index, name, desc);
    case SQL_BOOLEAN: return std::make_unique<TFbColumnBoolean>(row, index, name, desc);
    default: throw EFbStatementError("Unsupported column type: " + std::to_string(type));
  }
}

// ---------------------------------------------------------------- TFbRow

TFbRow::TFbRow(TFbRowType kind, const TFbConnection* connection) : FKind(kind), FConnection(connection) {}

TFbColumn* TFbRow::FindColumn(const std::string& name) const {
  for (const auto& c : FColumns)
    if (SameText(c->Name(), name)) return c.get();
  return nullptr;
}

TFbColumn& TFbRow::ByName(const std::string& name) const {
  TFbColumn* c = FindColumn(name);
  if (!c) throw EFbStatementError("FieldName: " + name + " not found");
  return *c;
}

void TFbRow::EndUpdate(bool /*SingleEventOnly*/) {
  if (FUpdateCount > 0) --FUpdateCount;
  if (FUpdateCount == 0 && FPendingChange) {
    FPendingChange = false;
    if (OnChange) OnChange();
  }
}

std::size_t TFbRow::Layout() {
  std::size_t off = 0;
  FHasBlobs = false;
  for (auto& c : FColumns) {
    off = (off + 1) & ~std::size_t{1};
    c->IndOffset = off;
    off += sizeof(short);
    off = (off + 7) & ~std::size_t{7};
    c->DataOffset = off;
    std::size_t size = static_cast<std::size_t>(c->SQLLen());
    if (c->SQLType() == SQL_VARYING) size += 2;
    if (c->SQLType() == SQL_BLOB || c->SQLType() == SQL_ARRAY || c->SQLType() == SQL_QUAD) size = sizeof(ISC_QUAD);
    c->DataSize = size;
    off += size;
    if (c->SQLType() == SQL_BLOB) FHasBlobs = true;
  }
  FRecordSize = (off + 7) & ~std::size_t{7};
  if (FRecordSize == 0) FRecordSize = 8;
  return FRecordSize;
}

void TFbRow::UseOwnRecord() {
  FOwn.reset(new char[FRecordSize]());
  FOwnBlobs.reset(new std::string[FColumns.empty() ? 1 : FColumns.size()]);
  for (auto& c : FColumns) {
    const short ind = -1;
    std::memcpy(FOwn.get() + c->IndOffset, &ind, sizeof ind);
  }
  SetCurrent(FOwn.get(), FOwnBlobs.get());
}

void TFbRow::ColumnChanged(TFbColumn& c) {
  if (FKind == rtParam && !FSyncing) {
    // A name used more than once in the statement takes the same value at
    // every place.
    FSyncing = true;
    try {
      for (auto& other : FColumns) {
        if (other.get() == &c || !SameText(other->Name(), c.Name())) continue;
        if (other->SQLType() == c.SQLType() && other->DataSize == c.DataSize) {
          std::memcpy(FRecord + other->IndOffset, FRecord + c.IndOffset, sizeof(short));
          std::memcpy(FRecord + other->DataOffset, FRecord + c.DataOffset, c.DataSize);
          FBlobs[other->Index()] = FBlobs[c.Index()];
          other->FSubstituted = c.FSubstituted;
        } else if (c.IsNull()) {
          other->SetIsNull(true);
        } else {
          other->SetAsString(c.AsString());
          other->FSubstituted = std::max(other->FSubstituted, c.FSubstituted);
        }
      }
    } catch (...) {
      FSyncing = false;
      throw;
    }
    FSyncing = false;
  }
  if (FSyncing) return;
  if (FUpdateCount > 0) {
    FPendingChange = true;
    return;
  }
  if (OnChange) OnChange();
}

}  // namespace pagvigia
