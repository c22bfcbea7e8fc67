#include "db/fb_component.h"

namespace pagvigia {

namespace fbdetail {
bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string UpperCase(std::string s) {
  for (auto& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}
}  // namespace fbdetail

int TFbParamList::IndexOfName(const std::string& name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const std::string& l = lines_[i];
    std::size_t eq = l.find('=');
    std::string n = eq == std::string::npos ? l : l.substr(0, eq);
    if (fbdetail::SameText(n, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TFbParamList::Value(const std::string& name) const {
  int i = IndexOfName(name);
  if (i < 0) return "";
  const std::string& l = lines_[static_cast<std::size_t>(i)];
  std::size_t eq = l.find('=');
  return eq == std::string::npos ? "" : l.substr(eq + 1);
}

void TFbParamList::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) lines_.erase(lines_.begin() + i);
    return;
  }
  if (i >= 0)
    lines_[static_cast<std::size_t>(i)] = name + "=" + value;
  else
    lines_.push_back(name + "=" + value);
}

}  // namespace pagvigia
