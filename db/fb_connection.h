// A connection to one Firebird database through the client library.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/fb_client_lib.h"
#include "db/fb_component.h"
#include "db/fb_errors.h"

namespace pagvigia {

class TFbTransaction;
class TFbStatement;

enum TFbPasswordStorage { psNone, psParams, psKeyFromUserReg, psKeyFromMachineReg, psNotSecure, psKeyFromEnviron };

enum TFbConnectionStatus {
  csDisconnected,
  csConnected,
  csDisconnectPending,
  csConnectPending,
  csDropPending,
  csCreatePending,
  csForcedConnectPending
};

enum TFbProtocol { cpLocal, cpNetBEUI, cpTCP_IP, cpNovell };

class TFbConnection : public TFbComponent {
 public:
  explicit TFbConnection(const std::string& name = "");
  // Detaches when attached (errors are not raised from here).
  ~TFbConnection() override;

  // Attaches when not attached. AllowAutoCreate is accepted for the
  // interface's sake; databases are never created.
  virtual void Connect(bool AllowAutoCreate = false);
  // Detaches when attached: closes the transactions (commit with AutoCommit,
  // rollback otherwise), releases the statements' server handles and detaches.
  virtual void Disconnect();
  // The same as Connect(false) and Disconnect().
  virtual void Open() { Connect(false); }
  virtual void Close() { Disconnect(); }
  bool Connected() const { return FHandle != 0; }
  void SetConnected(bool value) { value ? Connect(false) : Disconnect(); }
  TFbConnectionStatus Status() const { return FStatus; }

  // The settings list ("NAME=value" lines). Besides the usual entries,
  // "CONNECT TIMEOUT" (seconds) limits how long attaching waits for the
  // server.
  TFbParamList Params;

  // Indexed properties over Params. Writing while attached raises
  // EFbConnectionError "Cannot change while connected".
  std::string Username() const { return Params.Value("USER NAME"); }
  void SetUsername(const std::string& v) { SetParam("USER NAME", v); }
  std::string Server() const { return Params.Value("SERVER"); }
  void SetServer(const std::string& v) { SetParam("SERVER", v); }
  std::string Path() const { return Params.Value("PATH"); }
  void SetPath(const std::string& v) { SetParam("PATH", v); }
  std::string SQLRole();
  void SetSQLRole(const std::string& v);
  std::string SysDBA() const { return Params.Value("SYSDBA"); }
  void SetSysDBA(const std::string& v) { SetParam("SYSDBA", v); }
  std::string CharSet() const;
  void SetCharSet(const std::string& v) { SetParam("CHARACTER SET", UpperCase(v)); }
  std::string MessageFile() const { return Params.Value("MESSAGE FILE"); }
  void SetMessageFile(const std::string& v) { SetParam("MESSAGE FILE", v); }

  std::string Password() const;
  void SetPassword(const std::string& v);
  TFbPasswordStorage PasswordStorage = psNone;

  TFbProtocol Protocol() const;
  int SQLDialect() const;
  // The database string that attaching uses (server and path by protocol).
  std::string DatabaseString() const;

  // A value holding ".", "\", ":" or "@" sets server, protocol and path;
  // anything else is the connection's logical name, made unique.
  std::string DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& v);

  bool LoginPrompt = false;
  int LoginAttempts = 3;
  bool KeepConnection = true;
  bool CacheStatementHandles = false;
  bool DefaultNoTrimming = false;
  bool DefaultNoLengthCheck = true;
  TFbTransaction* DefaultTransaction = nullptr;

  // Notifications around attaching and detaching.
  std::function<void(TFbConnection&)> BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;

  // The client library used (the process's own unless replaced, e.g. by a
  // test that needs a library that cannot be loaded).
  TFbClientLib* ClientLib = &TFbClientLib::Instance();

  // Default character sets of a database that attaching takes instead of the
  // "CHARACTER SET" line: when the database's own default is one of these,
  // Connect reads it after attaching and attaches again with it (once; the
  // next Connect to the same database starts with it). Empty: the line is
  // always used as it is.
  std::vector<std::string> DatabaseCharSetsUsed;

  // The database parameter block for the current settings.
  std::string BuildDPB() const;

  // Text to and from the connection's character set.
  std::string ToServer(std::string_view utf8) const;
  std::string FromServer(std::string_view bytes) const;
  // Character-set id in use (-1 when not attached).
  int CharSetId() const { return FCharSetId; }

  // Runs the error path on a failed status: builds EFbISCError and raises it
  // (or only records it as LastErrorMessage when raise is false).
  void CheckStatus(const TFbStatusVector& status, TFbComponent* sender, bool raise = true);
  // The error recorded by a call that did not raise (e.g. a failed detach).
  std::string LastErrorMessage;
  // The message of the error that reported the connection lost.
  std::string LostMessage;

  // The client's attachment handle (0 when not attached).
  TFbHandle* HandlePtr() { return &FHandle; }
  TFbHandle Handle() const { return FHandle; }
  bool ReadOnlyDatabase() const { return FReadOnlyDatabase; }
  // Set when a call reported that the server connection is gone. From then
  // on until the next Connect no further call is made on the attachment (a
  // server that has ended it may never answer): statements raise
  // EFbConnectionError with the server's message at once, transactions end
  // locally, and Disconnect only detaches.
  bool ConnectionLost = false;
  // Raises EFbConnectionError with the lost-connection message when the
  // attachment is known to be gone.
  void CheckNotLost() const;
  bool Detaching() const { return FStatus == csDisconnectPending || FStatus == csDropPending; }

  // Registration of the objects that use the connection.
  void AddTransaction(TFbTransaction* t);
  void RemoveTransaction(TFbTransaction* t);
  void AddStatement(TFbStatement* s);
  void RemoveStatement(TFbStatement* s);
  const std::vector<TFbTransaction*>& Transactions() const { return FTransactions; }
  // The only connection of the process (nullptr when none or several).
  static TFbConnection* OnlyConnection();

 private:
  void SetParam(const std::string& name, const std::string& value);
  std::string BuildDPB(const std::string& charset) const;
  void Detach();
  void Attach(const std::string& dbString, const std::string& dpb);
  void ReadDatabaseInfo();
  std::string QueryDefaultCharSet();

  TFbHandle FHandle = 0;
  TFbConnectionStatus FStatus = csDisconnected;
  std::string FPassword;
  std::string FDatabaseName;
  // Captured at attach time.
  std::string FAttachedCharSet;
  int FCharSetId = -1;
  int FCodePage = 0;  // of the attached character set (see fb_connection.cpp)
  int FAttachedDialect = 3;
  // The character set the last Connect settled on through
  // DatabaseCharSetsUsed, and the database string it was for.
  std::string FSettledDatabase, FSettledCharSet;
  bool FReadOnlyDatabase = false;
  std::vector<TFbTransaction*> FTransactions;
  std::vector<TFbStatement*> FStatements;
};

}  // namespace pagvigia
