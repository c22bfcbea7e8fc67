// One running copy of the program per folder: a lock on a file beside the
// executable, taken without waiting and held for the life of the object. The
// system drops the lock when the process ends, however it ends, so a crash
// leaves nothing stale behind. The file itself stays; its content is unused.
// Not thread-safe; one object per process is enough.
#pragma once
#include <cstdint>
#include <string>

namespace pagvigia::platform {

class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Creates the file when missing and takes its lock. False when another
  // process holds it; raises FileError (platform/files.h) when the file
  // cannot be opened.
  bool TryAcquire(const std::string& path);
  bool Held() const { return FHandle != -1; }

 private:
  std::intptr_t FHandle = -1;
};

// The lock file of the running executable: "Pagvigia.lock" beside it.
std::string InstanceLockPath();

}  // namespace pagvigia::platform
