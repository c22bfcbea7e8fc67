#include "db/fb_component.h"

namespace pagvigia {


int TFbParamList::IndexOfName(const std::string& name) const {
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    const std::string& l = FLines[i];
    std::size_t eq = l.find('=');
    std::string n = eq == std::string::npos ? l : l.substr(0, eq);
    if (SameText(n, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TFbParamList::Value(const std::string& name) const {
  int i = IndexOfName(name);
  if (i < 0) return "";
  const std::string& l = FLines[static_cast<std::size_t>(i)];
  std::size_t eq = l.find('=');
  return eq == std::string::npos ? "" : l.substr(eq + 1);
}

void TFbParamList::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) FLines.erase(FLines.begin() + i);
    return;
  }
  if (i >= 0)
    FLines[static_cast<std::size_t>(i)] = name + "=" + value;
  else
    FLines.push_back(name + "=" + value);
}

}  // namespace pagvigia
