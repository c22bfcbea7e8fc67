// A client library that is there but will not load is named with the
// reason: another processor's build, or a DLL it needs that is missing.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/win_text.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/pe_image.h"
#include "tests/support/temp_dir.h"

namespace pagvigia::platform {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kOwnBits = sizeof(void*) * 8;

// The first bytes of a PE image built for `machine`, and nothing else.
std::string Header(std::uint16_t machine) {
  std::string b(0x100, '\0');
  b[0] = 'M', b[1] = 'Z', b[0x3C] = 0x40;
  b.replace(0x40, 4, std::string("PE\0\0", 4));
  b[0x44] = static_cast<char>(machine & 0xFF), b[0x45] = static_cast<char>(machine >> 8);
  return b;
}

TEST(DynLibWin, ALibraryThatWillNotLoadIsNamedWithTheReason) {
  testing::TempDir dir;
  const std::string other = dir / "fbclient.dll";
  WriteFileBytes(other, Header(kOwnBits == 64 ? 0x014C : 0x8664));
  EXPECT_EQ(LoadDynLib(other), nullptr);
  const std::string otherBits = kOwnBits == 64 ? "32" : "64";
  EXPECT_THAT(DynLibLastError(), HasSubstr("fbclient.dll: a biblioteca é de " + otherBits + " bits e este "
                                           "Pagvigia.exe é de " + std::to_string(kOwnBits) + " bits"));

  const std::string needy = ExecutableDir() + "pagvigia_usa_dependencia.dll";
  EXPECT_EQ(LoadDynLib(needy), nullptr);
  EXPECT_THAT(DynLibLastError(), HasSubstr("pagvigia_usa_dependencia.dll: falta pagvigia_dependencia.dll, de que"));

  // Nothing there: no reason to give.
  EXPECT_EQ(LoadDynLib(dir / "nenhuma.dll"), nullptr);
  EXPECT_EQ(DynLibLastError(), "");

  // The system's texts keep no "%1" of their own.
  EXPECT_THAT(ErrorText(ERROR_BAD_EXE_FORMAT, "x.dll"), Not(HasSubstr("%")));
}

TEST(DynLibWin, TheImageReaderReadsThisProgram) {
  const auto image = ReadPeImage(ReadFileBytes(ExecutableDir() + "platform_tests.exe"));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Bits(), kOwnBits);
  EXPECT_THAT(image->imports, ::testing::Contains(::testing::StrCaseEq("kernel32.dll")));
  // Damaged images are refused without reading past their end.
  EXPECT_FALSE(ReadPeImage(Header(0x014C).substr(0, 0x3F)));
  EXPECT_FALSE(ReadPeImage(Header(0x014C).substr(0, 0x46)));
  std::string farAway = Header(0x014C);
  farAway[0x3F] = '\x7F';
  EXPECT_FALSE(ReadPeImage(farAway));
  const auto bare = ReadPeImage(Header(0x014C));
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->Bits(), 32);
  EXPECT_TRUE(bare->imports.empty());
}

}  // namespace
}  // namespace pagvigia::platform
