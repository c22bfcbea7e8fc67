#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "platform/codepage.h"
#include "tests/support/temp_dir.h"

using namespace pagvigia::platform;
using pagvigia::testing::TempDir;

TEST(TextFile, DetectsByteOrderMarksAndRejoinsLinesWithCrLf) {
  TempDir dir;
  WriteFileBytes(dir / "ansi.txt", "a\xE7\xE3o\nb");
  WriteFileBytes(dir / "utf8.txt", "\xEF\xBB\xBF" "ação\r\nb\r\n");
  WriteFileBytes(dir / "le.txt", EncodeText("ação\rb", TextEncoding::Utf16LE));
  WriteFileBytes(dir / "be.txt", EncodeText("ação\nb", TextEncoding::Utf16BE));
  WriteFileBytes(dir / "empty.txt", "");
  EXPECT_EQ(ReadTextFile(dir / "ansi.txt").text, "ação\r\nb\r\n");
  const auto u8 = ReadTextFile(dir / "utf8.txt");
  EXPECT_EQ(u8.text, "ação\r\nb\r\n");
  EXPECT_EQ(u8.encoding, TextEncoding::Utf8Bom);
  EXPECT_EQ(ReadTextFile(dir / "le.txt").text, "ação\r\nb\r\n");
  EXPECT_EQ(ReadTextFile(dir / "be.txt").encoding, TextEncoding::Utf16BE);
  EXPECT_EQ(ReadTextFile(dir / "be.txt").text, "ação\r\nb\r\n");
  EXPECT_EQ(ReadTextFile(dir / "empty.txt").text, "");
  EXPECT_THROW(ReadTextFile(dir / "missing.txt"), FileError);
  EXPECT_THROW(ReadTextFile(dir.path()), FileError);
}

TEST(Files, WriteAppendRenameWithoutReplacing) {
  TempDir dir;
  WriteFileBytes(dir / "a.tmp", "one");
  AppendFileBytes(dir / "a.tmp", "two");
  EXPECT_EQ(ReadFileBytes(dir / "a.tmp"), "onetwo");
  WriteFileBytes(dir / "b.xml", "existing");
  int err = 0;
  EXPECT_FALSE(RenameNoReplace(dir / "a.tmp", dir / "b.xml", &err));
  EXPECT_EQ(ReadFileBytes(dir / "b.xml"), "existing");
  EXPECT_TRUE(FileExists(dir / "a.tmp"));
  EXPECT_TRUE(RenameNoReplace(dir / "a.tmp", dir / "c.xml"));
  EXPECT_FALSE(FileExists(dir / "a.tmp"));
  EXPECT_EQ(ReadFileBytes(dir / "c.xml"), "onetwo");
  EXPECT_THROW(WriteFileBytes(dir / "no/such/folder.txt", "x"), FileError);
  EXPECT_TRUE(ForceDirectories(dir / "x/y/z"));
  EXPECT_TRUE(DirectoryExists(dir / "x/y/z"));
}

TEST(Files, EveryWayOfRenamingNeverReplaces) {
  // Folders on network shares and FAT disks have no hard links and may lack
  // the system's no-replace rename: each weaker way must keep the promise.
  struct Case {
    const char* name;
    RenameWay first;
  } cases[] = {{"native", RenameWay::Native}, {"link", RenameWay::Link}, {"copy", RenameWay::Copy}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string command = "<Integrador>\xE7</Integrador>";
    WriteFileBytes(dir / "a.tmp", command);
    WriteFileBytes(dir / "b.xml", "existing");
    int err = 0;
    EXPECT_FALSE(RenameNoReplace(dir / "a.tmp", dir / "b.xml", &err, c.first));
    EXPECT_EQ(err, EEXIST);
    EXPECT_EQ(ReadFileBytes(dir / "b.xml"), "existing");
    EXPECT_EQ(ReadFileBytes(dir / "a.tmp"), command);
    EXPECT_TRUE(RenameNoReplace(dir / "a.tmp", dir / "c.xml", &err, c.first));
    EXPECT_EQ(err, 0);
    EXPECT_FALSE(PathExists(dir / "a.tmp"));
    EXPECT_EQ(ReadFileBytes(dir / "c.xml"), command);
    EXPECT_FALSE(RenameNoReplace(dir / "a.tmp", dir / "d.xml", &err, c.first));
    EXPECT_EQ(err, ENOENT);
    EXPECT_FALSE(PathExists(dir / "d.xml"));
    EXPECT_EQ(ListFolder(dir / "*").size(), 2u);
  }
}

TEST(Files, ListsByMaskSkippingDotEntries) {
  TempDir dir;
  for (const char* n : {"1-a.xml", "2-b.xml", "note.txt", "x.xmlx"}) WriteFileBytes(dir / n, "");
  auto names = ListFolder(dir / "*.xml");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1-a.xml", "2-b.xml"}));
  EXPECT_EQ(ListFolder(dir / "*").size(), 4u);
  EXPECT_TRUE(ListFolder(dir / "missing/*.xml").empty());
  EXPECT_TRUE(MatchesMask("abc-123.xml", "*-1?3.xml"));
  EXPECT_FALSE(MatchesMask("abc.xm", "*.xml"));
  EXPECT_TRUE(MatchesMask("R-12.XML", "*.xml"));
}
