// INI files read with the rules of the Windows private-profile functions.
#include "service/ini_file.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/files.h"
#include "service/service_settings.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "t.ini") {
    const std::string path = FDir / name;
    platform::WriteFileBytes(path, bytes);
    return path;
  }
  testing::TempDir FDir;
};

TEST(IniStrToIntDef, ConvertsDecimalAndHexTextOnlyWhenWhollyValid) {
  EXPECT_EQ(IniStrToIntDef("12", 7), 12);
  EXPECT_EQ(IniStrToIntDef("-12", 7), -12);
  EXPECT_EQ(IniStrToIntDef("+12", 7), 12);
  EXPECT_EQ(IniStrToIntDef("0x1A", 7), 26);
  EXPECT_EQ(IniStrToIntDef("0X1a", 7), 26);
  EXPECT_EQ(IniStrToIntDef("0xFFFFFFFF", 7), -1);  // 32 bits taken as signed
  EXPECT_EQ(IniStrToIntDef("2147483647", 7), 2147483647);
  EXPECT_EQ(IniStrToIntDef("-2147483648", 7), -2147483647 - 1);
  // Not a whole valid integer: the default.
  for (const char* bad : {"", "abc", "12abc", "0x", "0x1G", "0x100000000", "2147483648", "-",
                          "1 2", " 12", "1.5", "-0x1A", "$1A"})
    EXPECT_EQ(IniStrToIntDef(bad, 7), 7) << '"' << bad << '"';
  EXPECT_EQ(IniStrToIntDef("0", 7), 0);
  EXPECT_EQ(IniStrToIntDef("00", 7), 0);  // two characters: decimal, not hex
}

