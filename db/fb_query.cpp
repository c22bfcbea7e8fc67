#include "db/fb_query.h"

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

TFbParsedSQL FbParseSQL(std::string_view sql, char paramChar) {
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
      out += "?/* " + name + " */";
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
  lines_.clear();
  if (OnChange) OnChange();
}

void TFbSQLLines::Add(const std::string& line) {
  lines_.push_back(line);
  if (OnChange) OnChange();
}

void TFbSQLLines::SetText(const std::string& text) {
  lines_.clear();
  std::size_t pos = 0;
  while (!text.empty() && pos <= text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!(nl == text.size() && line.empty() && pos == text.size() && pos != 0)) lines_.push_back(line);
    pos = nl + 1;
  }
  if (OnChange) OnChange();
}

std::string TFbSQLLines::Text() const {
  std::string t;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) t += "\r\n";
    t += lines_[i];
  }
  return t;
}

// ---------------------------------------------------------------- TFbStatement

TFbStatement::TFbStatement(TFbConnection* connection, TFbTransaction* transaction, const std::string& name)
    : TFbTranComponent(name) {
  if (!connection && transaction) connection = transaction->FbConnection();
  SetFbConnection(connection);
  tr_ = transaction;
  sql_.OnChange = [this] { SQLChanged(); };
}

TFbStatement::~TFbStatement() {
  if (handle_ && conn_ && conn_->Connected() && !conn_->ConnectionLost) {
    TFbStatusVector st;
    conn_->ClientLib->Api().isc_dsql_free_statement(st, &handle_, DSQL_drop);
  }
  handle_ = 0;
  if (registeredTr_) registeredTr_->RemoveStatement(this);
  if (conn_) conn_->RemoveStatement(this);
}

void TFbStatement::SetFbConnection(TFbConnection* c) {
  if (c == conn_) return;
  if (conn_) {
    ReleaseHandle();
    conn_->RemoveStatement(this);
  }
  conn_ = c;
  if (conn_) conn_->AddStatement(this);
}

void TFbStatement::SetFbTransaction(TFbTransaction* t) {
  if (t == tr_) return;
  CloseStatement();
  tr_ = t;
}

TFbConnection& TFbStatement::Conn() const {
  if (!conn_) throw EFbStatementError("Statement has no connection");
  return *conn_;
}

TFbTransaction* TFbStatement::EffectiveTransaction() const {
  if (tr_) return tr_;
  return conn_ ? conn_->DefaultTransaction : nullptr;
}

