// A tagged value: empty, text, 32-bit integer, double, Boolean or date-time,
// with conversions between them. Used for the values handed to the XML
// generator and the values read back by the XML reader.
#pragma once
#include <cstdint>
#include <string>
#include <variant>

#include "util/datetime.h"

namespace pagvigia {

class TVariant {
 public:
  enum class Kind { Empty, String, Integer, Double, Boolean, DateTime };

  TVariant() = default;
  TVariant(std::string v) : FValue(std::move(v)) {}
  TVariant(const char* v) : FValue(std::string(v ? v : "")) {}
  TVariant(std::string_view v) : FValue(std::string(v)) {}
  TVariant(std::int32_t v) : FValue(v) {}
  TVariant(double v) : FValue(v) {}
  TVariant(bool v) : FValue(v) {}
  TVariant(TDateTime v) : FValue(v) {}

  Kind kind() const { return static_cast<Kind>(FValue.index()); }
  bool IsEmpty() const { return kind() == Kind::Empty; }

  // Conversions; each raises EConvertError when the value cannot be converted.
  //  text:     empty ""; integer decimal; double in the shortest general form
  //            (FloatToStr); Boolean "True"/"False"; date-time DateTimeToStr.
  //  integer:  empty 0; text: a whole integer, else a number rounded to the
  //            nearest (ties to even); double rounded likewise (out of the
  //            32-bit range raises); Boolean 1/0; date-time its whole days.
  //  double:   empty 0; text: the system format (StrToFloat rules, "." only);
  //            Boolean 1/0; date-time its days.
  //  date-time: empty the zero date; text StrToDateTime; numbers as days.
  //  Boolean:  empty false; text "true"/"false" in any case or a number
  //            (non-zero true); numbers non-zero true.
  std::string AsString() const&;
  std::string AsString() &&;  // a text value is moved out
  std::int32_t AsInteger() const;
  double AsDouble() const;
  TDateTime AsDateTime() const;
  bool AsBoolean() const;

  friend bool operator==(const TVariant&, const TVariant&) = default;

 private:
  std::variant<std::monostate, std::string, std::int32_t, double, bool, TDateTime> FValue;
};

}  // namespace pagvigia
