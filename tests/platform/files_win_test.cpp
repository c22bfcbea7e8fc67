// Files other programs hold for a moment (an antivirus scanner, a backup):
// deleting, renaming and replacing wait for them for about a second.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/win_text.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace pagvigia::platform {
namespace {

// Holds the file open as a scanner does: reading, sharing reads only, so the
// file can be neither deleted nor replaced meanwhile.
HANDLE Hold(const std::string& path) {
  return ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(FilesWin, AHeldFileIsWaitedForAboutASecondThenTheFailureCounts) {
  testing::TempDir dir;
  const std::string a = dir / "Pagvigia_Diario.txt", b = dir / "b.txt";
  using Op = bool (*)(const std::string&, const std::string&);
  const Op ops[] = {
      [](const std::string& p, const std::string&) { return DeleteFile(p); },
      [](const std::string& p, const std::string& q) { return RenameReplacing(p, q); },
      [](const std::string& p, const std::string& q) { return RenameNoReplace(p, q + ".new"); },
      [](const std::string& p, const std::string&) {
        try {
          ReplaceFileDurably(p, "new");
          return true;
        } catch (const FileError&) {
          return false;
        }
      }};
  for (const Op op : ops) {
    WriteFileBytes(a, "old");
    WriteFileBytes(b, "b");
    // Held for the whole call: it fails after the wait, the file as it was,
    // no ".tmp" left.
    HANDLE h = Hold(a);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(op(a, b));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(ReadFileBytes(a), "old");
    EXPECT_FALSE(PathExists(a + ".tmp"));
    ::CloseHandle(h);
    DeleteFile(a);
    DeleteFile(b);
    DeleteFile(b + ".new");
  }
}

}  // namespace
}  // namespace pagvigia::platform
