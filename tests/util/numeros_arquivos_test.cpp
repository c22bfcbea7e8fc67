// Number conversion and formatting, files, folder listing and lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "util/arquivos.h"
#include "util/conversao.h"
#include "util/numeros.h"
#include "util/texto.h"

namespace pagvigia {
namespace {

TEST(StringToFloat, EitherSeparatorButNoThousands) {
  EXPECT_DOUBLE_EQ(StringToFloatDef("12,50", 0), 12.5);
  EXPECT_DOUBLE_EQ(StringToFloatDef("12.50", 0), 12.5);
  EXPECT_DOUBLE_EQ(StringToFloatDef(" -0,5 ", 0), -0.5);
  EXPECT_DOUBLE_EQ(StringToFloatDef("", 3), 3);
  EXPECT_DOUBLE_EQ(StringToFloatDef("1.234,56", 9), 9);
  EXPECT_DOUBLE_EQ(StringToFloat("1e3"), 1000);
  EXPECT_DOUBLE_EQ(StringToFloat(",5"), 0.5);
  EXPECT_DOUBLE_EQ(StringToFloat("5."), 5);
  EXPECT_THROW(StringToFloat("1.234,56"), EConvertError);
  EXPECT_THROW(StringToFloat("abc"), EConvertError);
  EXPECT_THROW(StringToFloat("12 50"), EConvertError);
  EXPECT_THROW(StringToFloat(""), EConvertError);
  EXPECT_THROW(StringToFloat("inf"), EConvertError);
  EXPECT_THROW(StringToFloat("1e999"), EConvertError);
  EXPECT_THROW(StringToFloat("-"), EConvertError);
}

TEST(FloatMask, Forms) {
  EXPECT_EQ(FloatMask(2, false), "0.00");
  EXPECT_EQ(FloatMask(3, true), ",0.000");
  EXPECT_EQ(FloatMask(0, true), "0");
  EXPECT_EQ(FloatMask(-1, false), "0");
}

TEST(FloatToString, MaskRoundsHalfAwayFromZeroOnEighteenDigits) {
  EXPECT_EQ(FloatToString(1234.5, '.', "0.00"), "1234.50");
  EXPECT_EQ(FloatToString(1234.5, ',', ",0.00"), "1234,50");  // grouping removed
  EXPECT_EQ(FloatToString(0.125, '.', "0.00"), "0.13");
  EXPECT_EQ(FloatToString(-0.5, '.', "0.00"), "-0.50");
  EXPECT_EQ(FloatToString(-0.001, '.', "0.00"), "0.00");  // no negative zero
  // Just below a half in binary: stays down.
  EXPECT_EQ(FloatToString(1.005, '.', "0.00"), "1.00");
  EXPECT_EQ(FloatToString(2.675, '.', "0.00"), "2.67");
  EXPECT_EQ(FloatToString(9.995, '.', "0.00"), "9.99");
  EXPECT_EQ(FloatToString(9.9951, '.', "0.00"), "10.00");
  EXPECT_EQ(FloatToString(12345678901234.5, '.', "0.00"), "12345678901234.50");
  EXPECT_EQ(FloatToString(1e20, '.', "0.00"), "100000000000000000000.00");
  EXPECT_EQ(FloatToString(0.1234567891, '.', "0.0000000000"), "0.1234567891");
  EXPECT_EQ(FloatToString(25, '.', "0"), "25");
  EXPECT_EQ(FloatToString(2.5, '.', "0"), "3");
}

TEST(FloatToString, ShortestGeneralFormWithoutMask) {
  EXPECT_EQ(FloatToString(12.5), "12.5");
  EXPECT_EQ(FloatToString(12.5, ','), "12,5");
  EXPECT_EQ(FloatToString(100), "100");
  EXPECT_EQ(FloatToString(0.1), "0.1");
  EXPECT_EQ(FloatToString(-0.00001), "-0.00001");
  EXPECT_EQ(FloatToString(1.5e20), "1.5E20");
  EXPECT_EQ(FloatToString(1.0 / 3), "0.333333333333333");
}

TEST(FormatFloat, GroupingAndOptionalDigits) {
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), "1,234,567.89");
  EXPECT_EQ(FormatFloat("#,##0.00", -1234.5), "-1,234.50");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("0.0#", 2.5), "2.5");
  EXPECT_EQ(FormatFloat("000", 7), "007");
  EXPECT_EQ(FormatFloat("\"R$ \"0.00", 3), "R$ 3.00");
}

TEST(PathWithDelim, AppendsThePlatformDelimiter) {
  EXPECT_EQ(PathWithDelim(""), "");
  EXPECT_EQ(PathWithDelim("   "), "");
  const std::string d(1, platform::kPathDelim), pasta = d + "Integrador" + d + "Input";
  EXPECT_EQ(PathWithDelim(" " + pasta + " "), pasta + d);
  EXPECT_EQ(PathWithDelim(pasta + d), pasta + d);
}

