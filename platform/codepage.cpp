#include "platform/codepage.h"

#include <array>
#include <clocale>

namespace pagvigia::platform {
namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; the rest equal Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t AnsiToCodePoint(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F) return kCp1252High[b - 0x80];
  return b;
}

int CodePointToAnsi(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == cp) return static_cast<int>(0x80 + i);
  return -1;
}

}  // namespace

std::size_t Utf8Decode(std::string_view s, std::size_t pos, char32_t* cp) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  auto fail = [&]() -> std::size_t {
    if (cp) *cp = 0xFFFD;
    return 1;
  };
  if (b0 < 0x80) {
    if (cp) *cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t value;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2; value = b0 & 0x1F; min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3; value = b0 & 0x0F; min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4; value = b0 & 0x07; min = 0x10000;
  } else {
    return fail();
  }
  if (pos + len > s.size()) return fail();
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return fail();
    value = (value << 6) | (b & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return fail();
  if (cp) *cp = value;
  return len;
}

void Utf8Append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

// UTF-8 to a single-byte code page: `toByte` gives a character's byte or -1
// when the code page cannot hold it; that, and every byte that is not part
// of a valid UTF-8 sequence, becomes "?".
template <class ToByte>
std::string Utf8ToSingleByte(std::string_view utf8, ToByte toByte) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    char32_t cp;
    const std::size_t n = Utf8Decode(utf8, i, &cp);
    const int b = (n == 1) ? -1 : toByte(cp);
    out += b < 0 ? '?' : static_cast<char>(b);
    i += n;
  }
  return out;
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8) { return Utf8ToSingleByte(utf8, CodePointToAnsi); }

std::string Cp1252ToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (const char ch : ansi) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80)
      out += ch;
    else
      Utf8Append(out, AnsiToCodePoint(b));
  }
  return out;
}

void UseUtf8CharacterType() {
#ifndef _WIN32
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "C.utf8");
#endif
}

std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToCp1252(utf8); }
std::string AnsiToUtf8(std::string_view ansi) { return Cp1252ToUtf8(ansi); }

std::string AnsiRoundTrip(std::string_view utf8) {
  // Fast path: pure ASCII survives unchanged.
  bool ascii = true;
  for (const char ch : utf8)
    if (static_cast<unsigned char>(ch) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return std::string(utf8);
  return AnsiToUtf8(Utf8ToAnsi(utf8));
}

std::string Utf8ToLatin1(std::string_view utf8) {
  return Utf8ToSingleByte(utf8, [](char32_t cp) { return cp <= 0xFF ? static_cast<int>(cp) : -1; });
}

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size() + latin1.size() / 8);
  for (const char ch : latin1) Utf8Append(out, static_cast<unsigned char>(ch));
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (char32_t(a) << 8 | b) : (char32_t(b) << 8 | a);
  };
  const std::size_t n = bytes.size() & ~std::size_t{1};
  for (std::size_t i = 0; i < n; i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n) {
      const char32_t lo = unit(i + 2);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        Utf8Append(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = '?';
    Utf8Append(out, u);
  }
  return out;
}

std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian) {
  std::string out;
  auto put = [&](char32_t u) {
    const char hi = static_cast<char>((u >> 8) & 0xFF), lo = static_cast<char>(u & 0xFF);
    if (bigEndian) {
      out += hi;
      out += lo;
    } else {
      out += lo;
      out += hi;
    }
  };
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp;
    const std::size_t n = Utf8Decode(utf8, i, &cp);
    if (cp == 0xFFFD && n == 1) cp = '?';
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
    i += n;
  }
  return out;
}

std::size_t Utf8Length(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++count) i += Utf8Decode(s, i);
  return count;
}

std::size_t Utf8CharPosition(std::string_view s, std::size_t byteOffset) {
  std::size_t count = 0;
  for (std::size_t i = 0; i <= byteOffset && i < s.size(); ++count) i += Utf8Decode(s, i);
  return count == 0 ? 1 : count;
}

std::size_t Utf8Offset(std::string_view s, std::size_t chars) {
  std::size_t i = 0;
  for (std::size_t c = 0; c < chars && i < s.size(); ++c) i += Utf8Decode(s, i);
  return i;
}

std::string Utf8Left(std::string_view s, std::size_t chars) {
  return std::string(s.substr(0, Utf8Offset(s, chars)));
}

std::string Utf8Mid(std::string_view s, std::size_t start, std::size_t count) {
  const std::size_t a = Utf8Offset(s, start);
  const std::size_t b = a + Utf8Offset(s.substr(a), count);
  return std::string(s.substr(a, b - a));
}

}  // namespace pagvigia::platform
