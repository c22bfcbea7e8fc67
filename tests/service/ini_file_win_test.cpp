// The INI reader against the system's own GetPrivateProfileStringW, on the
// same tricky files: both must give the same text for every look-up.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>

#include "platform/codepage.h"
#include "platform/files.h"
#include "service/ini_file.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

struct Lookup {
  const char* section;
  const char* key;
};

struct IniCase {
  const char* name;
  std::string bytes;  // the file as it lies on disk
  std::vector<Lookup> lookups;
};

std::wstring Wide(const std::string& utf8) {
  const std::string utf16 = platform::Utf8ToUtf16(utf8, false);
  return std::wstring(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size() / 2);
}

std::string Utf8(const std::wstring& wide) {
  return platform::Utf16ToUtf8(
      std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2), false);
}

std::string SystemRead(const std::string& path, const char* section, const char* key,
                       const std::string& def) {
  std::wstring buffer(kIniMaxValueChars + 1, L'\0');
  const DWORD n = ::GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                             Wide(def).c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), Wide(path).c_str());
  buffer.resize(n);
  return Utf8(buffer);
}

const std::string kLong(3000, 'x');

const IniCase kCases[] = {
    {"case of names",
     "[Gestalo]\r\nServidor=srv1\r\nCAMINHO=C:\\DB\\X.FDB\r\n",
     {{"gestalo", "servidor"}, {"GESTALO", "Caminho"}, {"Gestalo", "caminho"}}},
    {"quotes",
     "[S]\r\nA=\"quoted\"\r\nB='single'\r\nC=\"open\r\nD=mid\"dle\"\r\nE=\"\"\r\nF=\"x\" \r\n"
     "G= \"spaced\" \r\nH=\"mixed'\r\n",
     {{"S", "A"}, {"S", "B"}, {"S", "C"}, {"S", "D"}, {"S", "E"}, {"S", "F"}, {"S", "G"},
      {"S", "H"}}},
    {"duplicate sections and keys",
     "[Caixa]\r\nIdCaixa=1\r\nIdCaixa=2\r\n[Outra]\r\nX=o\r\n[caixa]\r\nIdCaixa=3\r\nSo=4\r\n",
     {{"Caixa", "IdCaixa"}, {"Outra", "X"}, {"Caixa", "So"}}},
    {"inline semicolon and comments",
     "; a comment\r\n[S]\r\n;K=commented\r\nK=value ; not a comment\r\nL=a;b\r\n",
     {{"S", "K"}, {"S", "L"}, {"S", ";K"}}},
    {"equals signs in values",
     "[S]\r\nK=a=b=c\r\nL==lead\r\n=novalue\r\n",
     {{"S", "K"}, {"S", "L"}, {"S", ""}}},
    {"empty values and missing keys",
     "[S]\r\nEmpty=\r\nBlank=   \r\nNoEquals\r\n",
     {{"S", "Empty"}, {"S", "Blank"}, {"S", "NoEquals"}, {"S", "Missing"}, {"Nope", "Empty"}}},
    {"blanks around names and values",
     "  [ Spaced ]  \r\n  Key  =  value  \r\n\tTab\t=\tt\t\r\n[Tight]\r\nk=v\r\n",
     {{"Spaced", "Key"}, {"Spaced", "Tab"}, {"Tight", "k"}}},
    {"keys before any section and line ends",
     "Orphan=1\n[S]\nLf=lf\r\nCrLf=crlf\r\n",
     {{"S", "Orphan"}, {"S", "Lf"}, {"S", "CrLf"}}},
    // Windows-1252 letters in names and values are not compared here: Wine
    // reads an 8-bit file through the code page of the machine's locale,
    // which on the test machine is not Windows-1252 (it returned the default
    // for such names); the reader's Windows-1252 rules are tested on Linux.
    {"UTF-16 with its mark",
     platform::EncodeText("[Gestalo]\r\nServidor=servidor-\xC3\xA7\r\n", platform::TextEncoding::Utf16LE),
     {{"Gestalo", "Servidor"}}},
    {"a value longer than a read returns",
     "[S]\r\nLong=" + kLong + "\r\n",
     {{"S", "Long"}}},
};

class IniAgainstSystemTest : public ::testing::TestWithParam<IniCase> {
 protected:
  testing::TempDir FDir;
};

TEST_P(IniAgainstSystemTest, ReadsWhatTheSystemReads) {
  const IniCase& c = GetParam();
  const std::string path = FDir / "t.ini";
  platform::WriteFileBytes(path, c.bytes);
  const TIniFile ini(path);
  for (const Lookup& l : c.lookups) {
    SCOPED_TRACE(std::string("[") + l.section + "] " + l.key);
    EXPECT_EQ(ini.ReadString(l.section, l.key, "<default>"),
              SystemRead(path, l.section, l.key, "<default>"));
  }
}

INSTANTIATE_TEST_SUITE_P(Files, IniAgainstSystemTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                           std::string n;
                           for (const char ch : std::string(info.param.name))
                             n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return n;
                         });

TEST(IniAgainstSystem, MissingFileReadsAsEmpty) {
  testing::TempDir dir;
  const std::string path = dir / "missing.ini";
  EXPECT_EQ(TIniFile(path).ReadString("S", "K", "d"), SystemRead(path, "S", "K", "d"));
}

}  // namespace
}  // namespace pagvigia
