#include "util/utils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/codepage.h"
#include "platform/files.h"

namespace pagvigia {

namespace {

constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The 1-based position of the character at `byteOffset`.
std::size_t CharPos(std::string_view s, std::size_t byteOffset) {
  return platform::Utf8CharPosition(s, byteOffset);
}

}  // namespace

const TFormatSettings& SystemFormatSettings() {
  static const TFormatSettings fs{};
  return fs;
}

// --------------------------------------------------------------------------
// General string helpers

std::string Trim(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return std::string(s.substr(a, b - a));
}

std::string TrimLeft(std::string_view s) {
  std::size_t a = 0;
  while (a < s.size() && IsBlank(s[a])) ++a;
  return std::string(s.substr(a));
}

std::string TrimRight(std::string_view s) {
  std::size_t b = s.size();
  while (b > 0 && IsBlank(s[b - 1])) --b;
  return std::string(s.substr(0, b));
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

bool StartsStr(std::string_view prefix, std::string_view s) { return s.substr(0, prefix.size()) == prefix; }

bool EndsStr(std::string_view suffix, std::string_view s) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string r;
  r.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t f = s.find(from, pos);
    if (f == std::string_view::npos) break;
    r.append(s.substr(pos, f - pos));
    r.append(to);
    pos = f + from.size();
  }
  r.append(s.substr(pos));
  return r;
}

std::string StringReplaceFirst(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  const std::size_t f = s.find(from);
  if (f == std::string_view::npos) return std::string(s);
  std::string r(s.substr(0, f));
  r.append(to);
  r.append(s.substr(f + from.size()));
  return r;
}

std::size_t Length(std::string_view s) { return platform::Utf8Length(s); }

std::size_t Pos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  const std::size_t f = s.find(sub);
  return f == std::string_view::npos ? 0 : CharPos(s, f);
}