TEST(WriteToTXT, CreateAppendAndTheEmptyCases) {
  testing::TempDir dir;
  const std::string f = dir / "log.txt";
  WriteToTXT(f, "um", true, true, false);  // missing: created
  WriteToTXT(f, "dois", true, true, false);
  EXPECT_EQ(platform::ReadFileBytes(f), "um\r\ndois\r\n");
  WriteToTXT(f, "", true, true, false);  // existing file, nothing to write
  EXPECT_EQ(platform::ReadFileBytes(f), "um\r\ndois\r\n");
  WriteToTXT(f, "tres", false, false, false);  // truncates
  EXPECT_EQ(platform::ReadFileBytes(f), "tres");
  WriteToTXT("", "x", true, true, true);  // no name: nothing
  const std::string empty = dir / "vazio.txt";
  WriteToTXT(empty, "", false, true, false);  // a new file gets the line break
  EXPECT_EQ(platform::ReadFileBytes(empty), "\r\n");
}

TEST(WriteToTXT, FolderChainOnlyWhenForced) {
  testing::TempDir dir;
  const std::string f = dir / "a/b/c.xml";
  EXPECT_THROW(WriteToTXT(f, "x", false, false, false), platform::FileError);
  WriteToTXT(f, "<x/>", false, false, true);
  EXPECT_EQ(platform::ReadFileBytes(f), "<x/>");
}

TEST(WriteToFile, ExactBytes) {
  testing::TempDir dir;
  const std::string f = dir / "cmd.xml";
  WriteToFile(f, std::string("\xE7\0z", 3));
  EXPECT_EQ(platform::ReadFileBytes(f), std::string("\xE7\0z", 3));
}

TEST(WriteLog, AppendsLinesAndNeverRaises) {
  testing::TempDir dir;
  const std::string f = dir / "Pagvigia.log";
  WriteLog(f, "ação", false);
  WriteLog(f, "ação", true);
  EXPECT_EQ(platform::ReadFileBytes(f), "ação\r\n" "a\xE7\xE3o\r\n");
  EXPECT_NO_THROW(WriteLog(dir / "missing/x.log", "x", false));
  EXPECT_NO_THROW(WriteLog(dir.path(), "x", false));  // a folder
  EXPECT_NO_THROW(WriteLog("", "x", false));
}

TEST(FindFiles, MatchesByMaskWithTheFolderPart) {
  testing::TempDir dir;
  for (const char* n : {"b.xml", "a.xml", "c.txt"}) platform::WriteFileBytes(dir / n, "x");
  platform::ForceDirectories(dir / "pasta.xml");
  std::vector<std::string> list{"old"};
  FindFiles(dir / "*.xml", list, true, TFindFilesSortType::fstFileName);
  EXPECT_EQ(list, (std::vector<std::string>{dir / "a.xml", dir / "b.xml", dir / "pasta.xml"}));
  FindFiles(dir / "*.xml", list, false, TFindFilesSortType::fstFileName, TFindFilesSortDirection::sdDescending);
  EXPECT_EQ(list, (std::vector<std::string>{"pasta.xml", "b.xml", "a.xml"}));
  FindFiles(dir / "*.xml", list);
  EXPECT_EQ(list.size(), 3u);
  FindFiles(dir / "nada*", list);
  EXPECT_TRUE(list.empty());
  FindFiles(dir / "missing/*", list);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(FilesExists(dir / "*.txt"));
  EXPECT_TRUE(FilesExists(dir / "a.xml"));
  EXPECT_FALSE(FilesExists(dir / "*.ini"));
  EXPECT_FALSE(FilesExists(dir.withDelim()));
}

TEST(AddDelimitedTextToList, StrictSplitAndQuotes) {
  std::vector<std::string> list{"antes"};
  EXPECT_EQ(AddDelimitedTextToList("a|b||c", '|', list, '\0'), 4);
  EXPECT_EQ(list, (std::vector<std::string>{"antes", "a", "b", "", "c"}));
  list.clear();
  EXPECT_EQ(AddDelimitedTextToList("", '|', list, '\0'), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(AddDelimitedTextToList("a|", '|', list, '\0'), 2);
  list.clear();
  EXPECT_EQ(AddDelimitedTextToList("\"a|b\"|c", '|', list, '"'), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"a|b", "c"}));
  list.clear();
  EXPECT_EQ(AddDelimitedTextToList("\"a|b\"|c", '|', list, '\0'), 3);
  list.clear();
  EXPECT_EQ(AddDelimitedTextToList("\"x\"\"y\";\"open", ';', list, '"'), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"x\"y", "open"}));
}

}  // namespace
}  // namespace pagvigia
