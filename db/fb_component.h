// The common base of the database layer's objects, and the name=value list
// that holds a connection's settings.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "util/texto.h"

namespace pagvigia {

// The client library's handle of an attachment, a transaction, a statement or
// a blob: an opaque number on this side of the layer (db/fb_private.h checks
// that it is the client's own type: a 32-bit number in a 64-bit program, a
// pointer in a 32-bit one). 0 means no handle.
using TFbHandle = std::conditional_t<sizeof(void*) == 8, std::uint32_t, void*>;

// The status vector a client call fills in (defined in db/fb_private.h: only
// the layer's implementation files make client calls).
class TFbStatusVector;

class TFbComponent {
 public:
  explicit TFbComponent(std::string name = "") : Name(std::move(name)) {}
  virtual ~TFbComponent() = default;
  TFbComponent(const TFbComponent&) = delete;
  TFbComponent& operator=(const TFbComponent&) = delete;

  std::string Name;
};

// An ordered list of "name=value" lines; names are compared without regard
// to case (ASCII); setting a value to the empty text removes the line.
class TFbParamList {
 public:
  // The value of the first line with this name ("" when none).
  std::string Value(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);
  // Index of the first line with this name, -1 when none.
  int IndexOfName(const std::string& name) const;
  void Add(const std::string& line) { FLines.push_back(line); }
  void Clear() { FLines.clear(); }
  int Count() const { return static_cast<int>(FLines.size()); }
  const std::vector<std::string>& Lines() const { return FLines; }
  const std::string& operator[](int i) const { return FLines.at(static_cast<std::size_t>(i)); }

 private:
  std::vector<std::string> FLines;
};

}  // namespace pagvigia
