// Text a person reads: the program's standard output and standard error.
// The program's text is UTF-8; a Windows console shows bytes in its own code
// page (850 in a Portuguese cmd.exe), so writing the bytes there would show
// "não" as "nÃ£o".
#pragma once
#include <cstdio>
#include <ostream>
#include <string_view>

namespace pagvigia::platform {

// The standard output and standard error as streams of UTF-8 text: on POSIX
// std::cout and std::cerr themselves; on Windows streams over
// WriteConsoleText. The error stream writes at each insertion, as std::cerr
// does; the output stream when it is flushed, when its buffer fills, and at
// exit. A stream is for one thread at a time.
std::ostream& ConsoleOut();
std::ostream& ConsoleErr();

// Writes UTF-8 text to a C stream (stdout, stderr). On Windows, when the
// stream is a console, as UTF-16 through the console's wide function, so the
// characters show whatever the console's code page; otherwise (a file, a
// pipe, and always on POSIX) the UTF-8 bytes themselves, without byte-order
// mark. Flushes the stream. Write errors are ignored, as the standard streams
// ignore them.
void WriteConsoleText(std::FILE* stream, std::string_view utf8);

}  // namespace pagvigia::platform
