#include "service/ini_file.h"

#include <cstdint>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/integer_text.h"

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

}  // namespace

int IniStrToIntDef(std::string_view text, int defaultValue) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    // Up to 32 bits, taken as unsigned into the signed result.
    const auto v = platform::ParseDigits(text.substr(2), 16, 0xFFFFFFFFull);
    return v ? static_cast<int>(static_cast<std::uint32_t>(*v)) : defaultValue;
  }
  const auto v = platform::ParseInteger(text, INT32_MIN, INT32_MAX);
  return v ? static_cast<int>(*v) : defaultValue;
}

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  std::vector<std::string> lines;
  try {
    if (platform::FileExists(FFileName)) {
      const platform::TextFile f = platform::DecodeSettingsFile(platform::ReadFileBytes(FFileName));
      FEncoding = f.encoding;
      lines = platform::SplitLines(f.text);
    }
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
      FSections.push_back(Section{std::string(TrimBlanks(name)), {}});
      current = &FSections.back();
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
  for (const Section& s : FSections) {
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
