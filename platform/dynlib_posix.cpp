// Shared libraries on POSIX: dlopen/dlsym.
#include "platform/dynlib.h"

#include <dlfcn.h>

namespace pagvigia::platform {

namespace {
thread_local std::string lastError;
}

void RestrictLibrarySearch() {}

DynLibHandle LoadDynLib(const std::string& fileOrPath) {
  // RTLD_LOCAL keeps the library's symbols out of the global namespace;
  // RTLD_NOW reports missing dependencies here rather than at a later call.
  void* h = ::dlopen(fileOrPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = ::dlerror();
    lastError = e ? e : "unknown error";
    // A library that is simply not there is no reason worth a word.
    if (lastError.find("No such file or directory") != std::string::npos) lastError.clear();
  }
  return h;
}

void* DynLibSymbol(DynLibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return ::dlsym(lib, name);
}

void FreeDynLib(DynLibHandle lib) {
  if (lib) ::dlclose(lib);
}

std::string DynLibLastError() { return lastError; }

std::vector<std::string> FbClientLibNamesInProgramFolder() { return FbClientLibNames(); }
std::vector<std::string> FbClientLibNames() { return {"libfbclient.so.2", "libfbclient.so"}; }

}  // namespace pagvigia::platform
