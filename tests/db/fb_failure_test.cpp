// The failures a shop meets, against the real server: each gives the
// exception the layer promises, with the server's own message, and leaves
// the objects usable for the next connect.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/db/db_fixture.h"

namespace pagvigia::testing {
namespace {

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// The message layout every server error has.
void ExpectIscMessage(const EFbISCError& e, std::int64_t code, const std::string& serverText) {
  const std::string m = e.what();
  EXPECT_EQ(e.ErrCode, code) << m;
  EXPECT_EQ(m.rfind("ISC ERROR CODE:" + std::to_string(code) + "\r\n\r\nISC ERROR MESSAGE:\r\n", 0), 0u) << m;
  EXPECT_TRUE(Contains(m, serverText)) << m;
  EXPECT_EQ(m.substr(m.size() - 4), "\r\n\r\n") << m;  // the interpreter's last, empty line
  ASSERT_GE(e.ErrorMessage.size(), 4u);
  EXPECT_EQ(e.ErrorMessage[0], "ISC ERROR CODE:" + std::to_string(code));
  EXPECT_EQ(e.ErrorMessage[1], "");
  EXPECT_EQ(e.ErrorMessage[2], "ISC ERROR MESSAGE:");
  EXPECT_FALSE(e.ErrorCodes.empty());
}

class FbFailureTest : public ::testing::Test {
 protected:
  FbFailureTest()
      : db("CREATE TABLE MFE (ID INTEGER NOT NULL PRIMARY KEY, IDPAG VARCHAR(20));\n"
           "INSERT INTO MFE VALUES (1, '0');\n"
           "INSERT INTO MFE VALUES (2, '0');\n"),
        s(db) {}

  // Connects and runs one SELECT, proving the objects work.
  void ExpectUsable(ServiceLikeConnection& c) {
    c.conn.Connect();
    ASSERT_TRUE(c.conn.Connected());
    TFbQuery q(&c.conn);
    q.SQL().Add("SELECT COUNT(*) AS N FROM MFE");
    q.Open();
    EXPECT_GE(q.FieldByName("N").AsInteger(), 2);
  }

