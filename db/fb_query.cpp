#include "db/fb_query.h"

#include <atomic>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "db/fb_private.h"

namespace pagvigia {

// ---------------------------------------------------------------- SQL text

bool CharIsDelimiter(char c) {
  if (static_cast<unsigned char>(c) <= 32) return true;
  return std::strchr("!()*,/;<=>?|:", c) != nullptr && c != '\0';
}

namespace {
// A parameter's place in the server text: "?" with its name as a comment,
// cast to OCTETS when asked.
std::string ParamText(const std::string& name, const TFbOctetParams& octets) {
  std::string p = "?/* " + name + " */";
  const auto it = octets.find(UpperCase(name));
  if (it == octets.end()) return p;
  if (it->second <= 0) return "CAST(" + p + " AS BLOB SUB_TYPE TEXT CHARACTER SET OCTETS)";
  return "CAST(" + p + " AS VARCHAR(" + std::to_string(it->second) + ") CHARACTER SET OCTETS)";
}
}  // namespace

TFbParsedSQL FbParseSQL(std::string_view sql, char paramChar, const TFbOctetParams& octets) {
  TFbParsedSQL r;
  std::string& out = r.ServerText;
  out.reserve(sql.size() + 16);
  const std::size_t n = sql.size();
  std::size_t i = 0;
  // Copies from i up to and including the first `close` found at or after
  // `from` (to the end when there is none).
  auto copyThrough = [&](std::size_t from, std::string_view close) {
    std::size_t end = sql.find(close, from);
    end = end == std::string_view::npos ? n : end + close.size();
    out.append(sql.substr(i, end - i));
    i = end;
  };
  while (i < n) {
    const char c = sql[i];
    const char next = i + 1 < n ? sql[i + 1] : '\0';
    if (c == '\'' || c == '"') {
      copyThrough(i + 1, std::string_view(&c, 1));
    } else if (c == '/' && next == '*') {
      copyThrough(i + 2, "*/");
    } else if (c == '-' && next == '-') {
      copyThrough(i + 2, "\n");
    } else if (c == '[') {
      copyThrough(i + 1, "]");
    } else if (c == paramChar && c != '?') {
      std::size_t j = i + 1;
      std::string name;
      if (j < n && sql[j] == '"') {
        std::size_t close = sql.find('"', j + 1);
        if (close == std::string_view::npos) close = n;
        name = std::string(sql.substr(j + 1, close - j - 1));
        j = close < n ? close + 1 : n;
      } else {
        while (j < n && !CharIsDelimiter(sql[j])) ++j;
        name = std::string(sql.substr(i + 1, j - i - 1));
      }
      if (name.empty()) {
        // A lone parameter character is not a parameter.
        out += c;
        ++i;
        continue;
      }
      out += ParamText(name, octets);
      r.ParamNames.push_back(name);
      i = j;
    } else if (c == '?') {
      out += '?';
      std::string name;
      if (sql.substr(i + 1, 3) == "/* ") {
        const std::size_t close = sql.find(" */", i + 4);
        if (close != std::string_view::npos) name = std::string(sql.substr(i + 4, close - i - 4));
      }
      if (name.empty()) name = "PRM_" + std::to_string(r.ParamNames.size());
      r.ParamNames.push_back(name);
      ++i;
    } else {
      out += c;
      ++i;
    }
  }
  return r;
}

void TFbSQLLines::Clear() {
  FLines.clear();
  if (OnChange) OnChange();
}

void TFbSQLLines::Add(const std::string& line) {
  FLines.push_back(line);
  if (OnChange) OnChange();
}

void TFbSQLLines::SetText(const std::string& text) {
  FLines.clear();
  std::size_t pos = 0;
  while (!text.empty() && pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!(nl == text.size() && line.empty() && pos == text.size() && pos != 0)) FLines.push_back(line);
    pos = nl + 1;
  }
  if (OnChange) OnChange();
}

std::string TFbSQLLines::Text() const {
  std::string t;
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    if (i) t += "\r\n";
    t += FLines[i];
  }
  return t;
}

// ---------------------------------------------------------------- TFbStatement

TFbStatement::TFbStatement(TFbConnection* connection, TFbTransaction* transaction, const std::string& name)
    : TFbTranComponent(name) {
  if (!connection && transaction) connection = transaction->FbConnection();
  SetFbConnection(connection);
  // The transaction knows its statements, so that destroying it first clears
  // it here (a later Open never reaches it).
  FTransaction = transaction;
  if (FTransaction) FTransaction->AddStatement(this);
  FSQL.OnChange = [this] { SQLChanged(); };
}

