// Queries against a real server: every column type the shop's database may
// hold, parameters, navigation, re-running on a parameter change, and the
// automatic commits of the service's read-write transaction.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "tests/db/db_fixture.h"

namespace pagvigia::testing {
namespace {

const char* kTypesSchema =
    "CREATE TABLE TIPOS (ID INTEGER NOT NULL PRIMARY KEY, C5 CHAR(5), VC VARCHAR(30), SI SMALLINT, I INTEGER,\n"
    "  BI BIGINT, N152 NUMERIC(15,2), D184 DECIMAL(18,4), N41 NUMERIC(4,1), N186 NUMERIC(18,6), DP DOUBLE PRECISION,\n"
    "  FL FLOAT, DT DATE, TM TIME, TS TIMESTAMP, BO BOOLEAN, MEMO BLOB SUB_TYPE TEXT, BIN BLOB SUB_TYPE 0);\n"
    "INSERT INTO TIPOS VALUES (1, 'abc', 'Conexão d''água', -12, 123456, 9000000000123, 1234.56, -98.7654, -12.3,\n"
    "  1.1234565, 2.5, 0.25, '2026-12-08', '13:45:07.1230', '2026-12-08 13:45:07', TRUE, 'Memo com ç e ''aspas''',\n"
    "  'bin');\n"
    "INSERT INTO TIPOS (ID, VC) VALUES (2, '   ');\n"
    "INSERT INTO TIPOS (ID, BO) VALUES (3, FALSE);\n";

class FbQueryTest : public ::testing::Test {
 protected:
  FbQueryTest() : db(kTypesSchema), s(db) {}
  FirebirdDb db;
  ServiceLikeConnection s;
};

TEST_F(FbQueryTest, EveryColumnTypeReadsAsTheServiceReadsIt) {
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT * FROM TIPOS WHERE ID = 1");
  q.Open();
  ASSERT_FALSE(q.Eof());
  EXPECT_NE(dynamic_cast<TFbColumnText*>(&q.FieldByName("C5")), nullptr);
  EXPECT_EQ(q.FieldByName("C5").AsString(), "abc");  // padding trimmed
  EXPECT_NE(dynamic_cast<TFbColumnVarText*>(&q.FieldByName("VC")), nullptr);
  EXPECT_EQ(q.FieldByName("VC").AsString(), "Conexão d'água");
  EXPECT_NE(dynamic_cast<TFbColumnSmallInt*>(&q.FieldByName("SI")), nullptr);
  EXPECT_EQ(q.FieldByName("SI").AsInteger(), -12);
  EXPECT_EQ(q.FieldByName("SI").AsString(), "-12");
  EXPECT_NE(dynamic_cast<TFbColumnInteger*>(&q.FieldByName("I")), nullptr);
  EXPECT_EQ(q.FieldByName("I").AsInteger(), 123456);
  EXPECT_EQ(q.FieldByName("I").AsCurrency(), 1234560000);
  EXPECT_NE(dynamic_cast<TFbColumnInt64*>(&q.FieldByName("BI")), nullptr);
  EXPECT_EQ(q.FieldByName("BI").AsString(), "9000000000123");
  EXPECT_EQ(q.FieldByName("BI").AsInt64(), 9000000000123);
  EXPECT_THROW(q.FieldByName("BI").AsInteger(), EFbStatementError);  // no silent wrap-around
  EXPECT_NE(dynamic_cast<TFbColumnNumeric*>(&q.FieldByName("N152")), nullptr);
  EXPECT_EQ(q.FieldByName("N152").AsCurrency(), 12345600);
  EXPECT_EQ(q.FieldByName("N152").AsString(), "1234.56");
  EXPECT_EQ(q.FieldByName("N152").AsInteger(), 1234);
  EXPECT_EQ(q.FieldByName("D184").AsCurrency(), -987654);
  EXPECT_EQ(q.FieldByName("D184").AsInteger(), -98);
  EXPECT_EQ(q.FieldByName("N41").AsCurrency(), -123000);
  EXPECT_EQ(q.FieldByName("N41").AsString(), "-12.3");
  EXPECT_EQ(q.FieldByName("N186").AsCurrency(), 11235);  // 1.123457 rounded to four places
  EXPECT_NE(dynamic_cast<TFbColumnDouble*>(&q.FieldByName("DP")), nullptr);
  EXPECT_EQ(q.FieldByName("DP").AsCurrency(), 25000);
  EXPECT_EQ(q.FieldByName("DP").AsString(), "2.5");
  EXPECT_EQ(q.FieldByName("DP").AsInteger(), 2);
  EXPECT_NE(dynamic_cast<TFbColumnFloat*>(&q.FieldByName("FL")), nullptr);
  EXPECT_EQ(q.FieldByName("FL").AsCurrency(), 2500);
  EXPECT_NE(dynamic_cast<TFbColumnDate*>(&q.FieldByName("DT")), nullptr);
  EXPECT_EQ(q.FieldByName("DT").AsString(), "2026-12-08");
  EXPECT_NE(dynamic_cast<TFbColumnTime*>(&q.FieldByName("TM")), nullptr);
  EXPECT_EQ(q.FieldByName("TM").AsString(), "13:45:07.123");
  EXPECT_NE(dynamic_cast<TFbColumnTimeStamp*>(&q.FieldByName("TS")), nullptr);
  EXPECT_EQ(q.FieldByName("TS").AsString(), "2026-12-08 13:45:07");
  EXPECT_NE(dynamic_cast<TFbColumnBoolean*>(&q.FieldByName("BO")), nullptr);
  EXPECT_EQ(q.FieldByName("BO").AsString(), "TRUE");
  EXPECT_NE(dynamic_cast<TFbColumnMemo*>(&q.FieldByName("MEMO")), nullptr);
  EXPECT_EQ(q.FieldByName("MEMO").AsString(), "Memo com ç e 'aspas'");
  EXPECT_NE(dynamic_cast<TFbColumnBinary*>(&q.FieldByName("BIN")), nullptr);
  EXPECT_EQ(q.FieldByName("BIN").AsString(), "bin");
  for (int i = 0; i < q.Fields().Count(); ++i) EXPECT_FALSE(q.Fields()[i].IsNull()) << q.Fields()[i].Name();
  q.Next();
  EXPECT_TRUE(q.Eof());
}

TEST_F(FbQueryTest, NullsReadAsEmptyTextZeroAndUnknown) {
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT * FROM TIPOS WHERE ID = 2");
  q.Open();
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.FieldByName("VC").AsString(), "");  // only spaces
  EXPECT_FALSE(q.FieldByName("VC").IsNull());
  for (const char* name : {"C5", "SI", "I", "BI", "N152", "D184", "DP", "FL", "DT", "TM", "TS", "MEMO", "BIN"}) {
    TFbColumn& f = q.FieldByName(name);
    EXPECT_TRUE(f.IsNull()) << name;
    EXPECT_EQ(f.AsString(), "") << name;
    EXPECT_EQ(f.AsCurrency(), 0) << name;
    EXPECT_EQ(f.AsInteger(), 0) << name;
  }
  EXPECT_EQ(q.FieldByName("BO").AsString(), "UNKNOWN");
  q.Close();
  q.SQL().Clear();
  q.SQL().Add("SELECT BO FROM TIPOS WHERE ID = 3");
  q.Open();
  EXPECT_EQ(q.FieldByName("BO").AsString(), "FALSE");
}

TEST_F(FbQueryTest, EveryTypeWritesThroughParameters) {
  const std::string big = [] {
    std::string t;
    while (t.size() < 200000) t += "Linha com acentuação ç, aspas ' e número " + std::to_string(t.size()) + "\n";
    return t;
  }();
  TFbQuery ins(&s.conn, &s.rw);
  ins.SQL().Add("INSERT INTO TIPOS (ID, C5, VC, SI, I, BI, N152, D184, N41, DP, FL, DT, TM, TS, BO, MEMO, BIN)");
  ins.SQL().Add("VALUES (:ID, :C5, :VC, :SI, :I, :BI, :N152, :D184, :N41, :DP, :FL, :DT, :TM, :TS, :BO, :MEMO, :BIN)");
  ins.Prepare();
  auto& p = ins.Params();
  p.BeginUpdate();
  p.ParamByName("ID").SetAsInteger(10);
  p.ParamByName("C5").SetAsString("xy");
  p.ParamByName("VC").SetAsString("Olá, d'Ávila");
  p.ParamByName("SI").SetAsString("-7");
  p.ParamByName("I").SetAsInteger(42);
  p.ParamByName("BI").SetAsInt64(-9000000000123);
  p.ParamByName("N152").SetAsCurrency(123456789);  // 12345.6789 -> 12345.68
  p.ParamByName("D184").SetAsString("-1,5");
  p.ParamByName("N41").SetAsInteger(12);
  p.ParamByName("DP").SetAsCurrency(15000);
  p.ParamByName("FL").SetAsString("0.5");
  p.ParamByName("DT").SetAsString("29/02/2024");
  p.ParamByName("TM").SetAsString("23:59:58.5");
  p.ParamByName("TS").SetAsString("1999-12-31 23:59:59");
  p.ParamByName("BO").SetAsBoolean(true);
  p.ParamByName("MEMO").SetAsString(big);
  p.ParamByName("BIN").SetAsString(std::string("\0\1\2", 3));
  p.EndUpdate(true);
  ins.ExecSQL();

  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT * FROM TIPOS WHERE ID = 10");
  q.Open();
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.FieldByName("C5").AsString(), "xy");
  EXPECT_EQ(q.FieldByName("VC").AsString(), "Olá, d'Ávila");
  EXPECT_EQ(q.FieldByName("SI").AsInteger(), -7);
  EXPECT_EQ(q.FieldByName("I").AsInteger(), 42);
  EXPECT_EQ(q.FieldByName("BI").AsInt64(), -9000000000123);
  EXPECT_EQ(q.FieldByName("N152").AsString(), "12345.68");
  EXPECT_EQ(q.FieldByName("D184").AsString(), "-1.5000");
  EXPECT_EQ(q.FieldByName("N41").AsString(), "12.0");
  EXPECT_EQ(q.FieldByName("DP").AsString(), "1.5");
  EXPECT_EQ(q.FieldByName("FL").AsString(), "0.5");
  EXPECT_EQ(q.FieldByName("DT").AsString(), "2024-02-29");
  EXPECT_EQ(q.FieldByName("TM").AsString(), "23:59:58.5");
  EXPECT_EQ(q.FieldByName("TS").AsString(), "1999-12-31 23:59:59");
  EXPECT_EQ(q.FieldByName("BO").AsString(), "TRUE");
  EXPECT_EQ(q.FieldByName("MEMO").AsString(), big);
  EXPECT_EQ(q.FieldByName("BIN").AsString(), std::string("\0\1\2", 3));
  // The server holds the text in its own character set, not UTF-8 bytes.
  EXPECT_EQ(db.Scalar("SELECT OCTET_LENGTH(VC) FROM TIPOS WHERE ID = 10"), "12");
  EXPECT_EQ(db.Scalar("SELECT CHAR_LENGTH(MEMO) = " + std::to_string(platform::Utf8Length(big)) +
                      " FROM TIPOS WHERE ID = 10"),
            "<true>");
}

