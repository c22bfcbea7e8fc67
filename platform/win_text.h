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
// The system's text for an error code (GetLastError), without the line end.
std::string ErrorText(DWORD code);

}  // namespace pagvigia::platform