TFbStatement::~TFbStatement() {
  if (FHandle && FConnection && FConnection->Connected() && !FConnection->ConnectionLost) {
    TFbStatusVector st;
    FConnection->ClientLib->Api().isc_dsql_free_statement(st, &FHandle, DSQL_drop);
  }
  FHandle = 0;
  if (FRegisteredTransaction) FRegisteredTransaction->RemoveStatement(this);
  if (FTransaction && FTransaction != FRegisteredTransaction) FTransaction->RemoveStatement(this);
  if (FConnection) FConnection->RemoveStatement(this);
}

void TFbStatement::SetFbConnection(TFbConnection* c) {
  if (c == FConnection) return;
  if (FConnection) {
    ReleaseHandle();
    FConnection->RemoveStatement(this);
  }
  FConnection = c;
  if (FConnection) FConnection->AddStatement(this);
}

void TFbStatement::SetFbTransaction(TFbTransaction* t) {
  if (t == FTransaction) return;
  CloseStatement();
  if (FTransaction && FTransaction != FRegisteredTransaction) FTransaction->RemoveStatement(this);
  FTransaction = t;
  if (FTransaction) FTransaction->AddStatement(this);
}

TFbConnection& TFbStatement::Conn() const {
  if (!FConnection) throw EFbStatementError("Statement has no connection");
  return *FConnection;
}

TFbTransaction* TFbStatement::EffectiveTransaction() const {
  if (FTransaction) return FTransaction;
  return FConnection ? FConnection->DefaultTransaction : nullptr;
}

TFbTransaction& TFbStatement::StartTransaction() {
  if (!FConnection && FTransaction && FTransaction->FbConnection()) SetFbConnection(FTransaction->FbConnection());
  TFbConnection& c = Conn();
  c.CheckNotLost();
  TFbTransaction* t = EffectiveTransaction();
  if (!t) throw EFbStatementError("Statement has no transaction");
  if (!t->FbConnection()) t->SetFbConnection(&c);
  if (t->FbConnection() != &c) throw EFbStatementError("Transaction is not valid for the current connection");
  if (FRegisteredTransaction != t) {
    if (FRegisteredTransaction && FRegisteredTransaction != FTransaction) FRegisteredTransaction->RemoveStatement(this);
    t->AddStatement(this);
    FRegisteredTransaction = t;
  }
  t->StartOnDemand();
  if (!t->Started()) throw EFbTransactionError("Transaction has not started");
  return *t;
}

void TFbStatement::Check(const TFbStatusVector& st) {
  if (st.Failed()) Conn().CheckStatus(st, this);
}

void TFbStatement::SqldaDeleter::operator()(TFbSqlda* p) const { std::free(p); }

TFbStatement::SqldaPtr TFbStatement::NewSqlda(int n) {
  if (n < 1) n = 1;
  auto* p = static_cast<TFbSqlda*>(std::calloc(1, XSQLDA_LENGTH(n)));
  if (!p) throw std::bad_alloc();
  p->version = SQLDA_VERSION1;
  p->sqln = static_cast<ISC_SHORT>(n);
  return SqldaPtr(p);
}

bool TFbStatement::IsSelect() const {
  return FStatementType == isc_info_sql_stmt_select || FStatementType == isc_info_sql_stmt_select_for_upd;
}

void TFbStatement::SQLChanged() {
  Unprepare();
  FOctetos.clear();
}

void TFbStatement::SetParametroOctetos(const std::string& name, int maxBytes) {
  const std::string key = UpperCase(name);
  const auto it = FOctetos.find(key);
  if (it != FOctetos.end() && it->second == maxBytes) return;
  FOctetos[key] = maxBytes < 0 ? 0 : maxBytes;
  Unprepare();
}

void TFbStatement::Unprepare() {
  CloseStatement();
  FPrepared = false;
  FStatementType = 0;
  FIn.reset();
  FOut.reset();
  FParams.reset();
  FFields.reset();
  FParsed = TFbParsedSQL{};
}

namespace {
std::atomic<std::uint64_t> gPreparacoes{0};
}  // namespace

std::uint64_t TFbStatement::PreparacoesNoProcesso() { return gPreparacoes.load(); }