TEST_F(FbQueryTest, BadValuesAndUnknownNamesRaiseStatementErrors) {
  TFbQuery u(&s.conn, &s.rw);
  u.SQL().Add("UPDATE TIPOS SET I = :I, DT = :DT WHERE ID = :ID");
  u.Prepare();
  EXPECT_THROW(u.ParamByName("I").SetAsString("doze"), EFbStatementError);
  EXPECT_THROW(u.ParamByName("I").SetAsInt64(1LL << 40), EFbStatementError);
  EXPECT_THROW(u.ParamByName("DT").SetAsString("2026-02-30"), EFbStatementError);
  try {
    u.ParamByName("NADA");
    FAIL();
  } catch (const EFbStatementError& e) {
    EXPECT_STREQ(e.what(), "FieldName: NADA not found");
  }
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT ID FROM TIPOS");
  try {
    q.FieldByName("NOME");
    FAIL();
  } catch (const EFbStatementError& e) {
    EXPECT_STREQ(e.what(), "FieldName: NOME not found");
  }
  // A parameter whose type the server cannot say.
  TFbQuery n(&s.conn);
  n.SQL().Add("SELECT 1 FROM RDB$DATABASE WHERE ? IS NULL");
  try {
    n.Prepare();
    FAIL();
  } catch (const EFbStatementError& e) {
    EXPECT_STREQ(e.what(), "Unsupported column type: 32766");
  }
  TFbQuery blank(&s.conn);
  blank.SQL().Add("  ");
  try {
    blank.Open();
    FAIL();
  } catch (const EFbStatementError& e) {
    EXPECT_STREQ(e.what(), "Blank SQL statement not allowed");
  }
}

