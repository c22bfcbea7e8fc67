// Shared libraries on Windows: LoadLibraryEx/GetProcAddress.
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/pe_image.h"
#include "platform/win_text.h"

#include <cstdint>
#include <optional>

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

bool FileThere(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring SystemFolder() {
  wchar_t buf[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
  return n && n < MAX_PATH ? std::wstring(buf, n) + L"\\" : std::wstring();
}

// Why the library file at `path`, which exists, would not load.
std::string LoadFailure(const std::wstring& path, DWORD err) {
  const std::string file = Narrow(path);
  std::optional<PeImage> image;
  try {
    image = ReadPeImage(ReadFileBytes(file));
  } catch (const std::exception&) {
  }
  constexpr int kOwnBits = sizeof(void*) * 8;
  if (err == ERROR_BAD_EXE_FORMAT && image && image->Bits() && image->Bits() != kOwnBits) {
    const std::string theirs = std::to_string(image->Bits());
    return file + ": a biblioteca é de " + theirs + " bits e este Pagvigia.exe é de " +
           std::to_string(kOwnBits) + " bits: instale o Pagvigia de " + theirs +
           " bits, ou ponha ao lado do programa o fbclient.dll de " + std::to_string(kOwnBits) + " bits";
  }
  if (err == ERROR_MOD_NOT_FOUND && image) {
    // A DLL it imports is in neither its folder nor the system's.
    const std::wstring folders[] = {FolderOf(path), SystemFolder()};
    std::string missing;
    for (const std::string& dll : image->imports) {
      const std::wstring name = Widen(dll);
      if (dll.rfind("api-ms-", 0) == 0 || dll.rfind("ext-ms-", 0) == 0) continue;  // the system's API sets
      bool found = false;
      for (const std::wstring& folder : folders) found = found || (!folder.empty() && FileThere(folder + name));
      if (!found) missing += (missing.empty() ? "" : ", ") + dll;
    }
    if (!missing.empty())
      return file + ": falta " + missing +
             ", de que ela depende (o cliente do Firebird precisa das suas DLLs de run-time ao lado dele)";
  }
  return file + ": " + ErrorText(err, file);
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
  // The first file found that would not load, and why.
  std::string failure;
  auto tryPath = [&](const std::wstring& path) {
    if (h) return;
    h = LoadPath(path);
    if (h) return;
    const DWORD err = ::GetLastError();
    if (failure.empty() && (err != ERROR_MOD_NOT_FOUND || FileThere(path))) failure = LoadFailure(path, err);
  };
  if (isPath) {
    tryPath(name);
  } else {
    for (const std::wstring& folder : {Widen(ExecutableDir()), FirebirdFolder()}) {
      if (!folder.empty()) tryPath(folder + name);
    }
    if (!h) {
      h = ::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
      const DWORD err = ::GetLastError();
      const std::wstring system = SystemFolder() + name;
      if (!h && failure.empty() && (err != ERROR_MOD_NOT_FOUND || FileThere(system)))
        failure = LoadFailure(system, err);
    }
  }
  ::SetThreadErrorMode(oldMode, nullptr);
  // A handle below 32 counts as a failure, as it did for 16-bit loaders.
  if (reinterpret_cast<std::uintptr_t>(h) < 32) {
    lastError = failure;
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
