// Reading whole integers from text; shared by every platform.
#include "platform/integer_text.h"

namespace pagvigia::platform {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint64_t> ParseDigits(std::string_view digits, int base, std::uint64_t max) {
  if (digits.empty()) return std::nullopt;
  const auto b = static_cast<std::uint64_t>(base);
  std::uint64_t v = 0;
  for (const char c : digits) {
    const int d = HexDigitValue(c);
    if (d < 0 || d >= base) return std::nullopt;
    const auto ud = static_cast<std::uint64_t>(d);
    // v * base + d <= max, checked without overflowing.
    if (ud > max || v > (max - ud) / b) return std::nullopt;
    v = v * b + ud;
  }
  return v;
}

std::optional<std::int64_t> ParseSigned(bool negative, std::string_view digits, int base) {
  constexpr std::uint64_t kMaxPositive = 0x7FFFFFFFFFFFFFFFull;
  const auto magnitude = ParseDigits(digits, base, negative ? kMaxPositive + 1 : kMaxPositive);
  if (!magnitude) return std::nullopt;
  // Unsigned negation, then the two's-complement reading: the smallest value
  // comes out exactly.
  return static_cast<std::int64_t>(negative ? 0 - *magnitude : *magnitude);
}

std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const auto v = ParseSigned(negative, text, 10);
  if (!v || *v < min || *v > max) return std::nullopt;
  return v;
}

}  // namespace pagvigia::platform