TEST_F(FbQueryTest, TextParametersAreTrimmedCutAndPadded) {
  TFbQuery u(&s.conn, &s.rw);
  u.SQL().Add("UPDATE TIPOS SET C5 = :C, VC = :V WHERE ID = 3");
  u.Prepare();
  u.ParamByName("C").SetAsString("ãbcdefgh");
  std::string many;
  for (int i = 0; i < 40; ++i) many += "é";
  u.ParamByName("V").SetAsString(many + "   ");
  u.ExecSQL();
  EXPECT_EQ(db.Scalar("SELECT C5 FROM TIPOS WHERE ID = 3"), "ãbcde");
  EXPECT_EQ(db.Scalar("SELECT VC FROM TIPOS WHERE ID = 3"), [] {
    std::string e;
    for (int i = 0; i < 30; ++i) e += "é";
    return e;
  }());
  u.ParamByName("C").SetAsString("");
  u.ParamByName("V").SetIsNull(true);
  u.ExecSQL();
  EXPECT_EQ(db.Scalar("SELECT '[' || C5 || ']' FROM TIPOS WHERE ID = 3"), "[     ]");  // empty, not NULL
  EXPECT_EQ(db.Scalar("SELECT VC FROM TIPOS WHERE ID = 3"), "<null>");
}

