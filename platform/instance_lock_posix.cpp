#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"
#include "platform/instance_lock.h"

namespace pagvigia::platform {

InstanceLock::~InstanceLock() {
  if (FHandle != -1) ::close(static_cast<int>(FHandle));
}

bool InstanceLock::TryAcquire(const std::string& path) {
  if (FHandle != -1) return true;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    throw FileError("Cannot open \"" + path + "\": " + std::strerror(err), err);
  }
  // flock belongs to this open file: no other process, and no other open of
  // the file, can take it until the descriptor closes or the process ends.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return false;
    throw FileError("Cannot lock \"" + path + "\": " + std::strerror(err), err);
  }
  FHandle = fd;
  return true;
}

std::string InstanceLockPath() { return ExecutableDir() + "Pagvigia.lock"; }

}  // namespace pagvigia::platform
