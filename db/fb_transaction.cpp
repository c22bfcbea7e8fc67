#include "db/fb_transaction.h"

#include <algorithm>

#include "db/fb_connection.h"
#include "db/fb_private.h"
#include "db/fb_query.h"

namespace pagvigia {

namespace {
// True when the failed call reported a lost connection.
bool LostIn(const TFbStatusVector& st) { return st.AnyCode([](ISC_STATUS code) { return IsLostConnectionCode(code); }); }
}  // namespace

TFbTransaction::TFbTransaction(TFbConnection* connection, const std::string& name) : TFbComponent(name) {
  SetFbConnection(connection);
}

TFbTransaction::~TFbTransaction() {
  if (FHandle && FConnection) {
    try {
      Close();
    } catch (...) {
      ReleaseAfterFailure();
    }
  }
  for (auto* s : std::vector<TFbStatement*>(FStatements)) s->TransactionDestroyed(this);
  if (FConnection) FConnection->RemoveTransaction(this);
}

void TFbTransaction::SetFbConnection(TFbConnection* c) {
  if (c == FConnection) return;
  if (FHandle) Close();
  if (FConnection) FConnection->RemoveTransaction(this);
  FConnection = c;
  if (FConnection) FConnection->AddTransaction(this);
}

void TFbTransaction::ConnectionDestroyed(TFbConnection* c) {
  if (FConnection != c) return;
  FHandle = 0;
  FOpenCursors = 0;
  FConnection = nullptr;
}

void TFbTransaction::ReleaseAfterFailure() {
  for (auto* s : std::vector<TFbStatement*>(FStatements)) s->TransactionEnding(this, false);
  Ended();
}

void TFbTransaction::AddStatement(TFbStatement* s) {
  if (std::find(FStatements.begin(), FStatements.end(), s) == FStatements.end()) FStatements.push_back(s);
}

void TFbTransaction::RemoveStatement(TFbStatement* s) {
  FStatements.erase(std::remove(FStatements.begin(), FStatements.end(), s), FStatements.end());
}

TFbConnection& TFbTransaction::Conn() {
  if (!FConnection) {
    // A transaction without connections takes the only one there is.
    TFbConnection* only = TFbConnection::OnlyConnection();
    if (!only) throw EFbTransactionError("Transaction has no connections");
    SetFbConnection(only);
  }
  return *FConnection;
}

std::string TFbTransaction::BuildTPB() const {
  std::string tpb;
  tpb += static_cast<char>(isc_tpb_version3);
  const bool readOnly = ReadOnly || (FConnection && FConnection->Connected() && FConnection->ReadOnlyDatabase());
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
  if (FHandle) return;
  TFbConnection& c = Conn();
  if (!c.Connected()) c.Connect(false);
  if (!c.Connected()) return;
  c.CheckNotLost();
  const std::string tpb = BuildTPB();
  if (static_cast<int>(tpb.size()) > TPBLength)
    throw EFbError("TPB buffer overrun: Increase TPBLength setting to at least " + std::to_string(tpb.size()) + ".");
  TFbTransactionExistenceBlock teb{c.HandlePtr(), static_cast<int>(tpb.size()), tpb.data()};
  TFbStatusVector st;
  c.ClientLib->Api().isc_start_multiple(st, &FHandle, 1, &teb);
  if (st.Failed()) {
    FHandle = 0;
    c.CheckStatus(st, this);
  }
  FStartMs = Clock->NowMs();
  FOpenCursors = 0;
  FOATEnabled = true;
  FChanged = false;
  FState = tsNone;
}

void TFbTransaction::StartTransaction() {
  if (FHandle) throw EFbTransactionError("Transaction is already active");
  StartOnDemand();
  FExplicit = true;
}

bool TFbTransaction::ActiveLongerThanOAT() const {
  // The active time is a difference of day fractions; seconds are turned into
  // days with a divisor of 88400.
  const double activeDays = static_cast<double>(Clock->NowMs() - FStartMs) / 86400000.0;
  return activeDays > static_cast<double>(TimeoutProps.AllowCheckOAT) / 88400.0;
}

void TFbTransaction::Ended() {
  FHandle = 0;
  FOpenCursors = 0;
  FExplicit = false;
  FChanged = false;
  FState = tsNone;
}

void TFbTransaction::BeforeEnd(bool commit) {
  for (auto* s : std::vector<TFbStatement*>(FStatements)) s->TransactionEnding(this, commit);
}

void TFbTransaction::HardCommit() {
  if (!FHandle) return;
  TFbConnection& c = Conn();
  c.CheckNotLost();
  FEnding = true;
  FState = tsCommitPending;
  try {
    BeforeEnd(true);
  } catch (...) {
    FEnding = false;
    FState = tsNone;
    throw;
  }
  TFbStatusVector st;
  c.ClientLib->Api().isc_commit_transaction(st, &FHandle);
  if (st.Failed() && !LostIn(st) && FHandle) {
    // Tried once more (there is no cached schema information to drop).
    st.Clear();
    c.ClientLib->Api().isc_commit_transaction(st, &FHandle);
  }
  FEnding = false;
  if (!st.Failed()) {
    ++HardCommits;
    Ended();
    return;
  }
  FState = tsNone;
  FOATEnabled = false;
  c.CheckStatus(st, this);
}

void TFbTransaction::CommitRetaining() {
  TFbConnection& c = Conn();
  c.CheckNotLost();
  FState = tsCommitRetainingPending;
  TFbStatusVector st;
  c.ClientLib->Api().isc_commit_retaining(st, &FHandle);
  if (st.Failed() && !LostIn(st)) {
    st.Clear();
    c.ClientLib->Api().isc_commit_retaining(st, &FHandle);
  }
  FState = tsNone;
  if (!st.Failed()) {
    ++RetainingCommits;
    FChanged = false;
    return;
  }
  FOATEnabled = false;
  c.CheckStatus(st, this);
}

void TFbTransaction::DoRollback(bool raise) {
  if (!FHandle) return;
  TFbConnection& c = Conn();
  FEnding = true;
  FState = tsRollbackPending;
  BeforeEnd(false);
  TFbStatusVector st;
  if (c.ConnectionLost) {
    FEnding = false;
    Ended();
    return;
  }
  c.ClientLib->Api().isc_rollback_transaction(st, &FHandle);
  FEnding = false;
  if (!st.Failed() || LostIn(st) || c.ConnectionLost) {
    // A lost connection has ended the transaction on the server already.
    if (st.Failed()) c.CheckStatus(st, this, false);
    Ended();
    return;
  }
  FState = tsNone;
  c.CheckStatus(st, this, raise);
}

void TFbTransaction::Commit() { HardCommit(); }

void TFbTransaction::Rollback() { DoRollback(true); }

void TFbTransaction::Activate() {
  FOATEnabled = true;
  if (!AutoCommit() || FExplicit) {
    FChanged = true;
    return;
  }
  if (!FHandle || ServerAutoCommit) return;
  if (!AutoCommitRetains) {
    HardCommit();
    return;
  }
  FState = tsSavePointPending;
  if (FOpenCursors > 0 || Isolation != tiCommitted)
    CommitRetaining();
  else if (ActiveLongerThanOAT())
    HardCommit();
  else
    CommitRetaining();
  FState = tsNone;
}

void TFbTransaction::CheckOAT() {
  if (!FHandle || FEnding || !FOATEnabled || Isolation != tiCommitted || FOpenCursors > 0 || FExplicit) return;
  if (FState != tsNone && FState != tsInactive && FState != tsActivePending) return;
  if (!ActiveLongerThanOAT()) return;
  try {
    HardCommit();
  } catch (const EFbError&) {
    // Swallowed: the check stays off until the next start or activation.
    FOATEnabled = false;
  }
}

void TFbTransaction::Close() {
  if (!FHandle) return;
  TFbConnection& c = Conn();
  if (AutoCommit() && !c.ConnectionLost && !FExplicit) {
    FEnding = true;
    FState = tsCommitPending;
    BeforeEnd(true);
    TFbStatusVector st;
    c.ClientLib->Api().isc_commit_transaction(st, &FHandle);
    FEnding = false;
    if (!st.Failed()) {
      ++HardCommits;
      Ended();
      return;
    }
    if (FHandle && !LostIn(st)) {
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
    FState = tsNone;
    c.CheckStatus(st, this);
    return;
  }
  DoRollback(true);
}

}  // namespace pagvigia