std::string Copy(std::string_view s, std::ptrdiff_t index, std::ptrdiff_t count) {
  if (index < 1) index = 1;
  if (count <= 0) return {};
  return platform::Utf8Mid(s, static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
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
  if (s.empty()) throw EConvertError("'" + t + "' is not a valid integer value");
  // Accumulate as a negative number so that the smallest value fits.
  std::int64_t v = 0;
  const std::int64_t lim = std::numeric_limits<std::int64_t>::min();
  for (char c : s) {
    const int d = HexValue(c);
    if (d < 0 || d >= base || (base == 10 && !IsDigit(c)))
      throw EConvertError("'" + t + "' is not a valid integer value");
    if (v < (lim + d) / base) throw EConvertError("'" + t + "' is not a valid integer value");
    v = v * base - d;
  }
  if (!neg) {
    if (v == lim) throw EConvertError("'" + t + "' is not a valid integer value");
    v = -v;
  }
  return v;
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

std::string DupeString(std::string_view s, std::size_t count) {
  std::string r;
  r.reserve(s.size() * count);
  for (std::size_t i = 0; i < count; ++i) r.append(s);
  return r;
}

// --------------------------------------------------------------------------
// Text tests and cleaning

bool EstaVazio(std::string_view AValue) { return AValue.empty(); }
bool NaoEstaVazio(std::string_view AValue) { return !AValue.empty(); }
bool CharIsNum(char32_t C) { return C >= U'0' && C <= U'9'; }

bool StrIsNumber(std::string_view S) {
  return !S.empty() && std::all_of(S.begin(), S.end(), [](char c) { return IsDigit(c); });
}

bool ValidarNumeros(std::string_view s) { return StrIsNumber(s); }

std::string OnlyNumber(std::string_view AValue) {
  std::string r;
  for (char c : AValue)
    if (IsDigit(c)) r += c;
  return r;
}

std::string StrNativa(std::string_view AString) { return std::string(AString); }
std::string StrToAnsi(std::string_view AString) { return platform::AnsiRoundTrip(AString); }

std::string PadLeft(std::string_view AString, int nLen, char32_t Caracter) {
  if (nLen <= 0) return {};
  const std::size_t len = platform::Utf8Length(AString);
  const auto want = static_cast<std::size_t>(nLen);
  if (len < want) {
    std::string fill;
    platform::Utf8Append(fill, Caracter);
    return DupeString(fill, want - len) + std::string(AString);
  }
  return platform::Utf8Left(AString, want);
}

std::size_t RetornarPosEx(std::string_view SubStr, std::string_view S, std::size_t Offset) {
  if (SubStr.empty()) return 0;
  if (Offset < 1) Offset = 1;
  const std::size_t start = platform::Utf8Offset(S, Offset - 1);
  if (start >= S.size()) return 0;
  const std::size_t f = S.find(SubStr, start);
  if (f == std::string_view::npos) return 0;
  // Count only the characters between the offset and the match.
  return Offset + platform::Utf8Length(S.substr(start, f - start));
}

std::string RetornarConteudoEntre(std::string_view Frase, std::string_view Inicio, std::string_view Fim,
                                  bool IncluiInicioFim) {
  if (Inicio.empty()) return {};
  const std::size_t i = Frase.find(Inicio);
  if (i == std::string_view::npos || Fim.empty()) return {};
  if (IncluiInicioFim) {
    const std::string_view from = Frase.substr(i);
    const std::size_t f = from.find(Fim);
    // Without the closing text there is no whole span to return.
    if (f == std::string_view::npos) return {};
    return std::string(from.substr(0, f + Fim.size()));
  }
  const std::string_view after = Frase.substr(i + Inicio.size());
  const std::size_t f = after.find(Fim);
  if (f == std::string_view::npos) return {};
  return std::string(after.substr(0, f));
}

bool SubStrEmSubStr(std::string_view SubStr1, std::string_view SubStr2) {
  // Built by appending: GCC 12 at -O3 warns falsely on "|" + std::string.
  std::string target(1, '|');
  target.append(SubStr1);
  std::string_view rest = SubStr2;
  if (!rest.empty() && rest.front() == '|') rest.remove_prefix(1);
  for (;;) {
    const std::size_t bar = rest.find('|');
    if (bar == std::string_view::npos) return false;
    std::string item(1, '|');
    item.append(rest.substr(0, bar));
    if (target.find(item) != std::string::npos) return true;
    rest.remove_prefix(bar + 1);
  }
}

unsigned char TiraAcento(unsigned char c) {
  if (c < 0xC0) return c;
  if (c <= 0xC6) return 'A';
  if (c == 0xC7) return 'C';
  if (c <= 0xCB) return 'E';
  if (c <= 0xCF) return 'I';
  if (c == 0xD0) return 'D';
  if (c == 0xD1) return 'N';
  if (c <= 0xD6) return 'O';
  if (c == 0xD7) return 'x';
  if (c == 0xD8) return '0';
  if (c <= 0xDC) return 'U';
  if (c == 0xDD) return 'Y';
  if (c == 0xDE) return 'b';
  if (c == 0xDF) return 'B';
  if (c <= 0xE6) return 'a';
  if (c == 0xE7) return 'c';
  if (c <= 0xEB) return 'e';
  if (c <= 0xEF) return 'i';
  if (c == 0xF0) return 'o';
  if (c == 0xF1) return 'n';
  if (c <= 0xF6) return 'o';
  if (c == 0xF7) return '/';
  if (c == 0xF8) return '0';
  if (c <= 0xFC) return 'u';
  if (c == 0xFE) return 'b';
  return 'y';  // 0xFD, 0xFF
}

std::string TiraAcentos(std::string_view AString) {
  std::string bytes = platform::Utf8ToAnsi(AString);
  for (char& ch : bytes) {
    const unsigned char m = TiraAcento(static_cast<unsigned char>(ch));
    const bool keep = m == 8 || m == 10 || m == 13 || (m >= 32 && m <= 126);
    ch = keep ? static_cast<char>(m) : ' ';
  }
  return bytes;  // 7-bit only: valid UTF-8 as it stands
}

std::string ChangeLineBreak(std::string_view AText, std::string_view NewLineBreak) {
  if (Trim(AText).empty()) return std::string(AText);
  std::string r;
  r.reserve(AText.size());
  const bool keepLf = NewLineBreak == "\n";
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n') ++i;
      if (keepLf)
        r += '\n';
      else
        r.append(NewLineBreak);
    } else {
      r += c;
    }
  }
  return r;
}

