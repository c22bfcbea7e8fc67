#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace pagvigia::platform;

TEST(CodePage, AnsiRoundTripKeepsWindows1252AndReplacesTheRest) {
  const std::string text = "Conexão € “aspas” ação ÿ";
  EXPECT_EQ(AnsiToUtf8(Utf8ToAnsi(text)), text);
  EXPECT_EQ(Utf8ToAnsi("ã€"), "\xE3\x80");
  EXPECT_EQ(Utf8ToAnsi("日本"), "??");
  EXPECT_EQ(Utf8ToAnsi("a\xFF" "b"), "a?b");          // invalid UTF-8 byte
  EXPECT_EQ(Utf8ToAnsi("\xC3"), "?");                  // truncated sequence
  EXPECT_EQ(AnsiToUtf8("\x81"), "\xC2\x81");           // undefined byte kept as C1
}

TEST(CodePage, Latin1DiffersFromWindows1252InTheC1Range) {
  EXPECT_EQ(Utf8ToLatin1("José €"), "Jos\xE9 ?");
  EXPECT_EQ(Latin1ToUtf8("\xE7\x80"), "ç\xC2\x80");
}

TEST(CodePage, Utf16BothWaysWithSurrogates) {
  const std::string text = "ação 😀";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text, false), false), text);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text, true), true), text);
  EXPECT_EQ(Utf16ToUtf8(std::string("\x00\xD8\x41\x00", 4), false), "?A");  // lone surrogate
}

TEST(CodePage, CountsCharactersNotBytes) {
  EXPECT_EQ(Utf8Length("ação"), 4u);
  EXPECT_EQ(Utf8Left("ação", 2), "aç");
  EXPECT_EQ(Utf8Mid("ação", 1, 2), "çã");
  EXPECT_EQ(Utf8Length("\xFF\xFE"), 2u);
  EXPECT_EQ(Utf8Left("ab", 10), "ab");
  // A byte inside a character gives that character's position.
  EXPECT_EQ(Utf8CharPosition("aé", 2), 2u);
  EXPECT_EQ(Utf8CharPosition("aéb", 3), 3u);
  EXPECT_EQ(Utf8CharPosition("é", 1), 1u);
}
