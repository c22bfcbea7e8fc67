// The Windows build's text and time at the system's edges: code pages the
// machine may be set to, output redirected from a console, the local time.
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/win_text.h"

using namespace pagvigia::platform;

namespace {

struct CodePageCase {
  UINT codePage;
  const char* utf8;
  std::string bytes;
  const char* back;  // the text read back from the bytes
};

}  // namespace

TEST(WinText, ConvertsToTheCodePageItIsGiven) {
  const CodePageCase cases[] = {
      // A machine set to UTF-8: every character, surrogate pairs included.
      {65001, "Situação não € 日本 😀", "Situa\xC3\xA7\xC3\xA3o n\xC3\xA3o \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
       "Situação não € 日本 😀"},
      {1252, "Situação não € 日本 😀", "Situa\xE7\xE3o n\xE3o \x80 ?? ?", "Situação não € ?? ?"},
      // The console's code page in Portuguese cmd.exe; no look-alike for €.
      {850, "Situação não € 日本", "Situa\x87\xC6o n\xC6o ? ??", "Situação não ? ??"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    EXPECT_EQ(Utf8ToCodePage(c.utf8, c.codePage), c.bytes);
    EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.back);
  }
  EXPECT_EQ(Utf8ToCodePage("", 65001), "");
  // The system refuses an unknown code page: an error, never an empty text.
  EXPECT_THROW(Utf8ToCodePage("não", 12345), std::runtime_error);
  EXPECT_THROW(CodePageToUtf8("n\xE3o", 12345), std::runtime_error);
}

TEST(WinText, RedirectedOutputIsUtf8WithoutByteOrderMark) {
  const auto path = std::filesystem::temp_directory_path() / "pagvigia_console_test.txt";
  std::FILE* f = ::_wfopen(path.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  WriteConsoleText(f, "Serviço não instalado\n");
  std::fclose(f);
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::filesystem::remove(path);
  EXPECT_EQ(bytes, "Servi\xC3\xA7o n\xC3\xA3o instalado\n");
}

TEST(WinText, LocalTimeIsTheSystemsNotTheCLibrarysTimeZone) {
  // A C library time zone 13 hours away from any the machine can be in.
  ::_putenv("TZ=XYZ+13");
  ::_tzset();
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  const DateTime now = SystemClock().LocalNow();
  ::_putenv("TZ=");
  ::_tzset();
  // Within a minute of the system's local time (the two reads may straddle
  // a minute's end).
  const int system = st.wHour * 60 + st.wMinute;
  const int clock = now.hour * 60 + now.minute;
  EXPECT_LE(std::abs(clock - system) % (24 * 60 - 1), 1) << now.hour << ":" << now.minute;
}
