// The console on Windows: UTF-16 to a console, the UTF-8 bytes to a file or
// a pipe.
#include "platform/console.h"

#include <io.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <streambuf>
#include <string>

#include "platform/win_text.h"

namespace pagvigia::platform {
namespace {

// How many bytes at the end of `text` start a UTF-8 sequence that has not
// ended yet: they wait for the rest, so that a buffer boundary never splits
// a character into two "?".
std::size_t UnfinishedTail(std::string_view text) {
  const std::size_t from = text.size() > 3 ? text.size() - 3 : 0;
  for (std::size_t i = text.size(); i > from; --i) {
    const auto b = static_cast<unsigned char>(text[i - 1]);
    if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    const std::size_t present = text.size() - (i - 1);
    return present < length ? present : 0;
  }
  return 0;
}

// A stream buffer that hands its text to WriteConsoleText.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(std::FILE* stream) : FStream(stream) { setp(FBuffer, FBuffer + sizeof FBuffer); }
  ~ConsoleBuffer() override {
    // Whatever is left at exit, an unfinished sequence included.
    WriteConsoleText(FStream, std::string_view(pbase(), static_cast<std::size_t>(pptr() - pbase())));
  }

 protected:
  int_type overflow(int_type ch) override {
    Write();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }
  int sync() override {
    Write();
    return 0;
  }

 private:
  void Write() {
    const std::string_view pending(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    const std::size_t keep = UnfinishedTail(pending);
    WriteConsoleText(FStream, pending.substr(0, pending.size() - keep));
    std::memmove(FBuffer, pending.data() + pending.size() - keep, keep);
    setp(FBuffer, FBuffer + sizeof FBuffer);
    pbump(static_cast<int>(keep));
  }

  std::FILE* FStream;
  char FBuffer[1024];
};

}  // namespace

// The buffers outlive their streams (statics end in reverse order), and each
// writes what is left when it ends, at exit.
std::ostream& ConsoleOut() {
  static ConsoleBuffer buffer(stdout);
  static std::ostream out(&buffer);
  return out;
}

std::ostream& ConsoleErr() {
  static ConsoleBuffer buffer(stderr);
  static std::ostream err(&buffer);
  // Written at each insertion, as std::cerr is.
  static const bool unitBuffered = (err.setf(std::ios::unitbuf), true);
  static_cast<void>(unitBuffered);
  return err;
}

void WriteConsoleText(std::FILE* stream, std::string_view utf8) {
  if (utf8.empty()) return;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
    // What the C library still holds for this stream goes first.
    std::fflush(stream);
    const std::wstring wide = Widen(utf8);
    std::size_t done = 0;
    while (done < wide.size()) {
      // The console takes a limited amount per call.
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      DWORD written = 0;
      if (!::WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0) break;
      done += written;
    }
    if (done == wide.size()) return;
    // A console that refuses wide text: the rest in its own code page, or
    // as UTF-8 when the system cannot convert to that.
    const std::string rest = Narrow(std::wstring_view(wide).substr(done));
    std::string bytes;
    try {
      bytes = Utf8ToCodePage(rest, ::GetConsoleOutputCP());
    } catch (const std::exception&) {
      bytes = rest;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace pagvigia::platform
