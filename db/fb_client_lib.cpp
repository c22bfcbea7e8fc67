#include "db/fb_client_lib.h"

#include <stdexcept>

#include "db/fb_errors.h"
#include "platform/files.h"

namespace pagvigia {

TFbClientLib& TFbClientLib::Instance() {
  // Created once under a lock (a function-local static); never destroyed, so
  // the library stays loaded until the process ends and connections may still
  // detach from static destructors.
  static TFbClientLib* lib = new TFbClientLib();
  return *lib;
}

TFbClientLib::TFbClientLib() : SearchNames(platform::FbClientLibNames()) {}

TFbClientLib::~TFbClientLib() { Close(); }

void TFbClientLib::Open() {
  std::lock_guard lock(mu_);
  if (handle_) return;
  platform::DynLibHandle h = nullptr;
  std::string file;
  if (!LibraryFile.empty()) {
    h = platform::LoadDynLib(LibraryFile);
    if (!h) throw std::runtime_error("Unable to load client library: " + LibraryFile);
    file = LibraryFile;
  } else {
    // First beside the program, then by the system's ordinary search.
    const std::string own = platform::ExecutableDir();
    for (const auto& name : SearchNames) {
      if (own.empty()) break;
      const std::string path = own + name;
      if (!platform::FileExists(path)) continue;
      if ((h = platform::LoadDynLib(path))) {
        file = path;
        break;
      }
    }
    for (std::size_t i = 0; !h && i < SearchNames.size(); ++i) {
      if ((h = platform::LoadDynLib(SearchNames[i]))) file = SearchNames[i];
    }
    if (!h) {
      std::string names;
      for (const auto& name : SearchNames) names += (names.empty() ? "" : " or ") + name;
      throw std::runtime_error("Unable to load client library: " + names);
    }
  }
  handle_ = h;
  loadedFile_ = file;
  try {
    Bind();
  } catch (...) {
    Unbind();
    platform::FreeDynLib(handle_);
    handle_ = nullptr;
    loadedFile_.clear();
    throw;
  }
}

void TFbClientLib::Close() {
  std::lock_guard lock(mu_);
  Unbind();
  platform::FreeDynLib(handle_);
  handle_ = nullptr;
  loadedFile_.clear();
}

void TFbClientLib::Bind() {
  auto need = [this](auto& fn, const char* name) {
    void* p = platform::DynLibSymbol(handle_, name);
    if (!p) throw EFbError(std::string("Unable to locate DLL import ") + name);
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
  };
  auto may = [this](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(platform::DynLibSymbol(handle_, name));
  };
  need(isc_attach_database, "isc_attach_database");
  need(isc_detach_database, "isc_detach_database");
  need(isc_database_info, "isc_database_info");
  need(isc_start_multiple, "isc_start_multiple");
  need(isc_commit_transaction, "isc_commit_transaction");
  need(isc_commit_retaining, "isc_commit_retaining");
  need(isc_rollback_transaction, "isc_rollback_transaction");
  need(isc_dsql_allocate_statement, "isc_dsql_allocate_statement");
  need(isc_dsql_prepare, "isc_dsql_prepare");
  need(isc_dsql_describe, "isc_dsql_describe");
  need(isc_dsql_describe_bind, "isc_dsql_describe_bind");
  need(isc_dsql_execute, "isc_dsql_execute");
  need(isc_dsql_execute2, "isc_dsql_execute2");
  need(isc_dsql_fetch, "isc_dsql_fetch");
  need(isc_dsql_free_statement, "isc_dsql_free_statement");
  need(isc_dsql_sql_info, "isc_dsql_sql_info");
  need(isc_vax_integer, "isc_vax_integer");
  need(isc_interprete, "isc_interprete");
  need(isc_sqlcode, "isc_sqlcode");
  need(isc_sql_interprete, "isc_sql_interprete");
  need(isc_open_blob2, "isc_open_blob2");
  need(isc_create_blob2, "isc_create_blob2");
  need(isc_get_segment, "isc_get_segment");
  need(isc_put_segment, "isc_put_segment");
  need(isc_close_blob, "isc_close_blob");
  need(isc_cancel_blob, "isc_cancel_blob");
  may(fb_interpret, "fb_interpret");
  may(isc_rollback_retaining, "isc_rollback_retaining");
  may(isc_portable_integer, "isc_portable_integer");
}

void TFbClientLib::Unbind() {
  isc_attach_database = nullptr;
  isc_detach_database = nullptr;
  isc_database_info = nullptr;
  isc_start_multiple = nullptr;
  isc_commit_transaction = nullptr;
  isc_commit_retaining = nullptr;
  isc_rollback_transaction = nullptr;
  isc_dsql_allocate_statement = nullptr;
  isc_dsql_prepare = nullptr;
  isc_dsql_describe = nullptr;
  isc_dsql_describe_bind = nullptr;
  isc_dsql_execute = nullptr;
  isc_dsql_execute2 = nullptr;
  isc_dsql_fetch = nullptr;
  isc_dsql_free_statement = nullptr;
  isc_dsql_sql_info = nullptr;
  isc_vax_integer = nullptr;
  isc_interprete = nullptr;
  isc_sqlcode = nullptr;
  isc_sql_interprete = nullptr;
  isc_open_blob2 = nullptr;
  isc_create_blob2 = nullptr;
  isc_get_segment = nullptr;
  isc_put_segment = nullptr;
  isc_close_blob = nullptr;
  isc_cancel_blob = nullptr;
  fb_interpret = nullptr;
  isc_rollback_retaining = nullptr;
  isc_portable_integer = nullptr;
}

}  // namespace pagvigia
