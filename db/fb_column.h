// Columns and rows: the parameters and fields of a statement. A column's
// value sits in a buffer in the server's own layout; the accessors convert it
// to and from the program's types (text is UTF-8 here and the connection's
// character set on the wire).
//
// On a connection with a character set (not NONE) the server describes
// every text parameter and field in that set, whatever the table column's
// own set is, and it carries a parameter's text through that set before it
// stores it in the column. So the connection's set is all a column knows of
// its character set, and text reaches a column only as far as both sets hold
// its characters.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/fb_errors.h"

namespace pagvigia {

class TFbConnection;
class TFbRow;

// A column's description as the server gives it: the SQL type code (its
// lowest bit set for a nullable column), the scale of a fixed-point number,
// the subtype (character set of text, kind of blob) and the length in bytes.
struct TFbColumnDesc {
  int SQLType = 0;
  int SQLScale = 0;
  int SQLSubType = 0;
  int SQLLen = 0;
};

enum TFbRowType { rtParam, rtField, rtKey };
enum TFbCharCase { ccNone, ccUpper, ccLower };

class TFbColumn {
 public:
  TFbColumn(TFbRow& row, int index, const std::string& name, const TFbColumnDesc& desc);
  virtual ~TFbColumn() = default;
  TFbColumn(const TFbColumn&) = delete;
  TFbColumn& operator=(const TFbColumn&) = delete;

  const std::string& Name() const { return FName; }
  int Index() const { return FIndex; }
  // The SQL type without its nullable bit, and the rest of the description.
  int SQLType() const { return FSQLType; }
  int SQLScale() const { return FSQLScale; }
  int SQLSubType() const { return FSQLSubType; }
  // Length in bytes of the value (without the length word of a VARCHAR).
  int SQLLen() const { return FSQLLen; }
  int CharSetId() const { return FCharSetId; }
  // Length in characters of a text column.
  int CharLength() const;

  bool IsNull() const;
  void SetIsNull(bool value);
  void Clear() { SetIsNull(true); }

  // True when the value last set is not the whole text it was given: some
  // of its characters became "?" because the connection's character set
  // cannot hold them (found when the value is set), or because the server
  // refused to carry them into the column's character set (found when the
  // statement runs; see TFbStatement::ExecSQL). Setting another value, or
  // NULL, starts again from false.
  bool Substituido() const { return FSubstituted > 0; }
  // Of a CHAR or VARCHAR value on a connection in ISO8859_1 or WIN1252: turns
  // the bytes 0x80-0x9F into "?" and counts them as substituted; false when
  // there were none. These are the bytes that the two sets read differently
  // (control characters in ISO 8859-1, € “ ” – and the like in Windows-1252),
  // and so the only ones the server may refuse to carry from one set into
  // the other. The row is not told: the value stays the one last set, only
  // its bytes change.
  bool ReplaceBytesOtherSetLacks();

  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& value);
  virtual std::int32_t AsInteger() const;
  virtual void SetAsInteger(std::int32_t value);
  virtual std::int64_t AsInt64() const;
  virtual void SetAsInt64(std::int64_t value);
  // Fixed point with four decimals: a 64-bit integer scaled by 10000.
  virtual std::int64_t AsCurrency() const;
  virtual void SetAsCurrency(std::int64_t value);
  virtual double AsDouble() const;
  virtual void SetAsDouble(double value);
  // For a column marked Boolean (or an SQL BOOLEAN): its true text.
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);

  // Right trimming of text (trailing characters at or below the space).
  bool Trimming = true;
  TFbCharCase CharCase = ccNone;
  bool BlankIsNull = false;
  bool NoLengthCheck = true;
  bool IsBoolean = false;
  std::string BooleanTrue = "TRUE";
  std::string BooleanFalse = "FALSE";

  // Layout in the row's record (set by the statement).
  std::size_t IndOffset = 0;
  std::size_t DataOffset = 0;
  std::size_t DataSize = 0;

 protected:
  const char* Data() const;
  char* Data();
  std::string& Blob();
  const std::string& Blob() const;
  // Marks the value set (not null), with `substituted` characters of it
  // written as "?", and tells the row.
  void Changed(int substituted = 0);
  const TFbConnection& Conn() const;
  std::string Decode(std::string_view bytes) const;
  // UTF-8 to the bytes of the column's character set; `substituted` counts
  // the characters that became "?".
  std::string Encode(std::string_view utf8, int& substituted) const;
  std::string ApplyTextRules(std::string text) const;
  // Reading text as a number for columns without a numeric form.
  std::int64_t TextAsInt64() const;
  std::int64_t TextAsCurrency() const;
  double TextAsDouble() const;
  [[noreturn]] void ConversionError(const std::string& what) const;

 private:
  TFbRow& FRow;
  int FIndex;
  std::string FName;
  int FSQLType;
  int FSQLScale;
  int FSQLSubType;
  int FSQLLen;
  int FCharSetId;
  int FSubstituted = 0;
  // Copies the substitution count to the other places of a parameter name.
  friend class TFbRow;
};

// CHAR.
class TFbColumnText : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};
// A CHAR column named DB_KEY or RDB$DB_KEY: read as hexadecimal text.
class TFbColumnDB_KEY : public TFbColumnText {
 public:
  using TFbColumnText::TFbColumnText;
  std::string AsString() const override;
};
// VARCHAR.
class TFbColumnVarText : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};