TEST_F(FbQueryTest, WalkingTheRowsAndTheEnd) {
  db.Run("INSERT INTO TIPOS (ID) SELECT 100 + RDB$RELATION_ID FROM RDB$RELATIONS ROWS 20;");
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT ID FROM TIPOS WHERE ID >= 100 ORDER BY ID");
  EXPECT_TRUE(q.IsEmpty());  // not open
  q.Open();
  EXPECT_FALSE(q.IsEmpty(20));
  EXPECT_TRUE(q.IsEmpty(21));
  q.First();
  int n = 0;
  while (!q.Eof()) {
    ++n;
    q.Next();
  }
  EXPECT_EQ(n, 20);
  try {
    q.Next();
    FAIL();
  } catch (const EFbDatasetError& e) {
    EXPECT_STREQ(e.what(), "At end of Dataset");
  }
  q.First();
  EXPECT_FALSE(q.Eof());
  EXPECT_EQ(q.RecNo(), 0);
  try {
    q.ExecSQL();
    FAIL();
  } catch (const EFbStatementError& e) {
    EXPECT_STREQ(e.what(), "Statement has already been opened");
  }
  q.Close();
  q.SQL().Clear();
  q.SQL().Add("SELECT ID FROM TIPOS WHERE ID < 0");
  q.Open();
  EXPECT_TRUE(q.Active());
  EXPECT_TRUE(q.Eof());
  EXPECT_TRUE(q.IsEmpty(1));
}

TEST_F(FbQueryTest, ChangingAParameterOfAnOpenQueryRunsItAgain) {
  db.Run("CREATE TABLE CX (CAIXA INTEGER, NOME VARCHAR(10));");
  db.Run("INSERT INTO CX VALUES (3, 'tres'); INSERT INTO CX VALUES (3, 'three'); INSERT INTO CX VALUES (4, 'quatro');");
  db.GrantAll();
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT NOME FROM CX WHERE CAIXA = :CAIXA ORDER BY NOME");
  q.Open();  // parameter unset: NULL, no rows
  EXPECT_TRUE(q.Eof());
  q.Params().ParamByName("CAIXA").SetAsInteger(3);
  EXPECT_TRUE(q.Active());
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.FieldByName("NOME").AsString(), "three");
  q.Next();
  // Several changes between BeginUpdate and EndUpdate: one re-run, at the end.
  q.Params().BeginUpdate();
  q.Params().ParamByName("CAIXA").SetAsInteger(4);
  EXPECT_EQ(q.FieldByName("NOME").AsString(), "tres");
  q.Params().EndUpdate(true);
  EXPECT_EQ(q.FieldByName("NOME").AsString(), "quatro");  // row 1 does not exist: the last one
  q.RefreshOnParamChange = false;
  q.Params().ParamByName("CAIXA").SetAsInteger(3);
  EXPECT_EQ(q.FieldByName("NOME").AsString(), "quatro");
  q.Close();
  q.Open();
  EXPECT_EQ(q.FieldByName("NOME").AsString(), "three");  // values stay set across Close
}

