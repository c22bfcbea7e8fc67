// Files that are neither regular files nor folders, made in a folder the
// client scans: a FIFO and a symbolic link whose target is missing.
#pragma once
#include <string>

namespace pagvigia::testing {

// Makes a FIFO at `path` and a dangling symbolic link at `link`. Returns
// false where the platform's file system has no FIFOs (Windows: its named
// pipes live outside the folders), so the caller skips the case.
bool MakeFifoAndDanglingLink(const std::string& path, const std::string& link);

}  // namespace pagvigia::testing
