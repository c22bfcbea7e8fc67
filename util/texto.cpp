// General text helpers over UTF-8 strings.
#include "util/texto.h"

#include <algorithm>

#include "platform/codepage.h"

namespace pagvigia {

namespace {

constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

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
  return f == std::string_view::npos ? 0 : platform::Utf8CharPosition(s, f);
}

std::string Copy(std::string_view s, std::ptrdiff_t index, std::ptrdiff_t count) {
  if (index < 1) index = 1;
  if (count <= 0) return {};
  return platform::Utf8Mid(s, static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
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
  return !S.empty() && std::all_of(S.begin(), S.end(), [](char c) { return CharIsNum(c); });
}

bool ValidarNumeros(std::string_view s) { return StrIsNumber(s); }

std::string OnlyNumber(std::string_view AValue) {
  std::string r;
  for (char c : AValue)
    if (CharIsNum(c)) r += c;
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