std::string FiltrarTextoXML(bool RetirarEspacos, std::string_view aTexto, bool RetirarAcentos,
                            bool SubstituirQuebrasLinha, std::string_view QuebraLinha) {
  std::string t = RetirarAcentos ? TiraAcentos(aTexto) : std::string(aTexto);
  t = platform::AnsiRoundTrip(t);
  // One pass gives the same result as the five replacements in turn, since
  // the entities inserted are never escaped again.
  std::string e;
  e.reserve(t.size() + t.size() / 8);
  for (char c : t) {
    switch (c) {
      case '&': e += "&amp;"; break;
      case '<': e += "&lt;"; break;
      case '>': e += "&gt;"; break;
      case '"': e += "&quot;"; break;
      case '\'': e += "&#39;"; break;
      default: e += c;
    }
  }
  if (RetirarEspacos) {
    // Runs of spaces become one space.
    std::string c;
    c.reserve(e.size());
    for (char ch : e)
      if (!(ch == ' ' && !c.empty() && c.back() == ' ')) c += ch;
    e.swap(c);
  }
  if (SubstituirQuebrasLinha) e = ChangeLineBreak(e, QuebraLinha);
  return Trim(e);
}

std::string HexToAscii(std::string_view Texto) {
  std::string r;
  for (std::size_t i = 0; i < Texto.size(); i += 2) {
    const std::string_view pair = Texto.substr(i, 2);
    int code = 0;
    for (char c : pair) {
      const int d = HexValue(c);
      if (d < 0) throw EConvertError("'" + std::string(pair) + "' is not a valid hexadecimal value");
      code = code * 16 + d;
    }
    platform::Utf8Append(r, static_cast<char32_t>(code));
  }
  return r;
}

namespace {

// Every occurrence of `from` replaced by `to` in place (left to right, the
// replacement not scanned again); nothing is copied when there is none.
void ReplaceAllInPlace(std::string& s, std::string_view from, std::string_view to) {
  std::size_t f = s.find(from);
  if (f == std::string::npos) return;
  s = StringReplaceAll(s, from, to);
}

}  // namespace