TEST_F(FbQueryTest, ARepeatedParameterNameTakesOneValue) {
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT COUNT(*) AS N FROM TIPOS WHERE ID = :X OR ID = :X + 1 OR ID = :Y");
  q.Prepare();
  EXPECT_EQ(q.Params().Count(), 3);
  q.ParamByName("X").SetAsInteger(1);
  q.ParamByName("Y").SetAsString("3");
  q.Open();
  EXPECT_EQ(q.FieldByName("N").AsInteger(), 3);
}

TEST_F(FbQueryTest, AutomaticCommitsRetainWithinTheOldestActiveLimit) {
  platform::ManualClock clock;
  s.rw.Clock = &clock;
  TFbQuery u(&s.conn, &s.rw);
  TFbQuery t(&s.conn, &s.rw);
  t.SQL().Add("SELECT CURRENT_TRANSACTION AS T FROM RDB$DATABASE");
  auto transactionId = [&] {
    t.Close();
    t.Open();
    return t.FieldByName("T").AsInt64();
  };
  u.SQL().Add("UPDATE TIPOS SET I = I + 1 WHERE ID = :ID");
  u.Prepare();
  u.ParamByName("ID").SetAsInteger(1);
  u.ExecSQL();  // starts the transaction and commits retaining
  const auto first = transactionId();
  EXPECT_EQ(s.rw.RetainingCommits, 1);
  t.Close();  // no open cursor: only the active time decides
  clock.Advance(4800);
  u.ParamByName("ID").SetAsInteger(999);  // no row: still a data change
  u.ExecSQL();
  EXPECT_EQ(s.rw.RetainingCommits, 2);
  EXPECT_EQ(s.rw.HardCommits, 0);
  EXPECT_EQ(transactionId(), first);
  t.Close();
  clock.Advance(200);  // 5 s after the start: more than 5 / 88400 of a day
  u.ExecSQL();
  EXPECT_EQ(s.rw.HardCommits, 1);
  EXPECT_FALSE(s.rw.Started());
  EXPECT_GT(transactionId(), first);
  EXPECT_EQ(db.Scalar("SELECT I FROM TIPOS WHERE ID = 1"), "123457");
  // With a cursor open on the transaction the commit keeps it.
  t.Close();
  t.Open();
  clock.Advance(60000);
  u.ParamByName("ID").SetAsInteger(1);
  u.ExecSQL();
  EXPECT_EQ(s.rw.HardCommits, 1);
  EXPECT_TRUE(t.Active());
}

TEST_F(FbQueryTest, ASelectNeverCommitsButTheOldestActiveCheckDoes) {
  platform::ManualClock clock;
  s.ro.Clock = &clock;
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT ID FROM TIPOS ORDER BY ID");
  q.Open();
  while (!q.Eof()) q.Next();
  EXPECT_EQ(s.ro.HardCommits + s.ro.RetainingCommits, 0);
  EXPECT_TRUE(s.ro.Started());
  clock.Advance(5000);
  q.Close();
  q.Open();
  q.Next();  // moving re-checks; the cursor is still open: nothing
  EXPECT_EQ(s.ro.HardCommits, 0);
  while (!q.Eof()) q.Next();  // the end closes the cursor: hard commit
  EXPECT_EQ(s.ro.HardCommits, 1);
  EXPECT_FALSE(s.ro.Started());
  q.First();
  EXPECT_EQ(q.FieldByName("ID").AsInteger(), 1);  // fetched rows stay readable
}

