// Whole integers written as text: the one digit reader behind every integer
// conversion of the program and of its tools (the text utilities' StrToInt
// family, the INI reader, the simulator's options). Each caller keeps its own
// rules around it (blanks, prefixes, which signs, which range); this reads
// the sign and the digits and checks that the value fits.
//
// Text is read byte by byte: only the ASCII digits (and, for base 16, the
// letters "a" to "f" in either case) are digits. Nothing here allocates or
// raises: a text that does not read gives no value (std::nullopt).
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace pagvigia::platform {

// The value of a hexadecimal digit ("0"-"9", "a"-"f", "A"-"F"); -1 for any
// other character. Decimal digits give their decimal value.
int HexDigitValue(char c);

// The value of `digits`: one or more digits of `base` (10 or 16) and nothing
// else. No value when the text is empty, holds any other character (a sign or
// a blank included) or its value exceeds `max`.
std::optional<std::uint64_t> ParseDigits(std::string_view digits, int base, std::uint64_t max);

// The signed value of `digits` (read by ParseDigits) with the sign given
// apart; no value when the digits do not read or the result does not fit 64
// bits (-9223372036854775808 fits, +9223372036854775808 does not).
std::optional<std::int64_t> ParseSigned(bool negative, std::string_view digits, int base);

// A whole decimal integer: an optional "+" or "-", then decimal digits, and
// nothing else (no blanks). No value when the text is not one or the value
// lies outside [min, max].
std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max);

}  // namespace pagvigia::platform