void TFbStatement::Prepare() {
  if (FPrepared) return;
  const std::string text = FSQL.Text();
  if (Trim(text).empty()) throw EFbStatementError("Blank SQL statement not allowed");
  TFbParsedSQL parsed = FbParseSQL(text, ParamChar, FOctetos);
  TFbTransaction& tr = StartTransaction();
  TFbConnection& c = Conn();
  const TFbClientApi& lib = c.ClientLib->Api();
  TFbStatusVector st;
  if (!FHandle) {
    lib.isc_dsql_allocate_statement(st, c.HandlePtr(), &FHandle);
    Check(st);
  }
  SqldaPtr out = NewSqlda(20);
  const std::string bytes = c.ToServer(parsed.ServerText);
  // Texts longer than a length word can say are passed zero-terminated.
  const auto len = static_cast<unsigned short>(bytes.size() < 65536 ? bytes.size() : 0);
  lib.isc_dsql_prepare(st, tr.HandlePtr(), &FHandle, len, bytes.c_str(), static_cast<unsigned short>(c.SQLDialect()),
                       out.get());
  Check(st);
  ++gPreparacoes;
  if (out->sqld > out->sqln) {
    out = NewSqlda(out->sqld);
    lib.isc_dsql_describe(st, &FHandle, SQLDA_VERSION1, out.get());
    Check(st);
  }
  SqldaPtr in = NewSqlda(static_cast<int>(parsed.ParamNames.size()));
  lib.isc_dsql_describe_bind(st, &FHandle, SQLDA_VERSION1, in.get());
  Check(st);
  if (in->sqld > in->sqln) {
    in = NewSqlda(in->sqld);
    lib.isc_dsql_describe_bind(st, &FHandle, SQLDA_VERSION1, in.get());
    Check(st);
  }
  const char item = isc_info_sql_stmt_type;
  char info[16] = {};
  lib.isc_dsql_sql_info(st, &FHandle, 1, &item, sizeof info, info);
  Check(st);
  int type = 0;
  if (info[0] == isc_info_sql_stmt_type) {
    // The length comes from the server: a value that does not fit the
    // buffer, or a number wider than four bytes, leaves the type unknown.
    const auto l = static_cast<short>(lib.isc_vax_integer(info + 1, 2));
    if (l > 0 && l <= 4 && 3 + static_cast<std::size_t>(l) <= sizeof info)
      type = static_cast<int>(lib.isc_vax_integer(info + 3, l));
  }

  auto fields = std::make_unique<TFbRow>(rtField, &c);
  for (int i = 0; i < out->sqld; ++i) {
    const XSQLVAR& v = out->sqlvar[i];
    std::string name(v.aliasname, static_cast<std::size_t>(std::clamp<int>(v.aliasname_length, 0, 31)));
    fields->AddColumn(FbCreateColumn(*fields, i, c.FromServer(name), FbColumnDesc(v)));
  }
  auto params = std::make_unique<TFbRow>(rtParam, &c);
  for (int i = 0; i < in->sqld; ++i) {
    const std::string name = static_cast<std::size_t>(i) < parsed.ParamNames.size()
                                 ? parsed.ParamNames[static_cast<std::size_t>(i)]
                                 : "PRM_" + std::to_string(i);
    params->AddColumn(FbCreateColumn(*params, i, name, FbColumnDesc(in->sqlvar[i])));
  }
  for (auto* row : {fields.get(), params.get()}) {
    row->Layout();
    row->UseOwnRecord();
    XSQLDA* da = row == fields.get() ? out.get() : in.get();
    for (int i = 0; i < row->Count(); ++i) {
      TFbColumn& col = (*row)[i];
      col.Trimming = !c.DefaultNoTrimming;
      col.NoLengthCheck = c.DefaultNoLengthCheck;
      XSQLVAR& v = da->sqlvar[i];
      v.sqltype = static_cast<ISC_SHORT>(v.sqltype | 1);  // always with a null indicator
      v.sqldata = row->OwnRecord() + col.DataOffset;
      v.sqlind = reinterpret_cast<ISC_SHORT*>(row->OwnRecord() + col.IndOffset);
    }
  }
  // The fields' own record is where rows are fetched into: no value is NULL
  // there until the server says so.
  params->OnChange = [this] { ParamsChanged(); };
  FParsed = std::move(parsed);
  FIn = std::move(in);
  FOut = std::move(out);
  FParams = std::move(params);
  FFields = std::move(fields);
  FStatementType = type;
  FPrepared = true;
  AfterPrepare();
}