TEST_F(FbQueryTest, CommitActionDecidesWhatAnOpenCursorKeeps) {
  db.Run("INSERT INTO TIPOS (ID) SELECT 100 + RDB$RELATION_ID FROM RDB$RELATIONS ROWS 50;");
  TFbTransaction manual(&s.conn);
  TFbQuery keep(&s.conn, &manual), drop(&s.conn, &manual);
  keep.CommitAction = caInvalidateCursor;
  for (auto* q : {&keep, &drop}) {
    q->SQL().Add("SELECT ID FROM TIPOS ORDER BY ID");
    q->Open();
    q->Next();
  }
  manual.Commit();
  EXPECT_FALSE(drop.Active());
  EXPECT_TRUE(keep.Active());
  EXPECT_FALSE(keep.CursorOpen());
  EXPECT_EQ(keep.FieldByName("ID").AsInteger(), 2);
  int rows = 2;
  for (keep.Next(); !keep.Eof(); keep.Next()) ++rows;
  EXPECT_EQ(rows, keep.BufferedRows());
  EXPECT_LT(rows, 53);  // only what was fetched before the commit
}

TEST_F(FbQueryTest, DetachingCommitsAutoCommitAndRollsBackTheRest) {
  TFbTransaction manual(&s.conn);
  TFbQuery u1(&s.conn, &manual);
  u1.SQL().Add("UPDATE TIPOS SET VC = 'perdido' WHERE ID = 2");
  u1.ExecSQL();
  EXPECT_TRUE(manual.HasUncommittedChanges());
  TFbQuery q(&s.conn, &s.rw);
  q.SQL().Add("SELECT ID FROM TIPOS");
  q.Open();  // an open cursor on the read-write transaction
  s.conn.Disconnect();
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  EXPECT_EQ(s.rw.HardCommits, 1);
  EXPECT_EQ(db.Scalar("SELECT '[' || VC || ']' FROM TIPOS WHERE ID = 2"), "[   ]");
  s.conn.Disconnect();  // nothing to do
  // The same objects work on the next connect (the query prepares again).
  s.conn.Connect();
  s.conn.Connect();  // already attached: nothing
  q.Open();
  EXPECT_FALSE(q.Eof());
}

TEST_F(FbQueryTest, ErrorsRaisedByTriggersAndProceduresCarryTheirOwnText) {
  db.Run("CREATE EXCEPTION E_CAIXA 'Caixa fechado';\n"
         "SET TERM ^;\n"
         "CREATE PROCEDURE P_FALHA AS BEGIN EXCEPTION E_CAIXA; END^\n"
         "SET TERM ;^\n"
         "GRANT USAGE ON EXCEPTION E_CAIXA TO PROCEDURE P_FALHA;\n"
         "GRANT EXECUTE ON PROCEDURE P_FALHA TO USUARIO;");
  TFbQuery p(&s.conn, &s.rw);
  p.SQL().Add("EXECUTE PROCEDURE P_FALHA");
  try {
    p.ExecSQL();
    FAIL();
  } catch (const EFbISCError& e) {
    EXPECT_EQ(e.SQLCode, -836);
    EXPECT_STREQ(e.what(), "Caixa fechado") << e.ErrorMessage.size();
  }
}

TEST_F(FbQueryTest, ChangingTheConnectionSettingsWhileAttachedIsRefused) {
  s.conn.Connect();
  const auto before = s.conn.Params.Lines();
  try {
    s.conn.SetUsername("OUTRO");
    FAIL();
  } catch (const EFbConnectionError& e) {
    EXPECT_STREQ(e.what(), "Cannot change while connected");
  }
  EXPECT_EQ(s.conn.Params.Lines(), before);
  EXPECT_EQ(s.conn.CharSet(), "ISO8859_1");
  EXPECT_EQ(s.conn.SQLDialect(), 3);
  EXPECT_EQ(s.conn.Status(), csConnected);
}

