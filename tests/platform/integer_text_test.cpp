#include "platform/integer_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

using namespace pagvigia::platform;

namespace {

struct Case {
  const char* text;
  std::optional<std::int64_t> value;
};

}  // namespace

TEST(IntegerText, WholeDecimalIntegersWithinTheRange) {
  const Case cases[] = {
      {"0", 0},
      {"+12", 12},
      {"-12", -12},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483648LL},
      {"2147483648", std::nullopt},   // above the range asked for
      {"-2147483649", std::nullopt},  // below it
      {"", std::nullopt},
      {"-", std::nullopt},
      {" 12", std::nullopt},
      {"12 ", std::nullopt},
      {"12abc", std::nullopt},
      {"0x10", std::nullopt},
      {"+-1", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseInteger(c.text, INT32_MIN, INT32_MAX), c.value) << '"' << c.text << '"';
}

TEST(IntegerText, SixtyFourBitLimitsAndHexadecimalDigits) {
  EXPECT_EQ(ParseSigned(true, "9223372036854775808", 10), INT64_MIN);
  EXPECT_EQ(ParseSigned(false, "9223372036854775808", 10), std::nullopt);
  EXPECT_EQ(ParseSigned(false, "7fffffffffffffff", 16), INT64_MAX);
  EXPECT_EQ(ParseSigned(false, "1a", 10), std::nullopt);
  EXPECT_EQ(ParseDigits("FFFFFFFF", 16, 0xFFFFFFFFull), 0xFFFFFFFFull);
  EXPECT_EQ(ParseDigits("100000000", 16, 0xFFFFFFFFull), std::nullopt);
  EXPECT_EQ(ParseDigits("aB", 16, 255), 0xABu);
  EXPECT_EQ(ParseDigits("", 16, 255), std::nullopt);
  EXPECT_EQ(HexDigitValue('g'), -1);
}