TFbRow& TFbStatement::Params() {
  if (!FParams) {
    FParams = std::make_unique<TFbRow>(rtParam, FConnection);
    FParams->Layout();
    FParams->UseOwnRecord();
  }
  return *FParams;
}

TFbRow& TFbStatement::Fields() {
  if (!FPrepared) Prepare();
  return *FFields;
}

TFbColumn& TFbStatement::FieldByName(const std::string& name) { return Fields().ByName(name); }

void TFbStatement::BindParams(TFbTransaction& tr) {
  if (!FParams || !FParams->HasBlobs()) return;
  TFbConnection& c = Conn();
  const TFbClientApi& lib = c.ClientLib->Api();
  for (int i = 0; i < FParams->Count(); ++i) {
    TFbColumn& col = (*FParams)[i];
    if (col.SQLType() != SQL_BLOB || col.IsNull()) continue;
    const std::string& bytes = FParams->Blobs()[i];
    TFbStatusVector st;
    isc_blob_handle bh = 0;
    ISC_QUAD id{};
    lib.isc_create_blob2(st, c.HandlePtr(), tr.HandlePtr(), &bh, &id, 0, nullptr);
    Check(st);
    for (std::size_t pos = 0; pos < bytes.size();) {
      const std::size_t chunk = std::min<std::size_t>(bytes.size() - pos, 32768);
      lib.isc_put_segment(st, &bh, static_cast<unsigned short>(chunk), bytes.data() + pos);
      if (st.Failed()) {
        TFbStatusVector st2;
        lib.isc_cancel_blob(st2, &bh);
        Check(st);
      }
      pos += chunk;
    }
    lib.isc_close_blob(st, &bh);
    if (st.Failed() && bh) {
      // A BLOB that cannot be closed is cancelled, so its handle is freed.
      TFbStatusVector st2;
      lib.isc_cancel_blob(st2, &bh);
    }
    Check(st);
    std::memcpy(FParams->Record() + col.DataOffset, &id, sizeof id);
  }
}

void TFbStatement::ReadBlobs(TFbTransaction& tr, char* record, std::string* blobs) {
  TFbConnection& c = Conn();
  const TFbClientApi& lib = c.ClientLib->Api();
  std::vector<char> buf(65535);
  for (int i = 0; i < FFields->Count(); ++i) {
    TFbColumn& col = (*FFields)[i];
    if (col.SQLType() != SQL_BLOB) continue;
    short ind;
    std::memcpy(&ind, record + col.IndOffset, sizeof ind);
    if (ind < 0) continue;
    ISC_QUAD id;
    std::memcpy(&id, record + col.DataOffset, sizeof id);
    TFbStatusVector st;
    isc_blob_handle bh = 0;
    lib.isc_open_blob2(st, c.HandlePtr(), tr.HandlePtr(), &bh, &id, 0, nullptr);
    Check(st);
    std::string& value = blobs[i];
    for (;;) {
      unsigned short got = 0;
      const ISC_STATUS r = lib.isc_get_segment(st, &bh, &got, static_cast<unsigned short>(buf.size()), buf.data());
      if (r == 0 || r == isc_segment) {
        value.append(buf.data(), got);
        continue;
      }
      if (r == isc_segstr_eof) break;
      TFbStatusVector st2;
      lib.isc_close_blob(st2, &bh);
      if (st2.Failed() && bh) {
        st2.Clear();
        lib.isc_cancel_blob(st2, &bh);
      }
      Check(st);
    }
    lib.isc_close_blob(st, &bh);
    if (st.Failed() && bh) {
      TFbStatusVector st2;
      lib.isc_cancel_blob(st2, &bh);
    }
    Check(st);
  }
}

void TFbStatement::Activate(TFbTransaction& tr) { tr.Activate(); }

std::string TFbStatement::Plan() {
  if (!FPrepared) Prepare();
  const TFbClientApi& lib = Conn().ClientLib->Api();
  const char item = isc_info_sql_get_plan;
  // A plan can be long (one line per stream); grow the buffer while the
  // server says the answer did not fit.
  for (const std::size_t size : {std::size_t{1024}, std::size_t{8192}, std::size_t{32767}}) {
    std::string buf(size, '\0');
    TFbStatusVector st;
    lib.isc_dsql_sql_info(st, &FHandle, 1, &item, static_cast<short>(size), buf.data());
    Check(st);
    if (buf[0] == isc_info_truncated) continue;
    if (buf[0] != isc_info_sql_get_plan) return "";
    const auto len = static_cast<std::size_t>(static_cast<unsigned short>(lib.isc_vax_integer(buf.data() + 1, 2)));
    std::string plan = buf.substr(3, std::min(len, size - 3));
    plan.erase(0, std::min(plan.size(), plan.find_first_not_of("\r\n ")));
    return Conn().FromServer(plan);
  }
  return "";
}