TEST_F(IniFileTest, MatchesSectionsAndKeysWithoutCaseAndTakesTheFirstMatch) {
  const TIniFile ini(Write(
      "; comment\r\n"
      "[gestalo]\r\n"
      "SERVIDOR = srv1\r\n"
      "servidor=srv2\r\n"
      "  Caminho=  /db/x.fdb  \r\n"
      "[Gestalo]\r\n"
      "Outra=1\r\n"
      "[  Caixa  ]\r\n"
      "IdCaixa=0x1A\r\n"
      "[Se\xE7\xE3o]\r\n"  // Windows-1252
      "Chave=\xE1\r\n"));
  EXPECT_EQ(ini.ReadString("Gestalo", "Servidor", "localhost"), "srv1");
  EXPECT_EQ(ini.ReadString("GESTALO", "caminho", ""), "/db/x.fdb");
  // Only the first section of a name counts.
  EXPECT_EQ(ini.ReadString("Gestalo", "Outra", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("caixa", "idcaixa", 0), 26);
  EXPECT_EQ(ini.ReadString("SEÇÃO", "chave", ""), "á");  // Latin letters fold too
  EXPECT_EQ(ini.ReadString("Nada", "Servidor", "localhost"), "localhost");
  EXPECT_EQ(ini.ReadString("Gestalo", "Nada", "x"), "x");
}

TEST_F(IniFileTest, TrimsBlanksAndOnePairOfQuotes) {
  const TIniFile ini(Write(
      "[S]\n"
      "a=\" spaced \"\n"
      "b='single'\n"
      "c=\"\"quoted twice\"\"\n"
      "d=\"unbalanced\n"
      "e=\t \n"
      "f=x=y\n"
      "g=\"\n"));
  EXPECT_EQ(ini.ReadString("S", "a", ""), " spaced ");
  EXPECT_EQ(ini.ReadString("S", "b", ""), "single");
  EXPECT_EQ(ini.ReadString("S", "c", ""), "\"quoted twice\"");
  EXPECT_EQ(ini.ReadString("S", "d", ""), "\"unbalanced");
  EXPECT_EQ(ini.ReadString("S", "e", "def"), "");  // present but empty: not the default
  EXPECT_EQ(ini.ReadString("S", "f", ""), "x=y");
  EXPECT_EQ(ini.ReadString("S", "g", ""), "\"");
  EXPECT_EQ(ini.ReadInteger("S", "e", 5), 5);  // empty is no integer
}

TEST_F(IniFileTest, IntegerValuesFollowTheConversionRule) {
  const TIniFile ini(Write("[Caixa]\nA=0x1A\nB=abc\nC=\nD=12abc\nE=\" 42 \"\nF=\"42\"\nG=-3\n"));
  EXPECT_EQ(ini.ReadInteger("Caixa", "A", 0), 26);
  EXPECT_EQ(ini.ReadInteger("Caixa", "B", 0), 0);
  EXPECT_EQ(ini.ReadInteger("Caixa", "C", 0), 0);
  EXPECT_EQ(ini.ReadInteger("Caixa", "D", 9), 9);
  EXPECT_EQ(ini.ReadInteger("Caixa", "E", 9), 9);  // blanks inside the quotes stay
  EXPECT_EQ(ini.ReadInteger("Caixa", "F", 9), 42);
  EXPECT_EQ(ini.ReadInteger("Caixa", "G", 9), -3);
  EXPECT_EQ(ini.ReadInteger("Caixa", "Missing", 9), 9);
}

TEST_F(IniFileTest, ReadsEncodingsAndLineEndings) {
  // Windows-1252 with CR LF, UTF-8 with a mark and LF, lone CR.
  const TIniFile ansi(Write("[S]\r\nK=Jos\xE9 \x80\r\n", "ansi.ini"));
  EXPECT_EQ(ansi.ReadString("S", "K", ""), "José €");
  const TIniFile utf8(Write("\xEF\xBB\xBF[S]\nK=Jos\xC3\xA9\n", "utf8.ini"));
  EXPECT_EQ(utf8.ReadString("S", "K", ""), "José");
  const TIniFile cr(Write("[S]\rK=v\rL=w", "cr.ini"));
  EXPECT_EQ(cr.ReadString("S", "L", ""), "w");
  // Valid UTF-8 beyond ASCII without a mark is UTF-8 (as Notepad and the
  // Linux editors save); a byte that breaks UTF-8 makes it Windows-1252.
  const TIniFile nomark(Write("[S]\nK=\xC3\xA9\n", "nomark.ini"));
  EXPECT_EQ(nomark.ReadString("S", "K", ""), "é");
  EXPECT_EQ(nomark.Encoding(), platform::TextEncoding::Utf8);
  const TIniFile mixed(Write("[S]\nK=\xC3\xA9\xE9\n", "mixed.ini"));
  EXPECT_EQ(mixed.ReadString("S", "K", ""), "Ã©é");
  EXPECT_EQ(mixed.Encoding(), platform::TextEncoding::Ansi);
}

TEST_F(IniFileTest, MissingOrUnreadableFileReadsEmpty) {
  const TIniFile missing(FDir / "nope.ini");
  EXPECT_EQ(missing.ReadString("Gestalo", "Servidor", "localhost"), "localhost");
  EXPECT_EQ(missing.ReadInteger("Caixa", "IdCaixa", 0), 0);
  const TIniFile folder(FDir.path());  // a folder, not a file
  EXPECT_EQ(folder.ReadString("S", "K", "d"), "d");
}

TEST_F(IniFileTest, CutsValuesAt2047Characters) {
  const TIniFile ini(Write("[S]\nK=" + std::string(3000, '\xE9') + "\nL=" + std::string(2047, 'a') + "\n"));
  const std::string k = ini.ReadString("S", "K", "");
  EXPECT_EQ(platform::Utf8Length(k), 2047u);  // characters, not bytes
  EXPECT_EQ(k.substr(0, 2), "é");
  EXPECT_EQ(ini.ReadString("S", "L", "").size(), 2047u);
}

TEST_F(IniFileTest, ServiceSettingsOverrideOnlyTheKeysGiven) {
  // The fixed folders are on the system drive ("C:\Integrador\..." on
  // Windows), "ConfCaixa.ini" in the root of the executable's drive.
  const bool windows = platform::kPathDelim == '\\';
  const std::string d(1, platform::kPathDelim);
  const std::string output = windows ? "C:\\Integrador\\Output\\" : "/Integrador/Output/";
  const TServiceSettings defaults = TServiceSettings::Load(FDir / "Pagvigia.ini");
  EXPECT_EQ(defaults.PastaInput, windows ? "C:\\Integrador\\Input\\" : "/Integrador/Input/");
  EXPECT_EQ(defaults.PastaOutput, output);
  EXPECT_EQ(defaults.Timeout, 30);
  EXPECT_EQ(defaults.Intervalo, 60000);
  EXPECT_EQ(defaults.PastaCaixa, platform::DriveRoot());

  const TServiceSettings s = TServiceSettings::Load(Write(
      "[integrador]\nPastaInput=" + d + "in\nTimeout=0x10\n[Servico]\nIntervalo=250\n"
      "[Caixa]\nPasta=\"" + d + "caixa" + d + "\"\n",
      "Pagvigia.ini"));
  EXPECT_EQ(s.PastaInput, d + "in" + d);  // the delimiter is added
  EXPECT_EQ(s.PastaOutput, output);
  EXPECT_EQ(s.Timeout, 16);
  EXPECT_EQ(s.Intervalo, 250);
  EXPECT_EQ(s.PastaCaixa, d + "caixa" + d);

  // An interval that is no positive number keeps the default.
  for (const char* bad : {"0", "-5", "1s", ""}) {
    const TServiceSettings b =
        TServiceSettings::Load(Write(std::string("[Servico]\nIntervalo=") + bad + "\n", "b.ini"));
    EXPECT_EQ(b.Intervalo, 60000) << bad;
  }
}

}  // namespace
}  // namespace pagvigia
