// Shared libraries on Windows: LoadLibraryEx/GetProcAddress.
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/win_text.h"

#include <cstdint>

namespace pagvigia::platform {

namespace {
thread_local std::string lastError;
}

void RestrictLibrarySearch() {
  // The program's folder, System32 and folders added explicitly; never the
  // current folder or PATH.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

namespace {

// The Firebird installation's folder as its installer records it, with a
// delimiter; empty when none is installed.
std::wstring FirebirdFolder() {
  wchar_t buf[MAX_PATH] = {};
  DWORD size = sizeof buf;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Firebird Project\\Firebird Server\\Instances",
                     L"DefaultInstance", RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
    return {};
  std::wstring folder = buf;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

HMODULE LoadPath(const std::wstring& path) {
  // Its dependencies in its own folder first, then the safe folders.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

DynLibHandle LoadDynLib(const std::string& fileOrPath) {
  // No "missing file" or "bad image" dialogs: a failed load is an error the
  // caller reports.
  const bool isPath = fileOrPath.find_first_of("\\/:") != std::string::npos;
  DWORD oldMode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  const std::wstring name = Widen(fileOrPath);
  HMODULE h = nullptr;
  DWORD err = ERROR_MOD_NOT_FOUND;
  if (isPath) {
    h = LoadPath(name);
    err = ::GetLastError();
  } else {
    const std::wstring folders[] = {Widen(ExecutableDir()), FirebirdFolder()};
    for (const std::wstring& folder : folders) {
      if (h || folder.empty()) continue;
      h = LoadPath(folder + name);
      if (!h && ::GetLastError() != ERROR_MOD_NOT_FOUND) err = ::GetLastError();
    }
    if (!h) {
      h = ::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
      if (!h && ::GetLastError() != ERROR_MOD_NOT_FOUND) err = ::GetLastError();
    }
  }
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