std::int64_t TFbStatement::RowsAffected() {
  if (!FHandle || !FConnection) return 0;
  const TFbClientApi& lib = FConnection->ClientLib->Api();
  const char item = isc_info_sql_records;
  char buf[128] = {};
  TFbStatusVector st;
  lib.isc_dsql_sql_info(st, &FHandle, 1, &item, sizeof buf, buf);
  if (st.Failed() || buf[0] != isc_info_sql_records) return 0;
  std::int64_t total = 0;
  for (std::size_t p = 3; p + 3 <= sizeof buf && buf[p] != isc_info_end;) {
    const char kind = buf[p];
    const auto l = static_cast<short>(lib.isc_vax_integer(buf + p + 1, 2));
    if (l < 0 || p + 3 + static_cast<std::size_t>(l) > sizeof buf) break;
    const std::int64_t v = lib.isc_vax_integer(buf + p + 3, l);
    if (kind == isc_info_req_insert_count || kind == isc_info_req_update_count || kind == isc_info_req_delete_count)
      total += v;
    p += 3 + static_cast<std::size_t>(l);
  }
  return total;
}

void TFbStatement::ExecSQL() {
  CloseStatement();
  if (!FPrepared) Prepare();
  if (!FPrepared) throw EFbStatementError("Statement failed to prepare");
  if (IsSelect()) {
    OpenCursor();
    return;
  }
  TFbTransaction* own = EffectiveTransaction();
  switch (FStatementType) {
    case isc_info_sql_stmt_start_trans:
      if (own && !own->Started()) own->StartTransaction();
      return;
    case isc_info_sql_stmt_commit:
      if (own) own->Commit();
      return;
    case isc_info_sql_stmt_rollback:
      if (own) own->Rollback();
      return;
    default: break;
  }
  if (FStatementType <= 0 || FStatementType >= 15)
    throw EFbStatementError("Attempt to execute an unknown statement: " + std::to_string(FStatementType));
  TFbTransaction& tr = StartTransaction();
  const TFbClientApi& lib = Conn().ClientLib->Api();
  TFbStatusVector st;
  const XSQLDA* in = FIn && FIn->sqld > 0 ? FIn.get() : nullptr;
  const bool hasOutput = FOut && FOut->sqld > 0;
  auto execute = [&] {
    BindParams(tr);
    st.Clear();
    if (FStatementType == isc_info_sql_stmt_insert || FStatementType == isc_info_sql_stmt_exec_procedure)
      lib.isc_dsql_execute2(st, tr.HandlePtr(), &FHandle, SQLDA_VERSION1, in, hasOutput ? FOut.get() : nullptr);
    else
      lib.isc_dsql_execute(st, tr.HandlePtr(), &FHandle, SQLDA_VERSION1, in);
  };
  execute();
  // Text that a column's character set cannot hold must not keep the write
  // from happening: those characters go as "?" (which the parameters report)
  // and the statement runs once more. The failed run changed nothing.
  if (st.Failed() && st.AnyCode([](ISC_STATUS code) { return code == isc_transliteration_failed; }) && FParams) {
    bool replaced = false;
    for (int i = 0; i < FParams->Count(); ++i) replaced = (*FParams)[i].ReplaceBytesOtherSetLacks() || replaced;
    if (replaced) execute();
  }
  Check(st);
  bool changes = false;
  switch (FStatementType) {
    case isc_info_sql_stmt_insert:
    case isc_info_sql_stmt_update:
    case isc_info_sql_stmt_delete:
    case isc_info_sql_stmt_ddl: changes = true; break;
    case isc_info_sql_stmt_exec_procedure: changes = !hasOutput || RowsAffected() > 0; break;
    default: break;
  }
  if (changes) Activate(tr);
}

