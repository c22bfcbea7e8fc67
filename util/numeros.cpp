// Integer and floating-point conversions in the fixed system number format.
#include "util/numeros.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/integer_text.h"
#include "util/conversao.h"
#include "util/texto.h"

namespace pagvigia {

const TFormatSettings& SystemFormatSettings() {
  static const TFormatSettings fs{};
  return fs;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::int64_t StrToInt64(std::string_view text) {
  const std::string t = Trim(text);
  std::string_view s = t;
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  const std::optional<std::int64_t> v = platform::ParseSigned(neg, s, base);
  if (!v) throw EConvertError("'" + t + "' is not a valid integer value");
  return *v;
}

std::int32_t StrToInt(std::string_view s) {
  const std::int64_t v = StrToInt64(s);
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    throw EConvertError("'" + Trim(s) + "' is not a valid integer value");
  return static_cast<std::int32_t>(v);
}

std::int32_t StrToIntDef(std::string_view s, std::int32_t def) {
  try {
    return StrToInt(s);
  } catch (const EConvertError&) {
    return def;
  }
}

std::int64_t StrToInt64Def(std::string_view s, std::int64_t def) {
  try {
    return StrToInt64(s);
  } catch (const EConvertError&) {
    return def;
  }
}

namespace {

// Converts a trimmed text written with `dec` as decimal separator: optional
// sign, digits with at most one separator (at least one digit), optional
// exponent. False when it is not such a number or out of range.
bool ParseDecimal(std::string_view s, char dec, double& out) {
  std::string norm;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') norm += '-';
    ++i;
  }
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (CharIsNum(c)) {
      digits = true;
      norm += c;
    } else if (c == dec && !point) {
      point = true;
      norm += '.';
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    norm += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) norm += s[i++];
    bool expDigits = false;
    for (; i < s.size() && CharIsNum(s[i]); ++i) {
      expDigits = true;
      norm += s[i];
    }
    if (!expDigits) return false;
  }
  if (i != s.size()) return false;
  if (!norm.empty() && norm.back() == '.') norm += '0';
  std::string_view nv = norm;
  double v = 0;
  std::string fixed;
  // from_chars wants a digit before the point.
  if (nv.find(".") != std::string_view::npos) {
    const std::size_t dot = nv.find('.');
    if (dot == 0 || nv[dot - 1] == '-') {
      fixed = std::string(nv.substr(0, dot)) + "0" + std::string(nv.substr(dot));
      nv = fixed;
    }
  }
  const auto [p, ec] = std::from_chars(nv.data(), nv.data() + nv.size(), v);
  if (ec != std::errc() || p != nv.data() + nv.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

// The decimal digits of |value| rounded at `decimals` places after the
// point, half away from zero, from its 18 significant digits. Returns the
// integer digits ("0" at least) and the `decimals` fraction digits.
void RoundDecimal(double value, int decimals, std::string& intPart, std::string& fracPart) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(value));
  // buf: d.ddddddddddddddddde[+-]xx
  std::string mant;
  mant += buf[0];
  const char* p = buf + 2;
  while (*p && *p != 'e') mant += *p++;
  const int exp = std::atoi(p + 1);
  // value = 0.mant * 10^(exp + 1); digits before the point: exp + 1.
  int pointAt = exp + 1;
  std::string digits = mant;  // 18 digits
  // Place the point: pad with zeros on either side.
  if (pointAt <= 0) {
    digits = std::string(static_cast<std::size_t>(-pointAt), '0') + digits;
    pointAt = 0;
  }
  if (static_cast<int>(digits.size()) < pointAt + decimals + 1)
    digits += std::string(static_cast<std::size_t>(pointAt + decimals + 1 - static_cast<int>(digits.size())), '0');
  const int keep = pointAt + decimals;
  std::string kept = digits.substr(0, static_cast<std::size_t>(keep));
  if (digits[static_cast<std::size_t>(keep)] >= '5') {
    int k = keep - 1;
    while (k >= 0 && kept[static_cast<std::size_t>(k)] == '9') kept[static_cast<std::size_t>(k--)] = '0';
    if (k >= 0)
      ++kept[static_cast<std::size_t>(k)];
    else {
      kept.insert(kept.begin(), '1');
      ++pointAt;
    }
  }
  intPart = kept.substr(0, static_cast<std::size_t>(pointAt));
  fracPart = kept.substr(static_cast<std::size_t>(pointAt));
  const std::size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
}

std::string GroupThousands(const std::string& digits, char sep) {
  std::string r;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) r += sep;
    r += digits[i];
  }
  return r;
}

}  // namespace

double StringToFloat(std::string_view NumString) {
  const std::string t = Trim(NumString);
  const char dec = SystemFormatSettings().DecimalSeparator;
  std::string s = t;
  for (char& c : s)
    if (c == '.' || c == ',') c = dec;
  double v = 0;
  if (!ParseDecimal(s, dec, v)) throw EConvertError("'" + t + "' is not a valid floating point value");
  return v;
}

