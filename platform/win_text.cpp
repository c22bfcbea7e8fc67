// UTF-16 for the wide (W) Windows functions, and the system's conversions
// to and from a given code page.
#include "platform/win_text.h"

#include <stdexcept>

#include "platform/codepage.h"

namespace pagvigia::platform {

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp;
    const std::size_t n = Utf8Decode(utf8, i, &cp);
    if (n == 1 && cp == 0xFFFD) cp = '?';
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
    i += n;
  }
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t u = static_cast<char16_t>(utf16[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size()) {
      const char32_t lo = static_cast<char16_t>(utf16[i + 1]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        Utf8Append(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = '?';
    Utf8Append(out, u);
  }
  return out;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? Narrow(std::wstring_view(buffer, n)) : std::string();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) text = "system error " + std::to_string(code);
  return text;
}

std::string ErrorText(DWORD code, const std::string& insert) {
  const std::string text = ErrorText(code);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      if (text[i + 1] == '1') out += insert;
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

namespace {

// The code pages for which the system refuses WC_NO_BEST_FIT_CHARS and a
// default character (the conversion then fails as a whole): UTF-8 and UTF-7,
// the ISO 2022 family, GB 18030, the ISCII family and the symbol font.
bool TakesNoSubstitutionFlags(UINT codePage) {
  return codePage == CP_UTF8 || codePage == CP_UTF7 || codePage == 42 || codePage == 54936 ||
         (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011);
}

[[noreturn]] void ConversionFailed(const char* what, UINT codePage) {
  throw std::runtime_error(std::string(what) + " code page " + std::to_string(codePage) + ": " +
                           ErrorText(::GetLastError()));
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, UINT codePage) {
  if (utf8.empty()) return {};
  const bool exact = TakesNoSubstitutionFlags(codePage);
  std::wstring wide;
  wide.reserve(utf8.size());
  for (const wchar_t c : Widen(utf8)) {
    // Characters beyond the Basic Multilingual Plane have no place in an
    // 8-bit or double-byte code page: one "?" each, not one per surrogate.
    if (!exact && c >= 0xDC00 && c <= 0xDFFF) continue;
    wide += (!exact && c >= 0xD800 && c <= 0xDBFF) ? L'?' : c;
  }
  const DWORD flags = exact ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* substitute = exact ? nullptr : "?";
  const int n = ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      substitute, nullptr);
  if (n <= 0) ConversionFailed("Cannot convert the text to", codePage);
  std::string out(static_cast<std::size_t>(n), '\0');
  if (::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n, substitute,
                            nullptr) != n)
    ConversionFailed("Cannot convert the text to", codePage);
  return out;
}

std::string CodePageToUtf8(std::string_view bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) ConversionFailed("Cannot read the text of", codePage);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n) != n)
    ConversionFailed("Cannot read the text of", codePage);
  return Narrow(wide);
}

}  // namespace pagvigia::platform
