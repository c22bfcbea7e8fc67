#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/fifo_files.h"

namespace pagvigia::testing {

bool MakeFifoAndDanglingLink(const std::string& path, const std::string& link) {
  if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed: " + path);
  if (::symlink((path + ".nada").c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed: " + link);
  return true;
}

}  // namespace pagvigia::testing