void TFbStatement::ReleaseHandle() {
  CloseStatement();
  if (FHandle) {
    if (FConnection && FConnection->Handle() && !FConnection->ConnectionLost) {
      TFbStatusVector st;
      FConnection->ClientLib->Api().isc_dsql_free_statement(st, &FHandle, DSQL_drop);
      if (st.Failed()) FConnection->CheckStatus(st, this, false);
    }
    FHandle = 0;
  }
  Unprepare();
}

void TFbStatement::ConnectionDestroyed(TFbConnection* c) {
  if (FConnection != c) return;
  FHandle = 0;
  Unprepare();
  FConnection = nullptr;
}

void TFbStatement::TransactionDestroyed(TFbTransaction* t) {
  if (FTransaction == t) FTransaction = nullptr;
  if (FRegisteredTransaction == t) FRegisteredTransaction = nullptr;
}

void TFbStatement::TransactionEnding(TFbTransaction*, bool) {}

// ---------------------------------------------------------------- TFbDataset

TFbDataset::~TFbDataset() {
  try {
    Close();
  } catch (...) {
  }
}

void TFbDataset::AfterPrepare() {
  for (const auto& line : ColumnAttributes) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = Trim(line.substr(0, eq));
    std::string rest = line.substr(eq + 1);
    const std::size_t eq2 = rest.find('=');
    const std::string attr = UpperCase(Trim(rest.substr(0, eq2)));
    std::string args = eq2 == std::string::npos ? "" : Trim(rest.substr(eq2 + 1));
    if (args.size() >= 2 && args.front() == '\'' && args.back() == '\'') args = args.substr(1, args.size() - 2);
    for (TFbRow* row : {FFields.get(), FParams.get()}) {
      TFbColumn* col = row ? row->FindColumn(name) : nullptr;
      if (!col) continue;
      if (attr == "BOOLEAN") {
        const std::size_t comma = args.find(',');
        col->IsBoolean = true;
        col->BooleanTrue = args.substr(0, comma);
        col->BooleanFalse = comma == std::string::npos ? "" : args.substr(comma + 1);
      } else if (attr == "BLANKISNULL") {
        col->BlankIsNull = true;
      } else if (attr == "NOTRIM") {
        col->Trimming = false;
      }
    }
  }
}

void TFbDataset::Open() { OpenCursor(); }

void TFbDataset::OpenCursor() {
  if (FActive) return;
  if (!FPrepared) Prepare();
  if (!IsSelect()) throw EFbStatementError("Statement does not return a cursor: use ExecSQL");
  TFbTransaction& tr = StartTransaction();
  BindParams(tr);
  const TFbClientApi& lib = Conn().ClientLib->Api();
  TFbStatusVector st;
  lib.isc_dsql_execute(st, tr.HandlePtr(), &FHandle, SQLDA_VERSION1, FIn && FIn->sqld > 0 ? FIn.get() : nullptr);
  Check(st);
  FCursorOpen = true;
  FCursorTransaction = &tr;
  tr.CursorOpened();
  FActive = true;
  FEof = false;
  FFetchedAll = false;
  FRecords.clear();
  FCurrent = -1;
  try {
    if (AutoFetchFirst) {
      if (FetchOne())
        SetCurrent(0);
      else
        FEof = true;
    }
  } catch (...) {
    Close();
    throw;
  }
}

bool TFbDataset::FetchOne() {
  if (!FCursorOpen || FFetchedAll) return false;
  Conn().CheckNotLost();
  const TFbClientApi& lib = Conn().ClientLib->Api();
  TFbStatusVector st;
  const ISC_STATUS r = lib.isc_dsql_fetch(st, &FHandle, SQLDA_VERSION1, FOut.get());
  if (r == 100) {
    FFetchedAll = true;
    CloseCursor(true);
    return false;
  }
  Check(st);
  const std::size_t size = FFields->RecordSize();
  Record rec;
  rec.Bytes.reset(new char[size]);
  std::memcpy(rec.Bytes.get(), FFields->OwnRecord(), size);
  if (FFields->HasBlobs()) {
    rec.Blobs.reset(new std::string[static_cast<std::size_t>(FFields->Count())]);
    ReadBlobs(*FCursorTransaction, rec.Bytes.get(), rec.Blobs.get());
  }
  FRecords.push_back(std::move(rec));
  return true;
}

void TFbDataset::SetCurrent(int i) {
  FCurrent = i;
  Record& rec = FRecords[static_cast<std::size_t>(i)];
  FFields->SetCurrent(rec.Bytes.get(), rec.Blobs.get());
}