TFbTransaction& TFbStatement::StartTransaction() {
  if (!conn_ && tr_ && tr_->FbConnection()) SetFbConnection(tr_->FbConnection());
  TFbConnection& c = Conn();
  c.CheckNotLost();
  TFbTransaction* t = EffectiveTransaction();
  if (!t) throw EFbStatementError("Statement has no transaction");
  if (!t->FbConnection()) t->SetFbConnection(&c);
  if (t->FbConnection() != &c) throw EFbStatementError("Transaction is not valid for the current connection");
  if (registeredTr_ != t) {
    if (registeredTr_) registeredTr_->RemoveStatement(this);
    t->AddStatement(this);
    registeredTr_ = t;
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
  return stmtType_ == isc_info_sql_stmt_select || stmtType_ == isc_info_sql_stmt_select_for_upd;
}

void TFbStatement::SQLChanged() { Unprepare(); }

void TFbStatement::Unprepare() {
  CloseStatement();
  prepared_ = false;
  stmtType_ = 0;
  in_.reset();
  out_.reset();
  params_.reset();
  fields_.reset();
  parsed_ = TFbParsedSQL{};
}

void TFbStatement::Prepare() {
  if (prepared_) return;
  const std::string text = sql_.Text();
  if (Trim(text).empty()) throw EFbStatementError("Blank SQL statement not allowed");
  TFbParsedSQL parsed = FbParseSQL(text, ParamChar);
  TFbTransaction& tr = StartTransaction();
  TFbConnection& c = Conn();
  const TFbClientApi& lib = c.ClientLib->Api();
  TFbStatusVector st;
  if (!handle_) {
    lib.isc_dsql_allocate_statement(st, c.HandlePtr(), &handle_);
    Check(st);
  }
  SqldaPtr out = NewSqlda(20);
  const std::string bytes = c.ToServer(parsed.ServerText);
  // Texts longer than a length word can say are passed zero-terminated.
  const auto len = static_cast<unsigned short>(bytes.size() < 65536 ? bytes.size() : 0);
  lib.isc_dsql_prepare(st, tr.HandlePtr(), &handle_, len, bytes.c_str(), static_cast<unsigned short>(c.SQLDialect()),
                       out.get());
  Check(st);
  if (out->sqld > out->sqln) {
    out = NewSqlda(out->sqld);
    lib.isc_dsql_describe(st, &handle_, SQLDA_VERSION1, out.get());
    Check(st);
  }
  SqldaPtr in = NewSqlda(static_cast<int>(parsed.ParamNames.size()));
  lib.isc_dsql_describe_bind(st, &handle_, SQLDA_VERSION1, in.get());
  Check(st);
  if (in->sqld > in->sqln) {
    in = NewSqlda(in->sqld);
    lib.isc_dsql_describe_bind(st, &handle_, SQLDA_VERSION1, in.get());
    Check(st);
  }
  const char item = isc_info_sql_stmt_type;
  char info[16] = {};
  lib.isc_dsql_sql_info(st, &handle_, 1, &item, sizeof info, info);
  Check(st);
  int type = 0;
  if (info[0] == isc_info_sql_stmt_type) {
    const auto l = static_cast<short>(lib.isc_vax_integer(info + 1, 2));
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
  parsed_ = std::move(parsed);
  in_ = std::move(in);
  out_ = std::move(out);
  params_ = std::move(params);
  fields_ = std::move(fields);
  stmtType_ = type;
  prepared_ = true;
  AfterPrepare();
}

TFbRow& TFbStatement::Params() {
  if (!params_) {
    params_ = std::make_unique<TFbRow>(rtParam, conn_);
    params_->Layout();
    params_->UseOwnRecord();
  }
  return *params_;
}

TFbRow& TFbStatement::Fields() {
  if (!prepared_) Prepare();
  return *fields_;
}

TFbColumn& TFbStatement::FieldByName(const std::string& name) { return Fields().ByName(name); }

void TFbStatement::BindParams(TFbTransaction& tr) {
  if (!params_ || !params_->HasBlobs()) return;
  TFbConnection& c = Conn();
  const TFbClientApi& lib = c.ClientLib->Api();
  for (int i = 0; i < params_->Count(); ++i) {
    TFbColumn& col = (*params_)[i];
    if (col.SQLType() != SQL_BLOB || col.IsNull()) continue;
    const std::string& bytes = params_->Blobs()[i];
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
    Check(st);
    std::memcpy(params_->Record() + col.DataOffset, &id, sizeof id);
  }
}

void TFbStatement::ReadBlobs(TFbTransaction& tr, char* record, std::string* blobs) {
  TFbConnection& c = Conn();
  const TFbClientApi& lib = c.ClientLib->Api();
  std::vector<char> buf(65535);
  for (int i = 0; i < fields_->Count(); ++i) {
    TFbColumn& col = (*fields_)[i];
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
      Check(st);
    }
    lib.isc_close_blob(st, &bh);
    Check(st);
  }
}

void TFbStatement::Activate(TFbTransaction& tr) { tr.Activate(); }

std::int64_t TFbStatement::RowsAffected() {
  if (!handle_ || !conn_) return 0;
  const TFbClientApi& lib = conn_->ClientLib->Api();
  const char item = isc_info_sql_records;
  char buf[128] = {};
  TFbStatusVector st;
  lib.isc_dsql_sql_info(st, &handle_, 1, &item, sizeof buf, buf);
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
  if (!prepared_) Prepare();
  if (!prepared_) throw EFbStatementError("Statement failed to prepare");
  if (IsSelect()) {
    OpenCursor();
    return;
  }
  TFbTransaction* own = EffectiveTransaction();
  switch (stmtType_) {
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
  if (stmtType_ <= 0 || stmtType_ >= 15)
    throw EFbStatementError("Attempt to execute an unknown statement: " + std::to_string(stmtType_));
  TFbTransaction& tr = StartTransaction();
  BindParams(tr);
  const TFbClientApi& lib = Conn().ClientLib->Api();
  TFbStatusVector st;
  const XSQLDA* in = in_ && in_->sqld > 0 ? in_.get() : nullptr;
  const bool hasOutput = out_ && out_->sqld > 0;
  if (stmtType_ == isc_info_sql_stmt_insert || stmtType_ == isc_info_sql_stmt_exec_procedure)
    lib.isc_dsql_execute2(st, tr.HandlePtr(), &handle_, SQLDA_VERSION1, in, hasOutput ? out_.get() : nullptr);
  else
    lib.isc_dsql_execute(st, tr.HandlePtr(), &handle_, SQLDA_VERSION1, in);
  Check(st);
  bool changes = false;
  switch (stmtType_) {
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
  if (handle_) {
    if (conn_ && conn_->Handle() && !conn_->ConnectionLost) {
      TFbStatusVector st;
      conn_->ClientLib->Api().isc_dsql_free_statement(st, &handle_, DSQL_drop);
      if (st.Failed()) conn_->CheckStatus(st, this, false);
    }
    handle_ = 0;
  }
  Unprepare();
}

void TFbStatement::ConnectionDestroyed(TFbConnection* c) {
  if (conn_ != c) return;
  handle_ = 0;
  Unprepare();
  conn_ = nullptr;
}

void TFbStatement::TransactionDestroyed(TFbTransaction* t) {
  if (tr_ == t) tr_ = nullptr;
  if (registeredTr_ == t) registeredTr_ = nullptr;
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
    for (TFbRow* row : {fields_.get(), params_.get()}) {
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
  if (active_) return;
  if (!prepared_) Prepare();
  if (!IsSelect()) throw EFbStatementError("Statement does not return a cursor: use ExecSQL");
  TFbTransaction& tr = StartTransaction();
  BindParams(tr);
  const TFbClientApi& lib = Conn().ClientLib->Api();
  TFbStatusVector st;
  lib.isc_dsql_execute(st, tr.HandlePtr(), &handle_, SQLDA_VERSION1, in_ && in_->sqld > 0 ? in_.get() : nullptr);
  Check(st);
  cursorOpen_ = true;
  cursorTr_ = &tr;
  tr.CursorOpened();
  active_ = true;
  eof_ = false;
  fetchedAll_ = false;
  records_.clear();
  cur_ = -1;
  try {
    if (AutoFetchFirst) {
      if (FetchOne())
        SetCurrent(0);
      else
        eof_ = true;
    }
  } catch (...) {
    Close();
    throw;
  }
}

bool TFbDataset::FetchOne() {
  if (!cursorOpen_ || fetchedAll_) return false;
  Conn().CheckNotLost();
  const TFbClientApi& lib = Conn().ClientLib->Api();
  TFbStatusVector st;
  const ISC_STATUS r = lib.isc_dsql_fetch(st, &handle_, SQLDA_VERSION1, out_.get());
  if (r == 100) {
    fetchedAll_ = true;
    CloseCursor(true);
    return false;
  }
  Check(st);
  const std::size_t size = fields_->RecordSize();
  Record rec;
  rec.bytes.reset(new char[size]);
  std::memcpy(rec.bytes.get(), fields_->OwnRecord(), size);
  if (fields_->HasBlobs()) {
    rec.blobs.reset(new std::string[static_cast<std::size_t>(fields_->Count())]);
    ReadBlobs(*cursorTr_, rec.bytes.get(), rec.blobs.get());
  }
  records_.push_back(std::move(rec));
  return true;
}

void TFbDataset::SetCurrent(int i) {
  cur_ = i;
  Record& rec = records_[static_cast<std::size_t>(i)];
  fields_->SetCurrent(rec.bytes.get(), rec.blobs.get());
}

void TFbDataset::CloseCursor(bool checkOAT) {
  if (!cursorOpen_) return;
  cursorOpen_ = false;
  if (handle_ && conn_ && conn_->Handle() && !conn_->ConnectionLost) {
    TFbStatusVector st;
    conn_->ClientLib->Api().isc_dsql_free_statement(st, &handle_, DSQL_close);
    // A cursor that cannot be closed (the connection is gone) is closed here.
    if (st.Failed()) conn_->CheckStatus(st, this, false);
  }
  TFbTransaction* t = cursorTr_;
  cursorTr_ = nullptr;
  if (t) {
    t->CursorClosed();
    if (checkOAT) t->CheckOAT();
  }
}

void TFbDataset::Close() {
  if (!active_ && !cursorOpen_) return;
  CloseCursor(true);
  records_.clear();
  cur_ = -1;
  eof_ = false;
  active_ = false;
  fetchedAll_ = false;
  if (fields_) fields_->UseOwnRecord();
  // The fetch area moved: point the output descriptor at the new one.
  if (fields_ && out_) {
    for (int i = 0; i < fields_->Count(); ++i) {
      TFbColumn& col = (*fields_)[i];
      out_->sqlvar[i].sqldata = fields_->OwnRecord() + col.DataOffset;
      out_->sqlvar[i].sqlind = reinterpret_cast<ISC_SHORT*>(fields_->OwnRecord() + col.IndOffset);
    }
  }
}

void TFbDataset::First() {
  if (!active_) {
    Open();
    return;
  }
  if (records_.empty() && !FetchOne()) {
    eof_ = true;
    return;
  }
  SetCurrent(0);
  eof_ = false;
  if (TFbTransaction* t = EffectiveTransaction()) t->CheckOAT();
}

void TFbDataset::Next() {
  if (!active_) throw EFbDatasetError("Cannot perform this operation on a closed dataset");
  if (eof_) throw EFbDatasetError("At end of Dataset");
  if (cur_ + 1 < static_cast<int>(records_.size()) || FetchOne())
    SetCurrent(cur_ + 1);
  else
    eof_ = true;
  if (TFbTransaction* t = EffectiveTransaction()) t->CheckOAT();
}

bool TFbDataset::IsEmpty(int MinRows) {
  if (!prepared_ || !IsSelect() || !active_) return true;
  while (static_cast<int>(records_.size()) < MinRows && FetchOne()) {
  }
  return static_cast<int>(records_.size()) < MinRows;
}

void TFbDataset::ExecSQL() {
  if (active_ && IsSelect()) throw EFbStatementError("Statement has already been opened");
  TFbStatement::ExecSQL();
}

void TFbDataset::ParamsChanged() {
  if (refreshing_ || !active_ || !RefreshOnParamChange || !conn_ || conn_->Detaching()) return;
  const int keep = cur_;
  refreshing_ = true;
  try {
    Close();
    Open();
    if (keep > 0) {
      while (static_cast<int>(records_.size()) <= keep && FetchOne()) {
      }
      if (!records_.empty()) SetCurrent(std::min(keep, static_cast<int>(records_.size()) - 1));
    }
  } catch (...) {
    refreshing_ = false;
    throw;
  }
  refreshing_ = false;
}

void TFbDataset::TransactionEnding(TFbTransaction* t, bool /*commit*/) {
  if (cursorTr_ != t || !cursorOpen_) return;
  switch (CommitAction) {
    case caInvalidateCursor:
      // The rows fetched so far stay readable; there will be no more.
      CloseCursor(false);
      fetchedAll_ = true;
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
  if (conn_ == c) {
    cursorOpen_ = false;
    cursorTr_ = nullptr;
    active_ = false;
    records_.clear();
  }
  TFbStatement::ConnectionDestroyed(c);
}

void TFbDataset::TransactionDestroyed(TFbTransaction* t) {
  if (cursorTr_ == t) CloseCursor(false);
  TFbStatement::TransactionDestroyed(t);
}

}  // namespace pagvigia
