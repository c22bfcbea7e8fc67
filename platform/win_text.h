// Private to the Windows implementation files of platform/: <windows.h>
// without its min/max macros, and the conversions between the program's
// UTF-8 text and the UTF-16 of the wide (W) Windows functions.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// <windows.h> maps these names to their A/W variants; the program's own
// functions of the same names must stay as they are.
#undef DeleteFile

#include <string>
#include <string_view>

namespace pagvigia::platform {

// UTF-8 to UTF-16; a byte that is not part of a valid sequence becomes "?".
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8; an unpaired surrogate becomes "?".
std::string Narrow(std::wstring_view utf16);
// UTF-8 to the bytes of a Windows code page and back, by the system. The
// code page is always given (never CP_ACP): the program's own files are
// Windows-1252 by its own table (codepage.h), and a caller that needs the
// system's conversion names the code page it means, so that every code
// page, UTF-8 (65001) among them, can be tested on any machine. A character
// the code page cannot hold becomes "?" (no best-fit look-alikes) where the
// code page allows the choice; UTF-8 and the few others that do not allow it
// hold every character. A byte that is not valid in the code page becomes
// U+FFFD. Throws std::runtime_error with the system's text when the system
// refuses the conversion (an unknown code page): never an empty text for a
// non-empty one.
std::string Utf8ToCodePage(std::string_view utf8, UINT codePage);
std::string CodePageToUtf8(std::string_view bytes, UINT codePage);
// The system's text for an error code (GetLastError), without the line end.
std::string ErrorText(DWORD code);
// The same with the text's inserts filled in: "%1" (the file or name the
// failure is about, as in "%1 is not a valid Win32 application") becomes
// `insert`; any other "%n" is dropped rather than printed as it stands.
std::string ErrorText(DWORD code, const std::string& insert);

}  // namespace pagvigia::platform