  FirebirdDb db;
  ServiceLikeConnection s;
};

TEST_F(FbFailureTest, ServerDownWrongPasswordAndMissingFileFailTheConnect) {
  s.conn.SetServer(db.host() + "/3059");  // nobody listens there
  try {
    s.conn.Connect(false);
    FAIL();
  } catch (const EFbISCError& e) {
    ExpectIscMessage(e, 335544721, "Unable to complete network request to host");
    EXPECT_TRUE(e.IsLostConnection());
    EXPECT_EQ(e.Sender, &s.conn);
  }
  EXPECT_FALSE(s.conn.Connected());
  EXPECT_EQ(s.conn.Status(), csConnectPending);
  s.conn.Disconnect();  // harmless

  s.conn.SetServer(db.host());
  s.conn.SetPassword("errada");
  try {
    s.conn.Connect(false);
    FAIL();
  } catch (const EFbISCError& e) {
    ExpectIscMessage(e, 335544472, "Your user name and password are not defined");
    EXPECT_EQ(e.SQLCode, -902);
    ASSERT_EQ(e.SQLMessage.size(), 4u);
    EXPECT_EQ(e.SQLMessage[0], "SQL ERROR CODE:-902");
  }
  EXPECT_FALSE(s.conn.Connected());

  s.conn.SetPassword(FirebirdDb::kPassword);
  s.conn.SetPath(db.folder() + "/NAOEXISTE.FDB");
  try {
    s.conn.Connect(false);
    FAIL();
  } catch (const EFbISCError& e) {
    ExpectIscMessage(e, 335544344, "NAOEXISTE.FDB");
  }
  EXPECT_FALSE(s.conn.Connected());

  s.conn.SetPath("srv:C:\\X.FDB");
  EXPECT_THROW(s.conn.Connect(false), EFbConnectionError);

  s.conn.SetPath(db.path());
  ExpectUsable(s);
}

TEST_F(FbFailureTest, MissingTableAndColumnAreServerErrorsAndTheQueryStaysUsable) {
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT ID FROM NAOEXISTE");
  try {
    q.Open();
    FAIL();
  } catch (const EFbISCError& e) {
    ExpectIscMessage(e, 335544569, "Table unknown");
    EXPECT_TRUE(Contains(e.what(), "NAOEXISTE"));
    EXPECT_EQ(e.SQLCode, -204);
    EXPECT_EQ(e.Sender, &q);
  }
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  q.SQL().Clear();
  q.SQL().Add("UPDATE MFE SET NAOEXISTE = 1");
  try {
    q.ExecSQL();
    FAIL();
  } catch (const EFbISCError& e) {
    ExpectIscMessage(e, 335544569, "Column unknown");
  }
  q.SQL().Clear();
  q.SQL().Add("SELECT COUNT(*) AS N FROM MFE");
  q.Open();
  EXPECT_EQ(q.FieldByName("N").AsInteger(), 2);
}

TEST_F(FbFailureTest, AnUpdateOnTheReadOnlyTransactionIsRefused) {
  TFbQuery q(&s.conn);  // the default, read-only transaction
  q.SQL().Add("UPDATE MFE SET IDPAG = '5' WHERE ID = 1");
  try {
    q.ExecSQL();
    FAIL();
  } catch (const EFbISCError& e) {
    ExpectIscMessage(e, 335544361, "attempted update during read-only transaction");
  }
  q.SQL().Clear();
  q.SQL().Add("SELECT IDPAG FROM MFE WHERE ID = 1");
  q.Open();
  EXPECT_EQ(q.FieldByName("IDPAG").AsString(), "0");
  s.conn.Disconnect();
  EXPECT_FALSE(s.conn.Connected());
}

TEST_F(FbFailureTest, ALockConflictBetweenTwoConnections) {
  ServiceLikeConnection other(db);
  TFbTransaction holding(&other.conn);  // no automatic commit: keeps its lock
  TFbQuery hold(&other.conn, &holding);
  hold.SQL().Add("UPDATE MFE SET IDPAG = 'outro' WHERE ID = 1");
  hold.ExecSQL();

  TFbQuery u(&s.conn, &s.rw);
  u.SQL().Add("UPDATE MFE SET IDPAG = :IDPAGAMENTO WHERE ID = :ID");
  u.Prepare();
  u.ParamByName("IDPAGAMENTO").SetAsString("77");
  u.ParamByName("ID").SetAsInteger(1);
  try {
    u.ExecSQL();
    FAIL();
  } catch (const EFbISCError& e) {
    // Firebird 3 reports a read-committed no-wait conflict as an update conflict.
    ExpectIscMessage(e, 335544336, "update conflicts with concurrent update");
    EXPECT_FALSE(e.IsLostConnection());
  }
  other.conn.Disconnect();  // rolls the holder back
  EXPECT_FALSE(holding.Started());
  u.ExecSQL();
  EXPECT_EQ(db.Scalar("SELECT IDPAG FROM MFE WHERE ID = 1"), "77");
}

TEST_F(FbFailureTest, TheAttachmentEndedWhileAQueryIsOpen) {
  db.Run("INSERT INTO MFE SELECT 1000 + ROW_NUMBER() OVER (), 'x' FROM RDB$FIELDS A, RDB$FIELDS B ROWS 20000;");
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT ID, IDPAG FROM MFE ORDER BY ID");
  q.Open();
  TFbQuery me(&s.conn);
  me.SQL().Add("SELECT CURRENT_CONNECTION AS ID FROM RDB$DATABASE");
  me.Open();
  const std::string id = me.FieldByName("ID").AsString();
  me.Close();

  db.Run("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id + ";");
  bool raised = false;
  try {
    for (int i = 0; i < 25000 && !q.Eof(); ++i) q.Next();
  } catch (const EFbISCError& e) {
    raised = true;
    EXPECT_TRUE(e.IsLostConnection()) << e.what();
    EXPECT_TRUE(Contains(e.what(), "connection shutdown") || Contains(e.what(), "connection lost")) << e.what();
  }
  EXPECT_TRUE(raised);
  EXPECT_TRUE(s.conn.ConnectionLost);
  // No further call goes to an attachment known to be gone: it fails at once
  // with the server's message.
  try {
    q.Next();
    FAIL();
  } catch (const EFbConnectionError& e) {
    EXPECT_TRUE(Contains(e.what(), "ISC ERROR CODE:335544")) << e.what();
  }
  // Ending the cycle works, and so does the next one.
  q.Close();
  EXPECT_NO_THROW(s.conn.Disconnect());
  EXPECT_FALSE(s.conn.Connected());
  ExpectUsable(s);
  q.Open();
  EXPECT_FALSE(q.Eof());
}

TEST_F(FbFailureTest, TheAttachmentEndedBetweenTwoStatements) {
  TFbQuery u(&s.conn, &s.rw);
  u.SQL().Add("UPDATE MFE SET IDPAG = '1' WHERE ID = 2");
  u.ExecSQL();
  TFbQuery me(&s.conn, &s.rw);
  me.SQL().Add("SELECT CURRENT_CONNECTION AS ID FROM RDB$DATABASE");
  me.Open();
  const std::string id = me.FieldByName("ID").AsString();
  db.Run("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id + ";");
  EXPECT_THROW(u.ExecSQL(), EFbISCError);
  EXPECT_THROW(u.ExecSQL(), EFbConnectionError);
  // Detaching does not raise: the server has ended the transactions already.
  EXPECT_NO_THROW(s.conn.Disconnect());
  EXPECT_EQ(db.Scalar("SELECT IDPAG FROM MFE WHERE ID = 2"), "1");  // the committed change stays
  ExpectUsable(s);
  u.ExecSQL();
}

TEST_F(FbFailureTest, TheTransactionBlockMustFitItsConfiguredLength) {
  s.rw.TPBLength = 4;
  TFbQuery u(&s.conn, &s.rw);
  u.SQL().Add("UPDATE MFE SET IDPAG = '1' WHERE ID = 2");
  try {
    u.ExecSQL();
    FAIL();
  } catch (const EFbError& e) {
    EXPECT_STREQ(e.what(), "TPB buffer overrun: Increase TPBLength setting to at least 5.");
  }
  s.rw.TPBLength = 1024;
  u.ExecSQL();
}

TEST_F(FbFailureTest, AMissingClientLibraryIsAClearConnectError) {
  TFbClientLib missing;
  missing.SearchNames = {"libfbclient-nao.so.9"};
  s.conn.ClientLib = &missing;
  try {
    s.conn.Connect(false);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to load client library: libfbclient-nao.so.9");
  }
  EXPECT_FALSE(s.conn.Connected());
  s.conn.ClientLib = &TFbClientLib::Instance();
  ExpectUsable(s);
}

}  // namespace
}  // namespace pagvigia::testing