std::string ReverterFiltroTextoXML(std::string_view aTexto) {
  if (aTexto.find('&') == std::string_view::npos) return Trim(aTexto);
  std::string t(aTexto);
  ReplaceAllInPlace(t, "&amp;", "&");
  ReplaceAllInPlace(t, "&lt;", "<");
  ReplaceAllInPlace(t, "&gt;", ">");
  ReplaceAllInPlace(t, "&quot;", "\"");
  ReplaceAllInPlace(t, "&#39;", "'");
  if (t.find("&#x") == std::string::npos) return Trim(t);

  // Hexadecimal references, always the first one left in the text next: the
  // text before it is final except for its last two characters, which may
  // form a new "&#x" with the decoded characters, so those are looked at
  // again, one by one. Every step shortens the text, so this ends, in time
  // linear in its size.
  const std::string_view in = t;
  std::size_t ip = 0;
  std::string out;          // final text so far
  std::string pending;      // decoded characters to look at again, reversed
  out.reserve(t.size());
  auto more = [&] { return !pending.empty() || ip < in.size(); };
  auto take = [&]() -> char {
    if (!pending.empty()) {
      const char c = pending.back();
      pending.pop_back();
      return c;
    }
    return in[ip++];
  };
  // A reference whose digits are not hexadecimal pairs is kept as it stands:
  // answers of the Integrador are read through here, and refusing the whole
  // answer for one bad reference would lose the payment id it carries.
  auto decode = [&](const std::string& digits, bool terminated) {
    std::string decoded;
    try {
      decoded = HexToAscii(digits);
    } catch (const EConvertError&) {
      out += "&#x";
      out += digits;
      if (terminated) out += ';';
      return;
    }
    const std::size_t keep = std::min<std::size_t>(2, out.size());
    const std::string again = out.substr(out.size() - keep) + decoded;
    out.resize(out.size() - keep);
    pending.append(again.rbegin(), again.rend());
  };
  while (more()) {
    if (pending.empty()) {
      // A reference may begin in the last characters of the final text.
      const std::size_t n = out.size();
      if (n >= 2 && out[n - 2] == '&' && out[n - 1] == '#' && in.substr(ip, 1) == "x") {
        out.resize(n - 2);
        ip += 1;
      } else if (n >= 1 && out[n - 1] == '&' && in.substr(ip, 2) == "#x") {
        out.resize(n - 1);
        ip += 2;
      } else {
        // Plain text up to the next reference is copied at once.
        const std::size_t p = in.find("&#x", ip);
        if (p == std::string_view::npos) {
          out.append(in.substr(ip));
          break;
        }
        out.append(in.substr(ip, p - ip));
        ip = p + 3;
      }
      // The reference runs to the next ";" or the end of the text.
      const std::size_t semi = in.find(';', ip);
      const std::size_t end = semi == std::string_view::npos ? in.size() : semi;
      const std::string digits(in.substr(ip, end - ip));
      ip = semi == std::string_view::npos ? in.size() : semi + 1;
      decode(digits, semi != std::string_view::npos);
      continue;
    }
    out += take();
    const std::size_t n = out.size();
    if (n >= 3 && out[n - 3] == '&' && out[n - 2] == '#' && out[n - 1] == 'x') {
      out.resize(n - 3);
      std::string digits;
      bool terminated = false;
      while (more()) {
        const char c = take();
        if (c == ';') {
          terminated = true;
          break;
        }
        digits += c;
      }
      decode(digits, terminated);
    }
  }
  return Trim(out);
}

namespace {

// The digits of a taxpayer number with ".", "/" and "-" removed and trimmed;
// "" when anything but digits is left or the length is not `len`.
std::string TaxDigits(std::string_view numero, std::size_t len) {
  std::string s;
  for (char c : numero)
    if (c != '.' && c != '/' && c != '-') s += c;
  s = Trim(s);
  if (s.size() != len || !StrIsNumber(s)) return {};
  return s;
}

int CheckDigit(std::string_view digits, const int* weights) {
  int sum = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) sum += (digits[i] - '0') * weights[i];
  const int r = sum % 11;
  return r < 2 ? 0 : 11 - r;
}

}  // namespace