double StringToFloatDef(std::string_view NumString, double DefaultValue) {
  if (NumString.empty()) return DefaultValue;
  try {
    return StringToFloat(NumString);
  } catch (const EConvertError&) {
    return DefaultValue;
  }
}

std::string FloatMask(int DecimalDigits, bool UseThousandSeparator) {
  if (DecimalDigits <= 0) return "0";
  return std::string(UseThousandSeparator ? "," : "") + "0." + std::string(static_cast<std::size_t>(DecimalDigits), '0');
}

std::string FormatFloat(std::string_view AFormat, double AValue, const TFormatSettings& fs) {
  if (std::isnan(AValue)) return "NAN";
  if (std::isinf(AValue)) return AValue < 0 ? "-INF" : "INF";
  // Only the first section of a "positive;negative;zero" mask is used.
  std::string prefix, suffix;
  int intPlaceholders = 0, intZeros = 0, fracZeros = 0, fracPlaceholders = 0;
  bool point = false, thousands = false, seenPlaceholder = false, firstZeroSeen = false;
  for (std::size_t i = 0; i < AFormat.size(); ++i) {
    const char c = AFormat[i];
    if (c == ';') break;
    if (c == '"' || c == '\'') {
      const std::size_t end = AFormat.find(c, i + 1);
      const std::string_view lit = AFormat.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
      (seenPlaceholder ? suffix : prefix).append(lit);
      if (end == std::string_view::npos) break;
      i = end;
      continue;
    }
    if (c == '0' || c == '#') {
      if (!point) {
        if (!suffix.empty()) suffix.clear();
        ++intPlaceholders;
        if (c == '0') firstZeroSeen = true;
        if (firstZeroSeen) ++intZeros;
      } else {
        ++fracPlaceholders;
        if (c == '0') fracZeros = fracPlaceholders;
      }
      seenPlaceholder = true;
    } else if (c == '.' && !point) {
      point = true;
      seenPlaceholder = true;
    } else if (c == ',' && !point) {
      thousands = true;
    } else {
      (seenPlaceholder ? suffix : prefix) += c;
    }
  }
  (void)intPlaceholders;
  std::string intPart, fracPart;
  RoundDecimal(AValue, fracPlaceholders, intPart, fracPart);
  // Optional fraction digits: trailing zeros beyond the required ones go.
  while (static_cast<int>(fracPart.size()) > fracZeros && !fracPart.empty() && fracPart.back() == '0')
    fracPart.pop_back();
  const bool zero = intPart == "0" && fracPart.find_first_not_of('0') == std::string::npos;
  if (intPart == "0" && intZeros == 0) intPart.clear();
  if (static_cast<int>(intPart.size()) < intZeros)
    intPart = std::string(static_cast<std::size_t>(intZeros) - intPart.size(), '0') + intPart;
  if (thousands) intPart = GroupThousands(intPart, fs.ThousandSeparator);
  std::string r = prefix;
  if (AValue < 0 && !zero) r = "-" + r;
  r += intPart;
  if (!fracPart.empty()) {
    r += fs.DecimalSeparator;
    r += fracPart;
  }
  r += suffix;
  return r;
}

std::string FloatToStr(double AValue, const TFormatSettings& fs) {
  if (std::isnan(AValue)) return "NAN";
  if (std::isinf(AValue)) return AValue < 0 ? "-INF" : "INF";
  if (AValue == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(AValue));  // 15 significant digits
  std::string mant;
  mant += buf[0];
  const char* p = buf + 2;
  while (*p && *p != 'e') mant += *p++;
  int exp = std::atoi(p + 1);
  while (mant.size() > 1 && mant.back() == '0') mant.pop_back();
  std::string r = AValue < 0 ? "-" : "";
  if (exp >= 15 || exp < -5) {
    r += mant[0];
    if (mant.size() > 1) {
      r += fs.DecimalSeparator;
      r += mant.substr(1);
    }
    r += 'E';
    r += std::to_string(exp);
    return r;
  }
  if (exp < 0) {
    r += '0';
    r += fs.DecimalSeparator;
    r += std::string(static_cast<std::size_t>(-exp - 1), '0');
    r += mant;
    return r;
  }
  const std::size_t intDigits = static_cast<std::size_t>(exp) + 1;
  if (mant.size() <= intDigits) {
    r += mant + std::string(intDigits - mant.size(), '0');
  } else {
    r += mant.substr(0, intDigits);
    r += fs.DecimalSeparator;
    r += mant.substr(intDigits);
  }
  return r;
}

std::string FloatToString(double AValue, char SeparadorDecimal, std::string_view AFormat) {
  const TFormatSettings& fs = SystemFormatSettings();
  std::string s = AFormat.empty() ? FloatToStr(AValue, fs) : FormatFloat(AFormat, AValue, fs);
  if (fs.ThousandSeparator != fs.DecimalSeparator)
    s.erase(std::remove(s.begin(), s.end(), fs.ThousandSeparator), s.end());
  std::replace(s.begin(), s.end(), fs.DecimalSeparator, SeparadorDecimal);
  return s;
}

}  // namespace pagvigia
