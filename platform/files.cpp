// File helpers that are the same on every platform.
#include "platform/files.h"

namespace pagvigia::platform {

bool MatchesMask(std::string_view name, std::string_view mask) {
  // Iterative wildcard match with backtracking on the last "*". Letters match
  // without regard to ASCII case, as masks do on Windows: an answer written
  // as "X.XML" is still an ".xml" answer.
  auto same = [](char a, char b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  };
  std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || same(mask[m], name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace pagvigia::platform
