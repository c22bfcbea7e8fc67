// The Firebird client library, loaded at run time and bound by name: a
// machine without it starts normally and reports a clear error on the first
// connect. The types and constants come from the client's public header; the
// library itself is never linked at build time.
#pragma once
#include <ibase.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/dynlib.h"

namespace pagvigia {

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
  bool Loaded() const { return handle_ != nullptr; }
  // The file the library was loaded from.
  const std::string& LoadedFile() const { return loadedFile_; }

  // When set, exactly this file is loaded.
  std::string LibraryFile;
  // The names tried in the program's own folder and then by the system's
  // search when no file is configured (the platform's client library names).
  std::vector<std::string> SearchNames;

  // Entry points (nullptr until Open succeeds).
  decltype(&::isc_attach_database) isc_attach_database = nullptr;
  decltype(&::isc_detach_database) isc_detach_database = nullptr;
  decltype(&::isc_database_info) isc_database_info = nullptr;
  decltype(&::isc_start_multiple) isc_start_multiple = nullptr;
  decltype(&::isc_commit_transaction) isc_commit_transaction = nullptr;
  decltype(&::isc_commit_retaining) isc_commit_retaining = nullptr;
  decltype(&::isc_rollback_transaction) isc_rollback_transaction = nullptr;
  decltype(&::isc_dsql_allocate_statement) isc_dsql_allocate_statement = nullptr;
  decltype(&::isc_dsql_prepare) isc_dsql_prepare = nullptr;
  decltype(&::isc_dsql_describe) isc_dsql_describe = nullptr;
  decltype(&::isc_dsql_describe_bind) isc_dsql_describe_bind = nullptr;
  decltype(&::isc_dsql_execute) isc_dsql_execute = nullptr;
  decltype(&::isc_dsql_execute2) isc_dsql_execute2 = nullptr;
  decltype(&::isc_dsql_fetch) isc_dsql_fetch = nullptr;
  decltype(&::isc_dsql_free_statement) isc_dsql_free_statement = nullptr;
  decltype(&::isc_dsql_sql_info) isc_dsql_sql_info = nullptr;
  decltype(&::isc_vax_integer) isc_vax_integer = nullptr;
  ISC_LONG (*isc_interprete)(ISC_SCHAR*, ISC_STATUS**) = nullptr;
  decltype(&::isc_sqlcode) isc_sqlcode = nullptr;
  decltype(&::isc_sql_interprete) isc_sql_interprete = nullptr;
  decltype(&::isc_open_blob2) isc_open_blob2 = nullptr;
  decltype(&::isc_create_blob2) isc_create_blob2 = nullptr;
  decltype(&::isc_get_segment) isc_get_segment = nullptr;
  decltype(&::isc_put_segment) isc_put_segment = nullptr;
  decltype(&::isc_close_blob) isc_close_blob = nullptr;
  decltype(&::isc_cancel_blob) isc_cancel_blob = nullptr;
  // Optional: stay nullptr when the library lacks them.
  decltype(&::fb_interpret) fb_interpret = nullptr;
  decltype(&::isc_rollback_retaining) isc_rollback_retaining = nullptr;
  decltype(&::isc_portable_integer) isc_portable_integer = nullptr;

 private:
  void Bind();
  void Unbind();

  std::mutex mu_;
  platform::DynLibHandle handle_ = nullptr;
  std::string loadedFile_;
};

}  // namespace pagvigia
