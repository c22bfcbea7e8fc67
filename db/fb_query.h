// SQL statements with named parameters, and queries whose rows are fetched
// into a buffer and walked with First, Next and Eof.
//
//   TFbConnection conn("Gestalo");              // Params, SetUsername, SetPassword,
//   TFbTransaction ro(&conn), rw(&conn);        // SetServer, SetPath, then Connect()
//   conn.DefaultTransaction = &ro;
//   TFbQuery q(&conn);                          // runs in conn.DefaultTransaction
//   q.SQL().Add("SELECT NOME FROM T WHERE CAIXA = :CAIXA");
//   q.Prepare();
//   q.ParamByName("CAIXA").SetAsInteger(3);
//   q.Open();
//   for (q.First(); !q.Eof(); q.Next()) use(q.FieldByName("NOME").AsString());
//   TFbQuery u(&conn, &rw);                     // rw.SetAutoCommit(true): each
//   u.SQL().Add("UPDATE T SET NOME = :N");      // ExecSQL that changes data is
//   u.Prepare();                                // committed before it returns
//   u.ParamByName("N").SetAsString("x");
//   u.ExecSQL();
//
// Server errors raise EFbISCError (db/fb_errors.h); misuse raises the
// EFbError family. Text is UTF-8 on this side.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/fb_column.h"
#include "db/fb_component.h"
#include "db/fb_connection.h"
#include "db/fb_errors.h"
#include "db/fb_transaction.h"

namespace pagvigia {

// A descriptor area of the client (db/fb_private.h).
struct TFbSqlda;

enum TFbCommitAction { caClose, caInvalidateCursor, caFetchAll, caRefreshKeys, caRefresh };

// Parameters to be sent as octets, by name in upper case: the most bytes
// each may take, 0 for a BLOB parameter (see TFbStatement::SetParametroOctetos).
using TFbOctetParams = std::map<std::string, int>;

// The statement text as the server gets it: every parameter becomes "?"
// followed by "/* name */" (a ":name" loses its name to the comment), and
// the parameter names in order of appearance ("PRM_<n>" for a bare "?").
// A ":name" parameter named in `octets` becomes
// "CAST(?/* name */ AS VARCHAR(<bytes>) CHARACTER SET OCTETS)", or
// "CAST(?/* name */ AS BLOB SUB_TYPE TEXT CHARACTER SET OCTETS)" for 0 bytes.
// Literals, quoted identifiers, comments and square brackets are copied as
// they stand.
struct TFbParsedSQL {
  std::string ServerText;
  std::vector<std::string> ParamNames;
};
TFbParsedSQL FbParseSQL(std::string_view sql, char paramChar = ':', const TFbOctetParams& octets = {});
// The characters that end a parameter name.
bool CharIsDelimiter(char c);

// Lines of SQL text; any change runs OnChange.
class TFbSQLLines {
 public:
  void Clear();
  void Add(const std::string& line);
  void SetText(const std::string& text);
  // The lines joined by line breaks.
  std::string Text() const;
  int Count() const { return static_cast<int>(FLines.size()); }
  const std::string& operator[](int i) const { return FLines.at(static_cast<std::size_t>(i)); }
  std::function<void()> OnChange;

 private:
  std::vector<std::string> FLines;
};

class TFbConComponent : public TFbComponent {
 public:
  using TFbComponent::TFbComponent;
  TFbConnection* FbConnection() const { return FConnection; }

 protected:
  TFbConnection* FConnection = nullptr;
};

class TFbTranComponent : public TFbConComponent {
 public:
  using TFbConComponent::TFbConComponent;
  // The transaction set on the component (nullptr: the connection's default).
  TFbTransaction* FbTransaction() const { return FTransaction; }

 protected:
  TFbTransaction* FTransaction = nullptr;
};

// One SQL statement: text, prepare, parameters, execution.
class TFbStatement : public TFbTranComponent {
 public:
  // How many statements this process has prepared on the server so far (a
  // prepare is a round trip: the count shows one prepared over and over).
  static std::uint64_t PreparacoesNoProcesso();

  explicit TFbStatement(TFbConnection* connection = nullptr, TFbTransaction* transaction = nullptr,
                        const std::string& name = "");
  ~TFbStatement() override;

  void SetFbConnection(TFbConnection* c);
  void SetFbTransaction(TFbTransaction* t);

  // Changing the text closes and unprepares the statement, and forgets the
  // parameters asked to go as octets.
  TFbSQLLines& SQL() { return FSQL; }
  // Asks that the parameter `name` be sent as UTF-8 octets: the server gets
  // it as VARCHAR(maxBytes) CHARACTER SET OCTETS (maxBytes 0: a text BLOB in
  // OCTETS), and the parameter takes the program's UTF-8 text unconverted.
  // This is how text reaches a UTF8 or UNICODE_FSS column whole from a
  // connection in a single-byte set, which would otherwise carry it through
  // that set. The server still checks the bytes against the column: text
  // longer than the column raises "string right truncation". Ask after the
  // text is set; a change unprepares the statement.
  void SetParametroOctetos(const std::string& name, int maxBytes);
  const TFbOctetParams& ParametrosOctetos() const { return FOctetos; }
  char ParamChar = ':';

  void Prepare();
  void Unprepare();
  bool Prepared() const { return FPrepared; }
  void SetPrepared(bool v) { v ? Prepare() : Unprepare(); }

