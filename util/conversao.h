// The one error of the text conversions: numbers (util/numeros.h), dates
// (util/datetime.h), variants (util/variant.h) and hexadecimal character
// references (util/xml_texto.h).
#pragma once
#include <stdexcept>
#include <string>

namespace pagvigia {

// A text that cannot be converted to a number, date or other value. Carries
// only a message, which quotes the text ("'12a' is not a valid integer
// value").
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pagvigia
