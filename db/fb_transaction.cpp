#include "db/fb_transaction.h"

#include <algorithm>

#include "db/fb_connection.h"
#include "db/fb_private.h"
#include "db/fb_query.h"

namespace pagvigia {

namespace {
// True when the failed call reported a lost connection.
bool LostIn(const ISC_STATUS* st) {
  for (std::size_t i = 0; i + 1 < ISC_STATUS_LENGTH && st[i] != isc_arg_end;) {
    if (st[i] == isc_arg_gds && IsLostConnectionCode(st[i + 1])) return true;
    i += st[i] == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

// The block that isc_start_multiple takes for each database.
struct TransactionExistenceBlock {
  isc_db_handle* db;
  int tpbLength;
  const char* tpb;
};
}  // namespace

TFbTransaction::TFbTransaction(TFbConnection* connection, const std::string& name) : TFbComponent(name) {
  SetFbConnection(connection);
}

TFbTransaction::~TFbTransaction() {
  if (handle_ && conn_) {
    try {
      Close();
    } catch (...) {
      ReleaseAfterFailure();
    }
  }
  for (auto* s : std::vector<TFbStatement*>(statements_)) s->TransactionDestroyed(this);
  if (conn_) conn_->RemoveTransaction(this);
}

void TFbTransaction::SetFbConnection(TFbConnection* c) {
  if (c == conn_) return;
  if (handle_) Close();
  if (conn_) conn_->RemoveTransaction(this);
  conn_ = c;
  if (conn_) conn_->AddTransaction(this);
}

void TFbTransaction::ConnectionDestroyed(TFbConnection* c) {
  if (conn_ != c) return;
  handle_ = 0;
  openCursors_ = 0;
  conn_ = nullptr;
}

void TFbTransaction::ReleaseAfterFailure() {
  for (auto* s : std::vector<TFbStatement*>(statements_)) s->TransactionEnding(this, false);
  Ended();
}

void TFbTransaction::AddStatement(TFbStatement* s) {
  if (std::find(statements_.begin(), statements_.end(), s) == statements_.end()) statements_.push_back(s);
}

void TFbTransaction::RemoveStatement(TFbStatement* s) {
  statements_.erase(std::remove(statements_.begin(), statements_.end(), s), statements_.end());
}

TFbConnection& TFbTransaction::Conn() {
  if (!conn_) {
    // A transaction without connections takes the only one there is.
    TFbConnection* only = TFbConnection::OnlyConnection();
    if (!only) throw EFbTransactionError("Transaction has no connections");
    SetFbConnection(only);
  }
  return *conn_;
}

std::string TFbTransaction::BuildTPB() const {
  std::string tpb;
  tpb += static_cast<char>(isc_tpb_version3);
  const bool readOnly = ReadOnly || (conn_ && conn_->Connected() && conn_->ReadOnlyDatabase());
  tpb += static_cast<char>(readOnly ? isc_tpb_read : isc_tpb_write);
  switch (Isolation) {
    case tiConcurrency: tpb += static_cast<char>(isc_tpb_concurrency); break;
    case tiConsistency: tpb += static_cast<char>(isc_tpb_consistency); break;
    case tiCommitted:
      tpb += static_cast<char>(isc_tpb_read_committed);
      tpb += static_cast<char>(RecVersion ? isc_tpb_rec_version : isc_tpb_no_rec_version);
      break;
  }
  if (ServerAutoCommit) tpb += static_cast<char>(isc_tpb_autocommit);
  if (NoAutoUndo) tpb += static_cast<char>(isc_tpb_no_auto_undo);
  tpb += static_cast<char>(LockWait ? isc_tpb_wait : isc_tpb_nowait);
  if (LockWait && LockTimeout > 0) {
    tpb += static_cast<char>(isc_tpb_lock_timeout);
    tpb += '\4';
    for (int i = 0; i < 4; ++i) tpb += static_cast<char>((static_cast<unsigned>(LockTimeout) >> (8 * i)) & 0xFF);
  }
  return tpb;
}

void TFbTransaction::StartOnDemand() {
  if (handle_) return;
  TFbConnection& c = Conn();
  if (!c.Connected()) c.Connect(false);
  if (!c.Connected()) return;
  c.CheckNotLost();
  const std::string tpb = BuildTPB();
  if (static_cast<int>(tpb.size()) > TPBLength)
    throw EFbError("TPB buffer overrun: Increase TPBLength setting to at least " + std::to_string(tpb.size()) + ".");
  TransactionExistenceBlock teb{c.HandlePtr(), static_cast<int>(tpb.size()), tpb.data()};
  TFbStatusVector st;
  c.ClientLib->Api().isc_start_multiple(st, &handle_, 1, &teb);
  if (st.Failed()) {
    handle_ = 0;
    c.CheckStatus(st, this);
  }
  startMs_ = Clock->NowMs();
  openCursors_ = 0;
  oatEnabled_ = true;
  changed_ = false;
  state_ = tsNone;
}

void TFbTransaction::StartTransaction() {
  if (handle_) throw EFbTransactionError("Transaction is already active");
  StartOnDemand();
  explicit_ = true;
}

bool TFbTransaction::ActiveLongerThanOAT() const {
  // The active time is a difference of day fractions; seconds are turned into
  // days with a divisor of 88400.
  const double activeDays = static_cast<double>(Clock->NowMs() - startMs_) / 86400000.0;
  return activeDays > static_cast<double>(TimeoutProps.AllowCheckOAT) / 88400.0;
}

void TFbTransaction::Ended() {
  handle_ = 0;
  openCursors_ = 0;
  explicit_ = false;
  changed_ = false;
  state_ = tsNone;
}

void TFbTransaction::BeforeEnd(bool commit) {
  for (auto* s : std::vector<TFbStatement*>(statements_)) s->TransactionEnding(this, commit);
}

void TFbTransaction::HardCommit() {
  if (!handle_) return;
  TFbConnection& c = Conn();
  c.CheckNotLost();
  ending_ = true;
  state_ = tsCommitPending;
  try {
    BeforeEnd(true);
  } catch (...) {
    ending_ = false;
    state_ = tsNone;
    throw;
  }
  TFbStatusVector st;
  c.ClientLib->Api().isc_commit_transaction(st, &handle_);
  if (st.Failed() && !LostIn(st) && handle_) {
    // Tried once more (there is no cached schema information to drop).
    st.Clear();
    c.ClientLib->Api().isc_commit_transaction(st, &handle_);
  }
  ending_ = false;
  if (!st.Failed()) {
    ++HardCommits;
    Ended();
    return;
  }
  state_ = tsNone;
  oatEnabled_ = false;
  c.CheckStatus(st, this);
}

void TFbTransaction::CommitRetaining() {
  TFbConnection& c = Conn();
  c.CheckNotLost();
  state_ = tsCommitRetainingPending;
  TFbStatusVector st;
  c.ClientLib->Api().isc_commit_retaining(st, &handle_);
  if (st.Failed() && !LostIn(st)) {
    st.Clear();
    c.ClientLib->Api().isc_commit_retaining(st, &handle_);
  }
  state_ = tsNone;
  if (!st.Failed()) {
    ++RetainingCommits;
    changed_ = false;
    return;
  }
  oatEnabled_ = false;
  c.CheckStatus(st, this);
}

void TFbTransaction::DoRollback(bool raise) {
  if (!handle_) return;
  TFbConnection& c = Conn();
  ending_ = true;
  state_ = tsRollbackPending;
  BeforeEnd(false);
  TFbStatusVector st;
  if (c.ConnectionLost) {
    ending_ = false;
    Ended();
    return;
  }
  c.ClientLib->Api().isc_rollback_transaction(st, &handle_);
  ending_ = false;
  if (!st.Failed() || LostIn(st) || c.ConnectionLost) {
    // A lost connection has ended the transaction on the server already.
    if (st.Failed()) c.CheckStatus(st, this, false);
    Ended();
    return;
  }
  state_ = tsNone;
  c.CheckStatus(st, this, raise);
}

void TFbTransaction::Commit() { HardCommit(); }

void TFbTransaction::Rollback() { DoRollback(true); }

void TFbTransaction::Activate() {
  oatEnabled_ = true;
  if (!AutoCommit() || explicit_) {
    changed_ = true;
    return;
  }
  if (!handle_ || ServerAutoCommit) return;
  if (!AutoCommitRetains) {
    HardCommit();
    return;
  }
  state_ = tsSavePointPending;
  if (openCursors_ > 0 || Isolation != tiCommitted)
    CommitRetaining();
  else if (ActiveLongerThanOAT())
    HardCommit();
  else
    CommitRetaining();
  state_ = tsNone;
}

void TFbTransaction::CheckOAT() {
  if (!handle_ || ending_ || !oatEnabled_ || Isolation != tiCommitted || openCursors_ > 0 || explicit_) return;
  if (state_ != tsNone && state_ != tsInactive && state_ != tsActivePending) return;
  if (!ActiveLongerThanOAT()) return;
  try {
    HardCommit();
  } catch (const EFbError&) {
    // Swallowed: the check stays off until the next start or activation.
    oatEnabled_ = false;
  }
}

void TFbTransaction::Close() {
  if (!handle_) return;
  TFbConnection& c = Conn();
  if (AutoCommit() && !c.ConnectionLost && !explicit_) {
    ending_ = true;
    state_ = tsCommitPending;
    BeforeEnd(true);
    TFbStatusVector st;
    c.ClientLib->Api().isc_commit_transaction(st, &handle_);
    ending_ = false;
    if (!st.Failed()) {
      ++HardCommits;
      Ended();
      return;
    }
    if (handle_ && !LostIn(st)) {
      // The changes that could not be committed are dropped.
      c.CheckStatus(st, this, false);
      DoRollback(true);
      return;
    }
    if (LostIn(st) || c.ConnectionLost) {
      c.CheckStatus(st, this, false);
      Ended();
      return;
    }
    state_ = tsNone;
    c.CheckStatus(st, this);
    return;
  }
  DoRollback(true);
}

}  // namespace pagvigia
