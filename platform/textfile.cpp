// Text-file reading with byte-order-mark detection; shared by every platform.
#include "platform/codepage.h"
#include "platform/files.h"

namespace pagvigia::platform {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

TextEncoding EncodingByMark(std::string_view raw) {
  if (raw.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::Utf8Bom;
  if (raw.substr(0, 2) == "\xFF\xFE") return TextEncoding::Utf16LE;
  if (raw.substr(0, 2) == "\xFE\xFF") return TextEncoding::Utf16BE;
  return TextEncoding::Ansi;
}

namespace {

// Valid UTF-8 that holds at least one character beyond ASCII.
bool IsUtf8BeyondAscii(std::string_view raw) {
  bool beyond = false;
  for (std::size_t i = 0; i < raw.size();) {
    if (static_cast<unsigned char>(raw[i]) < 0x80) {
      ++i;
      continue;
    }
    // A byte beyond ASCII that starts no valid sequence is taken alone.
    const std::size_t n = Utf8Decode(raw, i);
    if (n == 1) return false;
    beyond = true;
    i += n;
  }
  return beyond;
}

TextFile Decode(std::string_view raw, TextEncoding encoding) {
  TextFile f;
  f.encoding = encoding;
  std::string utf8;
  switch (f.encoding) {
    case TextEncoding::Utf8Bom: utf8 = std::string(raw.substr(3)); break;
    case TextEncoding::Utf8: utf8 = std::string(raw); break;
    case TextEncoding::Utf16LE: utf8 = Utf16ToUtf8(raw.substr(2), false); break;
    case TextEncoding::Utf16BE: utf8 = Utf16ToUtf8(raw.substr(2), true); break;
    case TextEncoding::Ansi: utf8 = AnsiToUtf8(raw); break;
  }
  // Rejoin the lines with CR LF, one after the last line as well.
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 32 + 2);
  std::size_t start = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r' || c == '\n') {
      out.append(utf8, start, i - start);
      out += "\r\n";
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < utf8.size()) {
    out.append(utf8, start, std::string::npos);
    out += "\r\n";
  }
  f.text = std::move(out);
  return f;
}

}  // namespace

TextFile DecodeTextFile(std::string_view raw) { return Decode(raw, EncodingByMark(raw)); }

TextFile DecodeSettingsFile(std::string_view raw) {
  TextEncoding e = EncodingByMark(raw);
  if (e == TextEncoding::Ansi && IsUtf8BeyondAscii(raw)) e = TextEncoding::Utf8;
  return Decode(raw, e);
}

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8Bom: return "UTF-8 com BOM";
    case TextEncoding::Utf16LE: return "UTF-16 LE";
    case TextEncoding::Utf16BE: return "UTF-16 BE";
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Ansi: break;
  }
  return "Windows-1252";
}

TextFile ReadTextFile(const std::string& path) { return DecodeTextFile(ReadFileBytes(path)); }

std::vector<std::string> ReadTextLines(const std::string& path) {
  return SplitLines(ReadTextFile(path).text);
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + std::string(utf8);
    case TextEncoding::Utf16LE:
      return "\xFF\xFE" + Utf8ToUtf16(utf8, false);
    case TextEncoding::Utf16BE:
      return "\xFE\xFF" + Utf8ToUtf16(utf8, true);
    case TextEncoding::Utf8:
      return std::string(utf8);
    case TextEncoding::Ansi:
      break;
  }
  return Utf8ToAnsi(utf8);
}

}  // namespace pagvigia::platform
