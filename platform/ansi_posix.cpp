// The ANSI code page on POSIX: Windows-1252, as on the Windows machines the
// Integrador runs on.
#include "platform/codepage.h"

namespace pagvigia::platform {

std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToCp1252(utf8); }
std::string AnsiToUtf8(std::string_view ansi) { return Cp1252ToUtf8(ansi); }

}  // namespace pagvigia::platform
