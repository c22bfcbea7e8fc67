#include "platform/instance_lock.h"

#include "platform/files.h"
#include "platform/win_text.h"

namespace pagvigia::platform {

InstanceLock::~InstanceLock() {
  if (FHandle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

bool InstanceLock::TryAcquire(const std::string& path) {
  if (FHandle != -1) return true;
  // The wide function: the path is UTF-8, not the system's code page.
  HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    throw FileError("Cannot open \"" + path + "\": error " + std::to_string(err), static_cast<int>(err));
  }
  // The lock belongs to this handle; the system releases it when the handle
  // closes or the process ends.
  OVERLAPPED at{};
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) return false;
    throw FileError("Cannot lock \"" + path + "\": error " + std::to_string(err), static_cast<int>(err));
  }
  FHandle = reinterpret_cast<std::intptr_t>(h);
  return true;
}

std::string InstanceLockPath() { return ExecutableDir() + "Pagvigia.lock"; }

}  // namespace pagvigia::platform
