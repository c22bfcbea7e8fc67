// The console on POSIX: terminals take UTF-8 as it is.
#include "platform/console.h"

#include <iostream>

namespace pagvigia::platform {

std::ostream& ConsoleOut() { return std::cout; }
std::ostream& ConsoleErr() { return std::cerr; }

void WriteConsoleText(std::FILE* stream, std::string_view utf8) {
  if (!utf8.empty()) std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace pagvigia::platform
