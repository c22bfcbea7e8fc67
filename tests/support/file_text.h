// The whole content of a file, for tests and benchmarks.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

namespace pagvigia::testing {

// Reads a whole file ("" when missing).
inline std::string SlurpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace pagvigia::testing
