#include "db/fb_client_lib.h"

#include <stdexcept>

#include "db/fb_errors.h"
#include "db/fb_private.h"
#include "platform/files.h"

namespace pagvigia {

TFbClientLib& TFbClientLib::Instance() {
  // Created once under a lock (a function-local static); never destroyed, so
  // the library stays loaded until the process ends and connections may still
  // detach from static destructors.
  static TFbClientLib* lib = new TFbClientLib();
  return *lib;
}

TFbClientLib::TFbClientLib()
    : ProgramFolderNames(platform::FbClientLibNamesInProgramFolder()),
      SearchNames(platform::FbClientLibNames()),
      FApi(std::make_unique<TFbClientApi>()) {}

namespace {
// The reason a found library would not load, in brackets after the names.
std::string Why(const std::string& failure) { return failure.empty() ? "" : " (" + failure + ")"; }
}  // namespace

TFbClientLib::~TFbClientLib() { Close(); }

void TFbClientLib::Open() {
  std::lock_guard lock(FMutex);
  if (FHandle || FSubstituted) return;
  platform::DynLibHandle h = nullptr;
  std::string file;
  if (!LibraryFile.empty()) {
    h = platform::LoadDynLib(LibraryFile);
    if (!h) throw std::runtime_error("Unable to load client library: " + LibraryFile + Why(platform::DynLibLastError()));
    file = LibraryFile;
  } else {
    // First beside the program, then by the system's ordinary search. The
    // first library found that would not load says why.
    std::string failure;
    const std::string own = platform::ExecutableDir();
    for (const auto& name : ProgramFolderNames) {
      if (own.empty()) break;
      const std::string path = own + name;
      if (!platform::FileExists(path)) continue;
      if ((h = platform::LoadDynLib(path))) {
        file = path;
        break;
      }
      if (failure.empty()) failure = platform::DynLibLastError();
    }
    for (std::size_t i = 0; !h && i < SearchNames.size(); ++i) {
      if ((h = platform::LoadDynLib(SearchNames[i]))) file = SearchNames[i];
      else if (failure.empty()) failure = platform::DynLibLastError();
    }
    if (!h) {
      std::string names;
      for (const auto& name : SearchNames) names += (names.empty() ? "" : " or ") + name;
      throw std::runtime_error("Unable to load client library: " + names + Why(failure));
    }
  }
  FHandle = h;
  FLoadedFile = file;
  try {
    Bind();
  } catch (...) {
    Unbind();
    platform::FreeDynLib(FHandle);
    FHandle = nullptr;
    FLoadedFile.clear();
    throw;
  }
}

void TFbClientLib::Substitute(const TFbClientApi& api) {
  std::lock_guard lock(FMutex);
  if (FHandle) {
    Unbind();
    platform::FreeDynLib(FHandle);
    FHandle = nullptr;
    FLoadedFile.clear();
  }
  *FApi = api;
  FSubstituted = true;
}

void TFbClientLib::Close() {
  std::lock_guard lock(FMutex);
  FSubstituted = false;
  Unbind();
  platform::FreeDynLib(FHandle);
  FHandle = nullptr;
  FLoadedFile.clear();
}

void TFbClientLib::Bind() {
  TFbClientApi& api = *FApi;
  auto need = [this](auto& fn, const char* name) {
    void* p = platform::DynLibSymbol(FHandle, name);
    if (!p) throw EFbError(std::string("Unable to locate DLL import ") + name);
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
  };
  auto may = [this](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(platform::DynLibSymbol(FHandle, name));
  };
  need(api.isc_attach_database, "isc_attach_database");
  need(api.isc_detach_database, "isc_detach_database");
  need(api.isc_database_info, "isc_database_info");
  need(api.isc_start_multiple, "isc_start_multiple");
  need(api.isc_commit_transaction, "isc_commit_transaction");
  need(api.isc_commit_retaining, "isc_commit_retaining");
  need(api.isc_rollback_transaction, "isc_rollback_transaction");
  need(api.isc_dsql_allocate_statement, "isc_dsql_allocate_statement");
  need(api.isc_dsql_prepare, "isc_dsql_prepare");
  need(api.isc_dsql_describe, "isc_dsql_describe");
  need(api.isc_dsql_describe_bind, "isc_dsql_describe_bind");
  need(api.isc_dsql_execute, "isc_dsql_execute");
  need(api.isc_dsql_execute2, "isc_dsql_execute2");
  need(api.isc_dsql_fetch, "isc_dsql_fetch");
  need(api.isc_dsql_free_statement, "isc_dsql_free_statement");
  need(api.isc_dsql_sql_info, "isc_dsql_sql_info");
  need(api.isc_vax_integer, "isc_vax_integer");
  need(api.isc_interprete, "isc_interprete");
  need(api.isc_sqlcode, "isc_sqlcode");
  need(api.isc_sql_interprete, "isc_sql_interprete");
  need(api.isc_open_blob2, "isc_open_blob2");
  need(api.isc_create_blob2, "isc_create_blob2");
  need(api.isc_get_segment, "isc_get_segment");
  need(api.isc_put_segment, "isc_put_segment");
  need(api.isc_close_blob, "isc_close_blob");
  need(api.isc_cancel_blob, "isc_cancel_blob");
  may(api.fb_interpret, "fb_interpret");
  may(api.isc_rollback_retaining, "isc_rollback_retaining");
  may(api.isc_portable_integer, "isc_portable_integer");
}

void TFbClientLib::Unbind() {
  TFbClientApi& api = *FApi;
  api.isc_attach_database = nullptr;
  api.isc_detach_database = nullptr;
  api.isc_database_info = nullptr;
  api.isc_start_multiple = nullptr;
  api.isc_commit_transaction = nullptr;
  api.isc_commit_retaining = nullptr;
  api.isc_rollback_transaction = nullptr;
  api.isc_dsql_allocate_statement = nullptr;
  api.isc_dsql_prepare = nullptr;
  api.isc_dsql_describe = nullptr;
  api.isc_dsql_describe_bind = nullptr;
  api.isc_dsql_execute = nullptr;
  api.isc_dsql_execute2 = nullptr;
  api.isc_dsql_fetch = nullptr;
  api.isc_dsql_free_statement = nullptr;
  api.isc_dsql_sql_info = nullptr;
  api.isc_vax_integer = nullptr;
  api.isc_interprete = nullptr;
  api.isc_sqlcode = nullptr;
  api.isc_sql_interprete = nullptr;
  api.isc_open_blob2 = nullptr;
  api.isc_create_blob2 = nullptr;
  api.isc_get_segment = nullptr;
  api.isc_put_segment = nullptr;
  api.isc_close_blob = nullptr;
  api.isc_cancel_blob = nullptr;
  api.fb_interpret = nullptr;
  api.isc_rollback_retaining = nullptr;
  api.isc_portable_integer = nullptr;
}

}  // namespace pagvigia