TEST_F(FbQueryTest, WithoutACharacterSetTheDatabaseDefaultIsUsed) {
  s.conn.Params.SetValue("CHARACTER SET", "");
  std::vector<std::string> events;
  s.conn.BeforeConnect = [&](TFbConnection& c) { events.push_back("before " + std::to_string(c.Status())); };
  s.conn.AfterConnect = [&](TFbConnection& c) { events.push_back("after " + std::to_string(c.Status())); };
  s.conn.AfterDisconnect = [&](TFbConnection& c) { events.push_back("gone " + std::to_string(c.Status())); };
  s.conn.Open();
  EXPECT_EQ(s.conn.CharSet(), "ISO8859_1");
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT VC FROM TIPOS WHERE ID = 1");
  q.Open();
  EXPECT_EQ(q.FieldByName("VC").AsString(), "Conexão d'água");
  s.conn.Close();
  EXPECT_EQ(events, (std::vector<std::string>{"before 3", "after 1", "gone 0"}));
}

TEST_F(FbQueryTest, ATransactionOfAnotherConnectionIsRefused) {
  ServiceLikeConnection other(db);
  TFbQuery q(&s.conn, &other.rw);
  q.SQL().Add("SELECT ID FROM TIPOS");
  try {
    q.Open();
    FAIL();
  } catch (const EFbStatementError& e) {
    EXPECT_STREQ(e.what(), "Transaction is not valid for the current connection");
  }
}

TEST_F(FbQueryTest, ObjectsMayBeDestroyedInAnyOrder) {
  auto conn = std::make_unique<TFbConnection>();
  ConfigureLikeService(*conn, db);
  auto tr = std::make_unique<TFbTransaction>(conn.get());
  tr->SetAutoCommit(true);
  conn->DefaultTransaction = tr.get();
  auto q1 = std::make_unique<TFbQuery>(conn.get());
  auto q2 = std::make_unique<TFbQuery>(conn.get(), tr.get());
  for (auto* q : {q1.get(), q2.get()}) {
    q->SQL().Add("SELECT ID FROM TIPOS");
    q->Open();
  }
  tr.reset();  // closes the cursors on it
  EXPECT_FALSE(q2->Active());
  conn.reset();  // detaches; the queries forget it
  EXPECT_FALSE(q1->Active());
  EXPECT_THROW(q1->Open(), EFbStatementError);
  q1.reset();
  q2.reset();
}

// Databases made with each of the shops' character sets, holding the
// Windows-1252 bytes their programs store (’, € and Œ are not in ISO 8859-1).
// A WIN1252 database is attached with WIN1252 when the connection is told to
// follow it, again on the next attach; every text reads as those programs
// meant it and goes back as the same bytes.
TEST(FbCharSets, TextReadsAndWritesAsTheShopsProgramsStoreIt) {
  const std::string text = "D’Ávila € Œ";
  const std::string hex = "4492C176696C612080208C";  // its Windows-1252 bytes
  struct Case {
    const char* database;
    const char* connection;
  };
  for (const Case& c : {Case{"ISO8859_1", "ISO8859_1"}, Case{"WIN1252", "WIN1252"}, Case{"NONE", "ISO8859_1"}}) {
    SCOPED_TRACE(c.database);
    FirebirdDb db(
        "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, VC VARCHAR(20), MEMO BLOB SUB_TYPE TEXT);\n"
        "INSERT INTO T VALUES (1, x'" + hex + "', x'" + hex + "');\n",
        "pagvigia-fb", c.database);
    ServiceLikeConnection s(db);
    s.conn.DatabaseCharSetsUsed = {"WIN1252"};
    for (int attach = 0; attach < 2; ++attach) {
      s.conn.Connect();
      EXPECT_EQ(s.conn.CharSet(), c.connection);
      s.conn.Disconnect();
    }
    s.conn.Connect();
    TFbQuery u(&s.conn, &s.rw);
    u.SQL().Add("INSERT INTO T VALUES (2, :VC, :MEMO)");
    u.Prepare();
    u.Params().ParamByName("VC").SetAsString(text);
    u.Params().ParamByName("MEMO").SetAsString(text);
    u.ExecSQL();
    TFbQuery q(&s.conn);
    q.SQL().Add("SELECT VC, MEMO FROM T ORDER BY ID");
    q.Open();
    for (int row = 1; row <= 2; ++row, q.Next()) {
      ASSERT_FALSE(q.Eof());
      EXPECT_EQ(q.FieldByName("VC").AsString(), text);
      EXPECT_EQ(q.FieldByName("MEMO").AsString(), text);
    }
    q.Close();
    s.conn.Disconnect();
    for (const char* column : {"VC", "MEMO"})
      EXPECT_EQ(db.Scalar(std::string("SELECT CAST(") + column + " AS VARCHAR(20) CHARACTER SET OCTETS) FROM T WHERE ID = 2"),
                hex)
          << column;
  }
}

