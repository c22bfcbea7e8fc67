// Integer and floating-point conversions to and from text, in the system
// number format of this program.
//
// The system number format is fixed, whatever the locale of the machine:
// decimal separator ".", thousands separator "," (SystemFormatSettings()).
// Text is UTF-8 (the numbers themselves are ASCII). Stateless and
// thread-safe. Failure: the conversions from text without a default raise
// EConvertError (util/conversao.h) with the text quoted; the "...Def"
// variants return their default instead and never raise.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace pagvigia {

// The separators of the system number format.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
};
// The fixed system number format: "." decimal, "," thousands.
const TFormatSettings& SystemFormatSettings();

// Decimal text of an integer ("-" for negatives).
std::string IntToStr(std::int64_t value);
// A whole decimal integer (optional sign, blanks around allowed) or a
// hexadecimal one written "$FF" / "0xFF" (after the sign, if any); raises
// EConvertError otherwise or when it does not fit 32 (StrToInt) or 64 bits.
std::int32_t StrToInt(std::string_view s);
std::int32_t StrToIntDef(std::string_view s, std::int32_t def);
std::int64_t StrToInt64(std::string_view s);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t def);

// NumString trimmed, every "." and "," taken as the decimal separator, then
// converted. No thousands separators: "1.234,56" raises EConvertError, as does
// any text that is not a number.
double StringToFloat(std::string_view NumString);
// DefaultValue when NumString is empty or does not convert.
double StringToFloatDef(std::string_view NumString, double DefaultValue);
// "0" for DecimalDigits <= 0; otherwise ("," when UseThousandSeparator) +
// "0." + DecimalDigits zeros.
std::string FloatMask(int DecimalDigits = 2, bool UseThousandSeparator = false);
// AValue formatted with the mask AFormat (the shortest general form when
// empty) in the system format, thousands separators removed and the decimal
// separator replaced by SeparadorDecimal.
std::string FloatToString(double AValue, char SeparadorDecimal = '.', std::string_view AFormat = "");
// AValue formatted with a number mask: "0" digit placeholders, "#" optional
// digits, "." the decimal point, "," anywhere before it for thousands
// grouping; text in quotes and other characters are copied. Rounds half away
// from zero on the value's 18 significant decimal digits. NaN and infinities
// give "NAN", "INF" and "-INF".
std::string FormatFloat(std::string_view AFormat, double AValue,
                        const TFormatSettings& fs = SystemFormatSettings());
// The shortest general form: up to 15 significant digits, exponent form
// ("1.5E20") for very large or small values.
std::string FloatToStr(double AValue, const TFormatSettings& fs = SystemFormatSettings());

}  // namespace pagvigia
