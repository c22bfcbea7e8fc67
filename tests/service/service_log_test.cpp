// The service log "Pagvigia.log": line format, encodings, and what happens
// when the file cannot be read or written.
#include "service/service_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

class ServiceLogTest : public ::testing::Test {
 protected:
  ServiceLogTest() { FClock.SetBase({2026, 12, 7, 23, 16, 20, 0}); }
  std::string Log() const { return FDir / "Pagvigia.log"; }
  std::string Bytes() const { return platform::ReadFileBytes(Log()); }

  testing::TempDir FDir;
  platform::ManualClock FClock;
};

TEST(ServiceLogTime, IsDayMonthYearAnd24HourTimeWithLeadingZeros) {
  EXPECT_EQ(FormatServiceLogTime({2026, 12, 7, 23, 16, 20, 999}), "07/12/2026 23:16:20");
  EXPECT_EQ(FormatServiceLogTime({2027, 1, 2, 3, 4, 5, 0}), "02/01/2027 03:04:05");
}

TEST_F(ServiceLogTest, NewFileIsWindows1252WithCrLfAndEntriesKeepTheirOrder) {
  SaveServiceLog(Log(), "Conexão do Banco: falhou", FClock);
  SaveServiceLog(Log(), "", FClock);  // same second, empty message
  FClock.Advance(1500);
  SaveServiceLog(Log(), "Pagamento MFE: <a>€ ✓</a>", FClock);
  EXPECT_EQ(Bytes(),
            "07/12/2026 23:16:20 - Conex\xE3o do Banco: falhou\r\n"
            "07/12/2026 23:16:20 - \r\n"
            "07/12/2026 23:16:21 - Pagamento MFE: <a>\x80 ?</a>\r\n");
}

TEST_F(ServiceLogTest, MessageWithLineBreaksBecomesSeveralCrLfLines) {
  SaveServiceLog(Log(), "Conexão do Banco: ISC ERROR CODE:335544721\r\n\r\nISC ERROR MESSAGE:\nx\n",
                 FClock);
  EXPECT_EQ(Bytes(),
            "07/12/2026 23:16:20 - Conex\xE3o do Banco: ISC ERROR CODE:335544721\r\n"
            "\r\n"
            "ISC ERROR MESSAGE:\r\n"
            "x\r\n");
}

TEST_F(ServiceLogTest, ExistingFileKeepsItsEncoding) {
  platform::WriteFileBytes(Log(), "\xEF\xBB\xBFold é\r\n");
  SaveServiceLog(Log(), "ação", FClock);
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBFold é\r\n07/12/2026 23:16:20 - ação\r\n");

  platform::WriteFileBytes(Log(), std::string("\xFF\xFEo\0\r\0\n\0", 8));
  SaveServiceLog(Log(), "é", FClock);
  const std::string expected = platform::EncodeText("o\r\n07/12/2026 23:16:20 - é\r\n",
                                                    platform::TextEncoding::Utf16LE);
  EXPECT_EQ(Bytes(), expected);

  // No mark: Windows-1252, whatever bytes it holds (undefined ones survive).
  platform::WriteFileBytes(Log(), "a\x81\xE9\r\n");
  SaveServiceLog(Log(), "é", FClock);
  EXPECT_EQ(Bytes(), "a\x81\xE9\r\n07/12/2026 23:16:20 - \xE9\r\n");
}

TEST_F(ServiceLogTest, ForeignLineEndsAreRewrittenAsALineList) {
  platform::WriteFileBytes(Log(), "one\ntwo");  // LF, no line end after the last line
  SaveServiceLog(Log(), "three", FClock);
  EXPECT_EQ(Bytes(), "one\r\ntwo\r\n07/12/2026 23:16:20 - three\r\n");
  EXPECT_FALSE(platform::PathExists(Log() + ".tmp"));
  // A lone CR among CR LF pairs ends a line too.
  platform::WriteFileBytes(Log(), "a\rb\r\n");
  SaveServiceLog(Log(), "c", FClock);
  EXPECT_EQ(Bytes(), "a\r\nb\r\n07/12/2026 23:16:20 - c\r\n");
  platform::WriteFileBytes(Log(), "\xEF\xBB\xBF\na\r\n");  // UTF-8, LF first
  SaveServiceLog(Log(), "c", FClock);
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBF\r\na\r\n07/12/2026 23:16:20 - c\r\n");
}

// Runs `body` with the effective user "nobody" when the test runs as root,
// since root reads files whatever their mode.
template <class F>
void AsUnprivileged(const testing::TempDir& dir, const std::string& file, F body) {
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::seteuid(65534), 0);
  }
  body();
  if (root) {
    ASSERT_EQ(::seteuid(0), 0);
  }
}

TEST_F(ServiceLogTest, UnreadableButWritableFileKeepsItsEarlierContent) {
  platform::WriteFileBytes(Log(), "07/12/2026 23:00:00 - earlier entry\r\n");
  ::chmod(Log().c_str(), 0200);
  AsUnprivileged(FDir, Log(), [&] { SaveServiceLog(Log(), "Envios Pendentes: x", FClock); });
  ::chmod(Log().c_str(), 0600);
  const std::string bytes = Bytes();
  EXPECT_EQ(bytes.rfind("07/12/2026 23:00:00 - earlier entry\r\n07/12/2026 23:16:20 - Cannot open file", 0),
            0u)
      << bytes;
  EXPECT_NE(bytes.find("Permission denied\r\n07/12/2026 23:16:20 - Envios Pendentes: x\r\n"),
            std::string::npos)
      << bytes;
}

TEST_F(ServiceLogTest, UnwritableFileRaisesToTheCaller) {
  platform::WriteFileBytes(Log(), "kept\r\n");
  ::chmod(Log().c_str(), 0400);
  ::chmod(FDir.path().c_str(), 0500);
  bool raised = false;
  AsUnprivileged(FDir, Log(), [&] {
    try {
      SaveServiceLog(Log(), "x", FClock);
    } catch (const platform::FileError&) {
      raised = true;
    }
  });
  ::chmod(FDir.path().c_str(), 0700);
  EXPECT_TRUE(raised);
  EXPECT_EQ(Bytes(), "kept\r\n");
}

}  // namespace
}  // namespace pagvigia