void TFbDataset::CloseCursor(bool checkOAT) {
  if (!FCursorOpen) return;
  FCursorOpen = false;
  if (FHandle && FConnection && FConnection->Handle() && !FConnection->ConnectionLost) {
    TFbStatusVector st;
    FConnection->ClientLib->Api().isc_dsql_free_statement(st, &FHandle, DSQL_close);
    // A cursor that cannot be closed (the connection is gone) is closed here.
    if (st.Failed()) FConnection->CheckStatus(st, this, false);
  }
  TFbTransaction* t = FCursorTransaction;
  FCursorTransaction = nullptr;
  if (t) {
    t->CursorClosed();
    if (checkOAT) t->CheckOAT();
  }
}

void TFbDataset::Close() {
  if (!FActive && !FCursorOpen) return;
  CloseCursor(true);
  FRecords.clear();
  FCurrent = -1;
  FEof = false;
  FActive = false;
  FFetchedAll = false;
  if (FFields) FFields->UseOwnRecord();
  // The fetch area moved: point the output descriptor at the new one.
  if (FFields && FOut) {
    for (int i = 0; i < FFields->Count(); ++i) {
      TFbColumn& col = (*FFields)[i];
      FOut->sqlvar[i].sqldata = FFields->OwnRecord() + col.DataOffset;
      FOut->sqlvar[i].sqlind = reinterpret_cast<ISC_SHORT*>(FFields->OwnRecord() + col.IndOffset);
    }
  }
}

void TFbDataset::First() {
  if (!FActive) {
    Open();
    return;
  }
  if (FRecords.empty() && !FetchOne()) {
    FEof = true;
    return;
  }
  SetCurrent(0);
  FEof = false;
  if (TFbTransaction* t = EffectiveTransaction()) t->CheckOAT();
}

void TFbDataset::Next() {
  if (!FActive) throw EFbDatasetError("Cannot perform this operation on a closed dataset");
  if (FEof) throw EFbDatasetError("At end of Dataset");
  if (FCurrent + 1 < static_cast<int>(FRecords.size()) || FetchOne())
    SetCurrent(FCurrent + 1);
  else
    FEof = true;
  if (TFbTransaction* t = EffectiveTransaction()) t->CheckOAT();
}

bool TFbDataset::IsEmpty(int MinRows) {
  if (!FPrepared || !IsSelect() || !FActive) return true;
  while (static_cast<int>(FRecords.size()) < MinRows && FetchOne()) {
  }
  return static_cast<int>(FRecords.size()) < MinRows;
}

void TFbDataset::ExecSQL() {
  if (FActive && IsSelect()) throw EFbStatementError("Statement has already been opened");
  TFbStatement::ExecSQL();
}

void TFbDataset::ParamsChanged() {
  if (FRefreshing || !FActive || !RefreshOnParamChange || !FConnection || FConnection->Detaching()) return;
  const int keep = FCurrent;
  FRefreshing = true;
  try {
    Close();
    Open();
    if (keep > 0) {
      while (static_cast<int>(FRecords.size()) <= keep && FetchOne()) {
      }
      if (!FRecords.empty()) SetCurrent(std::min(keep, static_cast<int>(FRecords.size()) - 1));
    }
  } catch (...) {
    FRefreshing = false;
    throw;
  }
  FRefreshing = false;
}

void TFbDataset::TransactionEnding(TFbTransaction* t, bool /*commit*/) {
  if (FCursorTransaction != t || !FCursorOpen) return;
  switch (CommitAction) {
    case caInvalidateCursor:
      // The rows fetched so far stay readable; there will be no more.
      CloseCursor(false);
      FFetchedAll = true;
      break;
    case caFetchAll:
      while (FetchOne()) {
      }
      break;
    default: Close(); break;
  }
}

void TFbDataset::ReleaseHandle() {
  Close();
  TFbStatement::ReleaseHandle();
}

void TFbDataset::ConnectionDestroyed(TFbConnection* c) {
  if (FConnection == c) {
    FCursorOpen = false;
    FCursorTransaction = nullptr;
    FActive = false;
    FRecords.clear();
  }
  TFbStatement::ConnectionDestroyed(c);
}

void TFbDataset::TransactionDestroyed(TFbTransaction* t) {
  if (FCursorTransaction == t) CloseCursor(false);
  TFbStatement::TransactionDestroyed(t);
}

}  // namespace pagvigia
