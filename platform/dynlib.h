// Loading shared libraries at run time and binding their entry points by
// name, so that an optional or missing library is a clear error when it is
// first needed instead of a failure to start the program.
#pragma once
#include <string>
#include <vector>

namespace pagvigia::platform {

// An opaque handle of a loaded library; nullptr means not loaded.
using DynLibHandle = void*;

// Keeps libraries out of the current folder and PATH for the whole process
// (Windows: SetDefaultDllDirectories; a service running as LocalSystem must
// never load a file that an ordinary user could drop there). Call first thing
// in main. Nothing to do on POSIX.
void RestrictLibrarySearch();

// Loads a library by file name or by path (exactly that file; the library's
// own folder is where its dependencies are looked for first, where the
// platform does that). A file name is searched by the system's ordinary
// search on POSIX; on Windows only in the program's folder, the folder of the
// Firebird installation the registry names (DefaultInstance), and System32.
// System error dialogs are suppressed. Returns nullptr on failure; the reason
// is then in DynLibLastError() when a file was found that would not load.
DynLibHandle LoadDynLib(const std::string& fileOrPath);
// The entry point `name`, or nullptr when the library does not export it.
void* DynLibSymbol(DynLibHandle lib, const char* name);
// Unloads a library loaded by LoadDynLib (nothing for nullptr).
void FreeDynLib(DynLibHandle lib);
// Why the last failed LoadDynLib on this thread failed, naming the file,
// when it found a file that would not load (another processor's build, a
// missing dependency, a damaged file); empty when it found none.
std::string DynLibLastError();

// The file names of the Firebird client library in the order they are tried
// in the program's own folder.
std::vector<std::string> FbClientLibNamesInProgramFolder();
// The same names in the order they are tried by the system's search
// afterwards, which is also the order in which the "Unable to load client
// library" message lists them.
std::vector<std::string> FbClientLibNames();

}  // namespace pagvigia::platform
