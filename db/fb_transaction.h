// A server transaction on a connection: started when a statement needs it,
// committed automatically after each data change, closed when the connection
// detaches.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "db/fb_component.h"
#include "platform/clock.h"

namespace pagvigia {

class TFbConnection;
class TFbStatement;

enum TFbIsolation { tiConcurrency, tiConsistency, tiCommitted };

enum TFbTransactionState {
  tsNone,
  tsInactivePending,
  tsInactive,
  tsActivePending,
  tsActive,
  tsSavePointPending,
  tsLosePointPending,
  tsCommitRetainingPending,
  tsCommitPending,
  tsCommitRefreshPending,
  tsRollbackRetainingPending,
  tsRollbackPending,
  tsRollbackRefreshPending
};

// Seconds (rows for AttemptMaxRows). Only AllowCheckOAT is acted upon; the
// others configure a maintenance of idle transactions that nothing here runs.
struct TFbTimeoutProps {
  std::uint16_t AllowCheckOAT = 120;
  std::uint16_t Attempt = 1200;
  std::uint16_t AttemptMaxRows = 5000;
  std::uint16_t AttemptTicks = 150;
  std::uint16_t AttemptRetry = 5;
  std::uint16_t PromptUser = 0;
  std::uint16_t PromptUserDuration = 15;
  std::uint16_t PromptUserRetry = 60;
};

class TFbTransaction : public TFbComponent {
 public:
  explicit TFbTransaction(TFbConnection* connection = nullptr, const std::string& name = "");
  ~TFbTransaction() override;

  TFbConnection* FbConnection() const { return FConnection; }
  void SetFbConnection(TFbConnection* c);

  // True when AutoCommit or ServerAutoCommit is set.
  bool AutoCommit() const { return FAutoCommit || ServerAutoCommit; }
  void SetAutoCommit(bool v) { FAutoCommit = v; }
  bool AutoCommitRetains = true;
  bool ServerAutoCommit = false;
  bool NoAutoUndo = false;
  bool ReadOnly = false;
  TFbIsolation Isolation = tiCommitted;
  bool RecVersion = true;
  bool LockWait = false;
  int LockTimeout = 0;
  int TPBLength = 1024;
  TFbTimeoutProps TimeoutProps;

  bool Started() const { return FHandle != 0; }
  // The client's transaction handle (0 when not started).
  TFbHandle* HandlePtr() { return &FHandle; }
  TFbTransactionState State() const { return FState; }

  // Starts the server transaction now (an explicit transaction: automatic
  // commits are suspended until Commit or Rollback).
  void StartTransaction();
  // Hard commit / rollback of the server transaction (nothing when not started).
  void Commit();
  void Rollback();
  // Ends the transaction as detaching requires: commit with AutoCommit,
  // rollback otherwise.
  void Close();

  // The transaction parameter block for the current settings.
  std::string BuildTPB() const;

  // Used by statements: start when not started; after a data change; the
  // oldest-active check; open server cursors.
  void StartOnDemand();
  void Activate();
  void CheckOAT();
  void CursorOpened() { ++FOpenCursors; }
  void CursorClosed() {
    if (FOpenCursors > 0) --FOpenCursors;
  }
  int OpenCursors() const { return FOpenCursors; }
  bool HasUncommittedChanges() const { return FChanged; }

  // Counters of the commits performed (for tests and diagnostics).
  int HardCommits = 0;
  int RetainingCommits = 0;

  // The clock that measures the active time (tests use a manual one).
  platform::Clock* Clock = &platform::SystemClock();

  // Bookkeeping called by connections and statements.
  void AddStatement(TFbStatement* s);
  void RemoveStatement(TFbStatement* s);
  void ConnectionDestroyed(TFbConnection* c);
  // Forgets the server transaction without a server call (the attachment is
  // being released anyway).
  void ReleaseAfterFailure();

 private:
  TFbConnection& Conn();
  bool ActiveLongerThanOAT() const;
  void Ended();
  void BeforeEnd(bool commit);
  void HardCommit();
  void CommitRetaining();
  void DoRollback(bool raise);

  TFbConnection* FConnection = nullptr;
  bool FAutoCommit = false;
  TFbHandle FHandle = 0;
  TFbTransactionState FState = tsNone;
  std::int64_t FStartMs = 0;
  int FOpenCursors = 0;
  bool FExplicit = false;
  bool FChanged = false;
  bool FOATEnabled = true;
  bool FEnding = false;
  std::vector<TFbStatement*> FStatements;
};

}  // namespace pagvigia
