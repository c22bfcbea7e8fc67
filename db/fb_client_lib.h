// The Firebird client library, loaded at run time and bound by name: a
// machine without it starts normally and reports a clear error on the first
// connect. The library is never linked at build time. Its entry points use
// the client's own types and sit in a table (TFbClientApi) that only the
// layer's implementation files see (db/fb_private.h).
//
// Open and Close are serialised by a lock; the entry points must not be used
// while another thread closes the library.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dynlib.h"

namespace pagvigia {

struct TFbClientApi;

class TFbClientLib {
 public:
  // The library object of the process, created on first use.
  static TFbClientLib& Instance();

  TFbClientLib();
  ~TFbClientLib();
  TFbClientLib(const TFbClientLib&) = delete;
  TFbClientLib& operator=(const TFbClientLib&) = delete;

  // Loads and binds the library once (later calls do nothing while loaded).
  // Raises std::runtime_error "Unable to load client library: <names>" when
  // no candidate loads, EFbError "Unable to locate DLL import <name>" when a
  // required entry point is missing (the library is then unloaded again).
  void Open();
  // Unloads the library and unbinds every entry point.
  void Close();
  bool Loaded() const { return FHandle != nullptr || FSubstituted; }
  // The file the library was loaded from.
  const std::string& LoadedFile() const { return FLoadedFile; }

  // When set, exactly this file is loaded.
  std::string LibraryFile;
  // When no file is configured: the names tried in the program's own folder,
  // then the names tried by the system's search (also the names the failure
  // message lists); the platform's client library names.
  std::vector<std::string> ProgramFolderNames;
  std::vector<std::string> SearchNames;

  // The entry points (each nullptr until Open succeeds).
  const TFbClientApi& Api() const { return *FApi; }

  // Uses these entry points instead of a loaded library: Open then does
  // nothing and Close forgets them. Tests drive the layer's failure paths
  // through a fake client this way.
  void Substitute(const TFbClientApi& api);

 private:
  void Bind();
  void Unbind();

  std::mutex FMutex;
  platform::DynLibHandle FHandle = nullptr;
  bool FSubstituted = false;
  std::string FLoadedFile;
  std::unique_ptr<TFbClientApi> FApi;
};

}  // namespace pagvigia
