#include "service/ini_file.h"

#include <cstdint>

#include "platform/codepage.h"
#include "platform/files.h"

namespace pagvigia {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Lower case of the letters Windows folds when it compares profile names.
char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x160: return 0x161;  // S caron
    case 0x152: return 0x153;  // OE
    case 0x17D: return 0x17E;  // Z caron
    case 0x178: return 0xFF;   // Y diaeresis
    default: return c;
  }
}

bool SameName(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t ca = 0, cb = 0;
    i += platform::Utf8Decode(a, i, &ca);
    j += platform::Utf8Decode(b, j, &cb);
    if (FoldCase(ca) != FoldCase(cb)) return false;
  }
  return i == a.size() && j == b.size();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int IniStrToIntDef(std::string_view text, int defaultValue) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint64_t v = 0;
    for (const char c : text.substr(2)) {
      const int d = HexDigit(c);
      if (d < 0) return defaultValue;
      v = v * 16 + static_cast<std::uint64_t>(d);
      if (v > 0xFFFFFFFFull) return defaultValue;
    }
    return static_cast<int>(static_cast<std::uint32_t>(v));
  }
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return defaultValue;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return defaultValue;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return defaultValue;
  }
  if (negative) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return defaultValue;
  return static_cast<int>(v);
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::vector<std::string> lines;
  try {
    if (platform::FileExists(fileName_)) lines = platform::ReadTextLines(fileName_);
  } catch (const platform::FileError&) {
    // An unreadable file reads like a missing one.
  }
  Section* current = nullptr;
  for (const std::string& raw : lines) {
    const std::string_view line = TrimBlanks(raw);
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      const auto close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      sections_.push_back(Section{std::string(TrimBlanks(name)), {}});
      current = &sections_.back();
      continue;
    }
    const auto eq = line.find('=');
    if (current == nullptr || eq == std::string_view::npos) continue;
    current->values.emplace_back(std::string(TrimBlanks(line.substr(0, eq))),
                                 std::string(line.substr(eq + 1)));
  }
}

const std::string* TIniFile::Find(std::string_view section, std::string_view key) const {
  const std::string_view wantedSection = TrimBlanks(section);
  const std::string_view wantedKey = TrimBlanks(key);
  for (const Section& s : sections_) {
    if (!SameName(s.name, wantedSection)) continue;
    for (const auto& [k, v] : s.values)
      if (SameName(k, wantedKey)) return &v;
    return nullptr;  // only the first section of that name counts
  }
  return nullptr;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& defaultValue) const {
  const std::string* raw = Find(section, key);
  if (raw == nullptr) return defaultValue;
  std::string_view v = TrimBlanks(*raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return platform::Utf8Left(v, kIniMaxValueChars);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  if (Find(section, key) == nullptr) return defaultValue;
  return IniStrToIntDef(ReadString(section, key, ""), defaultValue);
}

}  // namespace pagvigia