// A column in another character set than the connection's takes what both
// sets hold: the characters the server will not carry from one into the
// other arrive as "?", the write goes through, and the parameter says so.
// (An ISO8859_1 connection carries “ ” – € as Windows-1252 bytes, which a
// WIN1252 column reads as other characters; a WIN1252 connection carries
// them as characters ISO 8859-1 lacks.) Characters that neither connection
// set holds are "?" before they leave. A parameter sent as octets reaches a
// UTF8 or UNICODE_FSS column (or text BLOB) whole from an ISO8859_1
// connection; that connection cannot read "€" from it, so it reads the
// column back as octets.
TEST(FbCharSets, TextAColumnCannotHoldIsWrittenWithQuestionMarks) {
  FirebirdDb db(
      "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, LATIN VARCHAR(20) CHARACTER SET ISO8859_1,\n"
      "  WIN CHAR(20) CHARACTER SET WIN1252, UNI VARCHAR(20) CHARACTER SET UTF8,\n"
      "  FSS VARCHAR(20) CHARACTER SET UNICODE_FSS, MEMO BLOB SUB_TYPE TEXT CHARACTER SET UTF8);\n"
      "INSERT INTO T (ID) VALUES (1);\n");
  const std::string text = "“Ação” – €5";
  struct Case {
    const char* connection;
    const char* column;
    std::string written;
    std::string stored;
    bool substituted;
    int octets = -1;  // the most bytes the parameter is sent as octets with
  };
  for (const Case& c : {Case{"ISO8859_1", "WIN", text, "?Ação? ? ?5", true},
                        Case{"WIN1252", "LATIN", text, "?Ação? ? ?5", true},
                        Case{"WIN1252", "UNI", text, text, false},
                        Case{"ISO8859_1", "LATIN", "€ → ç", "€ ? ç", true},
                        Case{"ISO8859_1", "UNI", text, text, false, 80},
                        Case{"ISO8859_1", "FSS", text, text, false, 60},
                        Case{"ISO8859_1", "MEMO", text, text, false, 0}}) {
    SCOPED_TRACE(std::string(c.connection) + " into " + c.column);
    const std::string column = c.column;
    ServiceLikeConnection s(db);
    s.conn.Params.SetValue("CHARACTER SET", c.connection);
    TFbQuery u(&s.conn, &s.rw);
    u.SQL().Add("UPDATE T SET " + column + " = :V WHERE ID = 1");
    if (c.octets >= 0) u.SetParametroOctetos("V", c.octets);
    u.Prepare();
    u.Params().ParamByName("V").SetAsString(c.written);
    ASSERT_NO_THROW(u.ExecSQL());
    EXPECT_EQ(u.Params().ParamByName("V").Substituido(), c.substituted);
    TFbQuery q(&s.conn);
    q.SQL().Add(c.octets < 0 ? "SELECT " + column + " FROM T WHERE ID = 1"
                             : "SELECT CAST(" + column + " AS VARCHAR(80) CHARACTER SET OCTETS) AS " + column +
                                   " FROM T WHERE ID = 1");
    q.Open();
    EXPECT_EQ(q.FieldByName(column).AsString(), c.stored);
    q.Close();
    s.conn.Disconnect();
    // What another program sees (the LATIN column holds Windows-1252 bytes).
    const bool unicode = column == "UNI" || column == "FSS" || column == "MEMO";
    const std::string octets = unicode ? c.stored : platform::Utf8ToCp1252(c.stored);
    EXPECT_EQ(db.Scalar("SELECT CAST(TRIM(" + column + ") AS VARCHAR(40) CHARACTER SET OCTETS) FROM T"), Hex(octets));
  }
}

}  // namespace
}  // namespace pagvigia::testing