// SMALLINT, INTEGER, BIGINT (scale 0), and the scaled NUMERIC/DECIMAL.
class TFbColumnNumeric : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  std::int64_t AsInt64() const override;
  void SetAsInt64(std::int64_t value) override;
  std::int64_t AsCurrency() const override;
  void SetAsCurrency(std::int64_t value) override;
  double AsDouble() const override;
  void SetAsDouble(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;

 protected:
  // The stored integer (unscaled) and storing one, with a range check.
  std::int64_t Raw() const;
  void SetRaw(std::int64_t v);
  // The integer scaled to `scale` decimals from a decimal text; false when
  // the text is not a number.
  bool ParseDecimal(const std::string& text, int decimals, std::int64_t& out) const;
};
class TFbColumnSmallInt : public TFbColumnNumeric {
 public:
  using TFbColumnNumeric::TFbColumnNumeric;
};
class TFbColumnInteger : public TFbColumnNumeric {
 public:
  using TFbColumnNumeric::TFbColumnNumeric;
};
class TFbColumnInt64 : public TFbColumnNumeric {
 public:
  using TFbColumnNumeric::TFbColumnNumeric;
};

// DOUBLE PRECISION and FLOAT.
class TFbColumnDouble : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  std::int32_t AsInteger() const override;
  std::int64_t AsInt64() const override;
  void SetAsInt64(std::int64_t value) override;
  std::int64_t AsCurrency() const override;
  void SetAsCurrency(std::int64_t value) override;
  double AsDouble() const override;
  void SetAsDouble(double value) override;
};
class TFbColumnFloat : public TFbColumnDouble {
 public:
  using TFbColumnDouble::TFbColumnDouble;
};

// DATE, TIME, TIMESTAMP: text "YYYY-MM-DD", "HH:MM:SS[.ffff]" and both
// joined by a blank.
class TFbColumnTimeStamp : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};
class TFbColumnDate : public TFbColumnTimeStamp {
 public:
  using TFbColumnTimeStamp::TFbColumnTimeStamp;
};
class TFbColumnTime : public TFbColumnTimeStamp {
 public:
  using TFbColumnTimeStamp::TFbColumnTimeStamp;
};

// BOOLEAN: "UNKNOWN" for NULL, else its true or false text.
class TFbColumnBoolean : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  std::int64_t AsInt64() const override;
  void SetAsInt64(std::int64_t value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
};

// BLOBs: the whole value is held in memory (read when the row is fetched,
// written when the statement runs).
class TFbColumnBlob : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  // The stored bytes as they are.
  const std::string& AsBytes() const { return Blob(); }
  void SetAsBytes(const std::string& bytes);
};
// BLOB SUB_TYPE TEXT: text in the connection's character set.
class TFbColumnMemo : public TFbColumnBlob {
 public:
  using TFbColumnBlob::TFbColumnBlob;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};
class TFbColumnBLR : public TFbColumnBlob {
 public:
  using TFbColumnBlob::TFbColumnBlob;
};
class TFbColumnBinary : public TFbColumnBlob {
 public:
  using TFbColumnBlob::TFbColumnBlob;
};
// ARRAY: described, not readable.
class TFbColumnArray : public TFbColumn {
 public:
  using TFbColumn::TFbColumn;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};

// Creates the column class that the SQL type calls for. Raises
// EFbStatementError "Unsupported column type: %d" for anything else.
std::unique_ptr<TFbColumn> FbCreateColumn(TFbRow& row, int index, const std::string& name, const TFbColumnDesc& desc);

// An ordered list of columns of one kind with the record that holds their
// values.
class TFbRow {
 public:
  TFbRow(TFbRowType kind, const TFbConnection* connection);
  TFbRowType Kind() const { return FKind; }
  int Count() const { return static_cast<int>(FColumns.size()); }
  TFbColumn& operator[](int i) { return *FColumns.at(static_cast<std::size_t>(i)); }
  // The first column of that name (case ignored), nullptr when none.
  TFbColumn* FindColumn(const std::string& name) const;
  // Raises EFbStatementError "FieldName: %s not found".
  TFbColumn& ByName(const std::string& name) const;
  TFbColumn& ParamByName(const std::string& name) const { return ByName(name); }

  // Several assignments with one change notification, at the outermost end.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate(bool SingleEventOnly = true);
  int UpdateCount() const { return FUpdateCount; }
  // Run after a value changed (outside BeginUpdate/EndUpdate).
  std::function<void()> OnChange;

  // Internal: columns, layout, the current record.
  void AddColumn(std::unique_ptr<TFbColumn> c) { FColumns.push_back(std::move(c)); }
  // Lays the columns out; returns the record size.
  std::size_t Layout();
  std::size_t RecordSize() const { return FRecordSize; }
  char* Record() const { return FRecord; }
  std::string* Blobs() const { return FBlobs; }
  void SetCurrent(char* record, std::string* blobs) {
    FRecord = record;
    FBlobs = blobs;
  }
  // A record owned by the row, all values NULL: parameters live in it, and
  // fields show it when there is no current row.
  void UseOwnRecord();
  char* OwnRecord() { return FOwn.get(); }
  const TFbConnection& Conn() const { return *FConnection; }
  bool HasBlobs() const { return FHasBlobs; }
  void ColumnChanged(TFbColumn& c);

 private:
  TFbRowType FKind;
  const TFbConnection* FConnection;
  std::vector<std::unique_ptr<TFbColumn>> FColumns;
  std::size_t FRecordSize = 0;
  std::unique_ptr<char[]> FOwn;
  std::unique_ptr<std::string[]> FOwnBlobs;
  char* FRecord = nullptr;
  std::string* FBlobs = nullptr;
  int FUpdateCount = 0;
  bool FPendingChange = false;
  bool FSyncing = false;
  bool FHasBlobs = false;
};

// Dates as the server stores them: days since 17 November 1858.
std::int32_t FbEncodeDate(int year, int month, int day);
void FbDecodeDate(std::int32_t days, int& year, int& month, int& day);

}  // namespace pagvigia
