#include "tests/support/fifo_files.h"

namespace pagvigia::testing {

bool MakeFifoAndDanglingLink(const std::string&, const std::string&) { return false; }

}  // namespace pagvigia::testing