bool ValidarCNPJ(std::string_view numero) {
  const std::string s = TaxDigits(numero, 14);
  if (s.empty() || s.find_first_not_of('0') == std::string::npos) return false;
  static const int w1[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  static const int w2[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  return CheckDigit(std::string_view(s).substr(0, 12), w1) == s[12] - '0' &&
         CheckDigit(std::string_view(s).substr(0, 13), w2) == s[13] - '0';
}

bool ValidarCPF(std::string_view numero) {
  const std::string s = TaxDigits(numero, 11);
  if (s.empty() || s.find_first_not_of(s[0]) == std::string::npos) return false;
  static const int w1[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
  static const int w2[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
  return CheckDigit(std::string_view(s).substr(0, 9), w1) == s[9] - '0' &&
         CheckDigit(std::string_view(s).substr(0, 10), w2) == s[10] - '0';
}

// --------------------------------------------------------------------------
// Numbers

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
    if (IsDigit(c)) {
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
    for (; i < s.size() && IsDigit(s[i]); ++i) {
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

// --------------------------------------------------------------------------
// Files and lists

std::string PathWithDelim(std::string_view APath) {
  std::string p = Trim(APath);
  if (!p.empty() && p.back() != platform::kPathDelim) p += platform::kPathDelim;
  return p;
}

void FindFiles(std::string_view FileMask, std::vector<std::string>& AStringList, bool IncludePath,
               TFindFilesSortType SortType, TFindFilesSortDirection SortDirection) {
  AStringList.clear();
  const std::string mask(FileMask);
  const std::string folder = platform::ExtractFilePath(mask);
  std::vector<std::string> names;
  std::string last;
  for (const std::string& name : platform::ListFolder(mask)) {
    if (!names.empty() && name == last) break;  // an enumeration that repeats itself
    last = name;
    if (std::string_view("..").find(name) != std::string_view::npos) continue;
    names.push_back(name);
  }
  if (SortType == TFindFilesSortType::fstFileName) {
    std::sort(names.begin(), names.end());
  } else if (SortType == TFindFilesSortType::fstDateTime) {
    std::vector<std::pair<std::int64_t, std::string>> keyed;
    for (auto& n : names) keyed.emplace_back(platform::StatFile(folder + n).mtimeNs, n);
    std::stable_sort(keyed.begin(), keyed.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = keyed[i].second;
  }
  if (SortType != TFindFilesSortType::fstNone && SortDirection == TFindFilesSortDirection::sdDescending)
    std::reverse(names.begin(), names.end());
  for (auto& n : names) AStringList.push_back(IncludePath ? folder + n : n);
}

bool FilesExists(std::string_view FileName) {
  for (const std::string& name : platform::ListFolder(std::string(FileName)))
    if (name != "." && name != "..") return true;
  return false;
}

void WriteToTXT(std::string_view ArqTXT, std::string_view ABinaryString, bool AppendIfExists, bool AddLineBreak,
                bool ForceDirectory) {
  if (ArqTXT.empty()) return;
  const std::string path(ArqTXT);
  const bool exists = platform::FileExists(path);
  if (exists && ABinaryString.empty()) return;
  if (!exists && ForceDirectory) {
    const std::string folder = platform::ExtractFilePath(path);
    if (!folder.empty() && !platform::DirectoryExists(folder)) platform::ForceDirectories(folder);
  }
  std::string bytes(ABinaryString);
  if (AddLineBreak) bytes += "\r\n";
  if (AppendIfExists && exists)
    platform::AppendFileBytes(path, bytes);
  else
    platform::WriteFileBytes(path, bytes);
}

void WriteToFile(std::string_view Arq, std::string_view ABinaryString) {
  WriteToTXT(Arq, ABinaryString, false, false, false);
}

void WriteLog(std::string_view ArqTXT, std::string_view ABinaryString, bool Traduz) {
  if (ArqTXT.empty()) return;
  try {
    if (Traduz)
      WriteToTXT(ArqTXT, platform::Utf8ToAnsi(ABinaryString), true, true, false);
    else
      WriteToTXT(ArqTXT, ABinaryString, true, true, false);
  } catch (...) {
    // A log that cannot be written must never stop the work it records.
  }
}

int AddDelimitedTextToList(std::string_view AText, char ADelimiter, std::vector<std::string>& AStringList,
                           char AQuoteChar) {
  if (AText.empty()) return 0;
  int count = 0;
  std::size_t i = 0;
  for (;;) {
    std::string piece;
    if (AQuoteChar != '\0' && i < AText.size() && AText[i] == AQuoteChar) {
      ++i;
      while (i < AText.size()) {
        if (AText[i] == AQuoteChar) {
          if (i + 1 < AText.size() && AText[i + 1] == AQuoteChar) {
            piece += AQuoteChar;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        piece += AText[i++];
      }
    }
    const std::size_t d = AText.find(ADelimiter, i);
    const std::size_t end = d == std::string_view::npos ? AText.size() : d;
    if (end > i) piece.append(AText.substr(i, end - i));
    AStringList.push_back(std::move(piece));
    ++count;
    if (d == std::string_view::npos) break;
    i = d + 1;
  }
  return count;
}

}  // namespace pagvigia
