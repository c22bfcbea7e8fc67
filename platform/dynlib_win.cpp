// Shared libraries on Windows: LoadLibraryEx/GetProcAddress.
#include "platform/dynlib.h"
#include "platform/win_text.h"

#include <cstdint>

namespace pagvigia::platform {

namespace {
thread_local std::string lastError;
}

DynLibHandle LoadDynLib(const std::string& fileOrPath) {
  // No "missing file" or "bad image" dialogs: a failed load is an error the
  // caller reports. A path loads exactly that file, its dependencies looked
  // for in its own folder first.
  const bool isPath = fileOrPath.find_first_of("\\/:") != std::string::npos;
  DWORD oldMode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE h = ::LoadLibraryExW(Widen(fileOrPath).c_str(), nullptr,
                               isPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  const DWORD err = ::GetLastError();
  ::SetThreadErrorMode(oldMode, nullptr);
  // A handle below 32 counts as a failure, as it did for 16-bit loaders.
  if (reinterpret_cast<std::uintptr_t>(h) < 32) {
    lastError = ErrorText(err);
    return nullptr;
  }
  return reinterpret_cast<DynLibHandle>(h);
}

void* DynLibSymbol(DynLibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void FreeDynLib(DynLibHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

std::string DynLibLastError() { return lastError; }

std::vector<std::string> FbClientLibNamesInProgramFolder() {
  return {"fbembed.dll", "ibtogo.dll", "fbclient.dll", "gds32.dll"};
}

std::vector<std::string> FbClientLibNames() {
  return {"fbclient.dll", "fbembed.dll", "gds32.dll", "ibtogo.dll"};
}

}  // namespace pagvigia::platform
