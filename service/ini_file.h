// Reading of INI files ("Gestalo.ini", "ConfCaixa.ini", "Pagvigia.ini") with
// the rules of the Windows private-profile functions, so that a file edited on
// either platform reads the same way.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace pagvigia {

// The longest value a read returns, in characters.
inline constexpr std::size_t kIniMaxValueChars = 2047;

// Integer conversion of an INI value: a text longer than two characters that
// starts with "0x" or "0X" is hexadecimal (up to 32 bits, as an unsigned value
// taken into a signed one); otherwise an optional sign and decimal digits that
// fit 32 bits. Anything else ("", "abc", "12abc", "0x", " 12") gives
// `defaultValue`.
int IniStrToIntDef(std::string_view text, int defaultValue);

// A whole INI file read at once. A missing or unreadable file reads as an
// empty one. Section and key names are matched without regard to case (ASCII
// letters and the Latin letters of Windows-1252); the first matching section
// and, inside it, the first matching key win. Values are trimmed of blanks and
// of one pair of enclosing quotes ("..." or '...') and cut to 2047
// characters. The file may be Windows-1252 or carry a byte-order mark (UTF-8
// or UTF-16); lines may end with CR LF, LF or CR.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return FFileName; }
  // How the file was written: a byte-order mark, UTF-8 without one (valid
  // UTF-8 beyond ASCII), else Windows-1252 (also for a missing file).
  platform::TextEncoding Encoding() const { return FEncoding; }
  // The value of the key, or `defaultValue` when the section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& defaultValue) const;
  // The value converted by IniStrToIntDef; a missing key gives `defaultValue`.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;  // key, raw value
  };
  const std::string* Find(std::string_view section, std::string_view key) const;

  std::string FFileName;
  platform::TextEncoding FEncoding = platform::TextEncoding::Ansi;
  std::vector<Section> FSections;
};

}  // namespace pagvigia
