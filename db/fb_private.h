// The client library's own types, for the database layer's implementation
// files only (and for tests and benchmarks that look at the client directly).
// The public headers of db/ speak in the layer's types; this header is where
// those meet the client's C interface: the table of entry points, the status
// vector, the descriptor areas and a column's description.
#pragma once
#include <ibase.h>

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "db/fb_client_lib.h"
#include "db/fb_column.h"
#include "db/fb_component.h"
#include "db/fb_errors.h"

namespace pagvigia {

static_assert(std::is_same_v<isc_db_handle, TFbHandle> && std::is_same_v<isc_tr_handle, TFbHandle> &&
                  std::is_same_v<isc_stmt_handle, TFbHandle> && std::is_same_v<isc_blob_handle, TFbHandle>,
              "TFbHandle must be the client's handle type");
static_assert(ISC_STATUS_LENGTH == kFbStatusLength, "kFbStatusLength must be the client's status length");
static_assert(sizeof(ISC_STATUS) <= sizeof(std::int64_t), "status values must fit in 64 bits");

// The client's entry points, bound by TFbClientLib::Open.
struct TFbClientApi {
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
};

// A status vector, all zero until a call fills it in. It converts to the
// pointer the client's calls take.
class TFbStatusVector {
 public:
  operator ISC_STATUS*() { return FValues; }
  operator const ISC_STATUS*() const { return FValues; }
  // True when the call reported an error.
  bool Failed() const { return FValues[0] == 1 && FValues[1] != 0; }
  // True when one of the reported error codes satisfies `match`.
  template <class Match>
  bool AnyCode(Match match) const {
    for (std::size_t i = 0; i + 1 < ISC_STATUS_LENGTH && FValues[i] != isc_arg_end;) {
      if (FValues[i] == isc_arg_gds && match(FValues[i + 1])) return true;
      i += FValues[i] == isc_arg_cstring ? 3 : 2;
    }
    return false;
  }
  // Zero again, for the next call.
  void Clear() { std::fill(std::begin(FValues), std::end(FValues), 0); }

 private:
  ISC_STATUS_ARRAY FValues{};
};

// The descriptor area of the public headers is the client's XSQLDA (allocated
// for its number of columns by TFbStatement::NewSqlda).
struct TFbSqlda : XSQLDA {};

// The block that isc_start_multiple takes for each database: the attachment
// and its transaction parameter block.
struct TFbTransactionExistenceBlock {
  isc_db_handle* Db;
  int TpbLength;
  const char* Tpb;
};

// A column's description as the server gives it.
inline TFbColumnDesc FbColumnDesc(const XSQLVAR& v) { return {v.sqltype, v.sqlscale, v.sqlsubtype, v.sqllen}; }

}  // namespace pagvigia
