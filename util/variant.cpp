#include "util/variant.h"

#include <cmath>
#include <limits>

#include "util/conversao.h"
#include "util/numeros.h"
#include "util/texto.h"

namespace pagvigia {

namespace {

std::int32_t RoundToInt32(double v) {
  if (!std::isfinite(v)) throw EConvertError("Invalid floating point operation");
  const double r = std::nearbyint(v);  // ties to even
  if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
    throw EConvertError("Arithmetic overflow converting " + FloatToStr(v) + " to an integer");
  return static_cast<std::int32_t>(r);
}

}  // namespace

std::string TVariant::AsString() && {
  if (kind() == Kind::String) return std::move(std::get<std::string>(FValue));
  return static_cast<const TVariant&>(*this).AsString();
}

std::string TVariant::AsString() const& {
  switch (kind()) {
    case Kind::Empty: return {};
    case Kind::String: return std::get<std::string>(FValue);
    case Kind::Integer: return IntToStr(std::get<std::int32_t>(FValue));
    case Kind::Double: return FloatToStr(std::get<double>(FValue));
    case Kind::Boolean: return std::get<bool>(FValue) ? "True" : "False";
    case Kind::DateTime: return DateTimeToStr(std::get<TDateTime>(FValue));
  }
  return {};
}

std::int32_t TVariant::AsInteger() const {
  switch (kind()) {
    case Kind::Empty: return 0;
    case Kind::String: {
      const std::string& s = std::get<std::string>(FValue);
      std::int64_t i = 0;
      try {
        i = StrToInt64(s);
      } catch (const EConvertError&) {
        return RoundToInt32(StringToFloat(s));
      }
      if (i < std::numeric_limits<std::int32_t>::min() || i > std::numeric_limits<std::int32_t>::max())
        throw EConvertError("Arithmetic overflow converting '" + s + "' to an integer");
      return static_cast<std::int32_t>(i);
    }
    case Kind::Integer: return std::get<std::int32_t>(FValue);
    case Kind::Double: return RoundToInt32(std::get<double>(FValue));
    case Kind::Boolean: return std::get<bool>(FValue) ? 1 : 0;
    case Kind::DateTime: return RoundToInt32(std::trunc(std::get<TDateTime>(FValue).value));
  }
  return 0;
}

double TVariant::AsDouble() const {
  switch (kind()) {
    case Kind::Empty: return 0;
    case Kind::String: {
      const std::string& s = std::get<std::string>(FValue);
      const std::string t = Trim(s);
      // The system format: "." decimal separator only.
      if (t.find(',') != std::string::npos)
        throw EConvertError("'" + t + "' is not a valid floating point value");
      return StringToFloat(t);
    }
    case Kind::Integer: return std::get<std::int32_t>(FValue);
    case Kind::Double: return std::get<double>(FValue);
    case Kind::Boolean: return std::get<bool>(FValue) ? 1 : 0;
    case Kind::DateTime: return std::get<TDateTime>(FValue).value;
  }
  return 0;
}

TDateTime TVariant::AsDateTime() const {
  switch (kind()) {
    case Kind::Empty: return TDateTime();
    case Kind::String: return StrToDateTime(std::get<std::string>(FValue));
    case Kind::Integer: return TDateTime(std::get<std::int32_t>(FValue));
    case Kind::Double: {
      const double d = std::get<double>(FValue);
      if (!std::isfinite(d)) throw EConvertError("Invalid floating point operation");
      return TDateTime(d);
    }
    case Kind::Boolean: return TDateTime(std::get<bool>(FValue) ? 1.0 : 0.0);
    case Kind::DateTime: return std::get<TDateTime>(FValue);
  }
  return TDateTime();
}

bool TVariant::AsBoolean() const {
  switch (kind()) {
    case Kind::Empty: return false;
    case Kind::String: {
      const std::string t = Trim(std::get<std::string>(FValue));
      if (SameText(t, "true")) return true;
      if (SameText(t, "false")) return false;
      double d = 0;
      try {
        d = StringToFloat(t);
      } catch (const EConvertError&) {
        throw EConvertError("Could not convert variant of type (String) into type (Boolean)");
      }
      return d != 0;
    }
    case Kind::Integer: return std::get<std::int32_t>(FValue) != 0;
    case Kind::Double: return std::get<double>(FValue) != 0;
    case Kind::Boolean: return std::get<bool>(FValue);
    case Kind::DateTime: return std::get<TDateTime>(FValue).value != 0;
  }
  return false;
}

}  // namespace pagvigia