  // The parameter row (does not prepare: call Prepare first for new text).
  TFbRow& Params();
  TFbColumn& ParamByName(const std::string& name) { return Params().ParamByName(name); }
  // The output row; prepares when needed.
  TFbRow& Fields();
  TFbColumn& FieldByName(const std::string& name);

  // Executes a statement that returns no cursor (a SELECT is opened). When
  // the server refuses to carry a text parameter into its column's character
  // set, the characters in question (see TFbColumn::ReplaceBytesOtherSetLacks)
  // become "?" in every text parameter that has them, and the statement runs
  // once more; those parameters then report Substituido().
  virtual void ExecSQL();
  // isc_info_sql_stmt_* of the prepared statement (0 when not prepared).
  int StatementType() const { return FStatementType; }
  bool IsSelect() const;
  // Rows inserted, updated and deleted by the last execution.
  std::int64_t RowsAffected();
  // The access plan of the prepared statement as the server reports it
  // (isc_info_sql_get_plan), e.g. "PLAN SORT (T NATURAL)", without the line
  // break the server puts first; prepares when needed. Raises EFbISCError
  // when the server refuses the request.
  std::string Plan();
  // The transaction the statement runs in (its own or the connection's default).
  TFbTransaction* EffectiveTransaction() const;
  // The server text of the prepared statement.
  const std::string& ServerSQL() const { return FParsed.ServerText; }

  // Called by the connection and the transaction.
  virtual void ReleaseHandle();
  virtual void ConnectionDestroyed(TFbConnection* c);
  virtual void TransactionDestroyed(TFbTransaction* t);
  virtual void TransactionEnding(TFbTransaction* t, bool commit);

 protected:
  TFbConnection& Conn() const;
  // Checks the transaction belongs to the connection and starts it.
  TFbTransaction& StartTransaction();
  void BindParams(TFbTransaction& tr);
  void ReadBlobs(TFbTransaction& tr, char* record, std::string* blobs);
  // Raises the error of a failed call (nothing when the call succeeded).
  void Check(const TFbStatusVector& st);
  void SQLChanged();
  virtual void ParamsChanged() {}
  virtual void OpenCursor() = 0;
  virtual void CloseStatement() = 0;
  virtual void AfterPrepare() {}
  void Activate(TFbTransaction& tr);

  // The client's descriptor areas of the parameters and the fields.
  struct SqldaDeleter {
    void operator()(TFbSqlda* p) const;
  };
  using SqldaPtr = std::unique_ptr<TFbSqlda, SqldaDeleter>;
  static SqldaPtr NewSqlda(int n);

  TFbSQLLines FSQL;
  TFbOctetParams FOctetos;
  TFbParsedSQL FParsed;
  TFbHandle FHandle = 0;
  bool FPrepared = false;
  int FStatementType = 0;
  SqldaPtr FIn;
  SqldaPtr FOut;
  std::unique_ptr<TFbRow> FParams;
  std::unique_ptr<TFbRow> FFields;
  TFbTransaction* FRegisteredTransaction = nullptr;
};

// A statement with a cursor and a buffer of fetched rows.
class TFbDataset : public TFbStatement {
 public:
  using TFbStatement::TFbStatement;
  ~TFbDataset() override;

  bool RefreshOnParamChange = true;
  bool AutoFetchFirst = true;
  TFbCommitAction CommitAction = caClose;
  // "NAME=BOOLEAN=<true>,<false>" (quotes around the pair allowed) or
  // "NAME=BLANKISNULL" lines, applied to the columns when preparing.
  std::vector<std::string> ColumnAttributes;

  void Open();
  void Close();
  bool Active() const { return FActive; }
  void SetActive(bool v) { v ? Open() : Close(); }
  void First();
  void Next();
  bool Eof() const { return FEof; }
  // True when the result has fewer than MinRows rows (always for a
  // statement that is not a prepared, open SELECT).
  bool IsEmpty(int MinRows = 1);
  // The current row, 0-based (-1 when none); rows buffered so far.
  int RecNo() const { return FCurrent; }
  int BufferedRows() const { return static_cast<int>(FRecords.size()); }
  // True while the server cursor is open.
  bool CursorOpen() const { return FCursorOpen; }

  void ExecSQL() override;
  void ReleaseHandle() override;
  void ConnectionDestroyed(TFbConnection* c) override;
  void TransactionDestroyed(TFbTransaction* t) override;
  void TransactionEnding(TFbTransaction* t, bool commit) override;

 protected:
  void OpenCursor() override;
  void CloseStatement() override { Close(); }
  void ParamsChanged() override;
  bool FetchOne();
  void CloseCursor(bool checkOAT);
  void SetCurrent(int i);
  void AfterPrepare() override;

  struct Record {
    std::unique_ptr<char[]> Bytes;
    std::unique_ptr<std::string[]> Blobs;
  };
  std::vector<Record> FRecords;
  TFbTransaction* FCursorTransaction = nullptr;
  bool FActive = false;
  bool FCursorOpen = false;
  bool FFetchedAll = false;
  bool FEof = false;
  int FCurrent = -1;
  bool FRefreshing = false;
};

// The buffered dataset.
class TFbBDataset : public TFbDataset {
 public:
  using TFbDataset::TFbDataset;
};

// The query component the service uses.
class TFbQuery : public TFbBDataset {
 public:
  using TFbBDataset::TFbBDataset;
};

}  // namespace pagvigia
