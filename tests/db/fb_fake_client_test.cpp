// Failure paths of the database layer that a real server rarely shows, driven
// through a fake client library: a query that outlives its transaction, a
// BLOB that cannot be closed, a detach after a commit and a rollback that
// both fail, a statement type whose length does not fit, and the older error
// interpreter walking a full status vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/fb_connection.h"
#include "db/fb_private.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"

namespace pagvigia::testing {
namespace {

constexpr ISC_STATUS kLockConflict = 335544345;

// What the fake client does, and what it saw.
struct FakeState {
  int stmtType = isc_info_sql_stmt_select;
  short typeLength = 4;
  bool blobField = false;
  bool blobParam = false;
  int rowsLeft = 0;
  bool failCommit = false;
  bool failRollback = false;
  bool failCloseBlob = false;
  // When not empty, the execution fails with exactly this vector.
  std::vector<ISC_STATUS> executeError;

  int detaches = 0;
  int cancels = 0;
  short widestInteger = 0;
  int interpretedWords = 0;
};
FakeState F;

ISC_STATUS Fail(ISC_STATUS* st, ISC_STATUS code) {
  st[0] = isc_arg_gds;
  st[1] = code;
  st[2] = isc_arg_end;
  return code;
}

void Describe(XSQLDA* da, bool blob) {
  da->sqld = blob ? 1 : 0;
  if (!blob || da->sqln < 1) return;
  XSQLVAR& v = da->sqlvar[0];
  v.sqltype = SQL_BLOB;
  v.sqlsubtype = 1;
  v.sqllen = 8;
  std::memcpy(v.aliasname, "B", 2);
  v.aliasname_length = 1;
}

TFbClientApi FakeApi() {
  TFbClientApi a;
  a.isc_attach_database = [](auto, auto, auto, auto h, auto, auto) -> ISC_STATUS { return *h = 1, 0; };
  a.isc_detach_database = [](auto, auto h) -> ISC_STATUS { return ++F.detaches, *h = 0, 0; };
  a.isc_database_info = [](auto, auto, auto, auto, auto, auto buf) -> ISC_STATUS { return buf[0] = isc_info_end, 0; };
  a.isc_start_multiple = [](auto, auto tr, auto, auto) -> ISC_STATUS { return *tr = 5, 0; };
  a.isc_commit_transaction = [](auto st, auto tr) -> ISC_STATUS {
    return F.failCommit ? Fail(st, kLockConflict) : (*tr = 0, 0);
  };
  a.isc_commit_retaining = [](auto, auto) -> ISC_STATUS { return 0; };
  a.isc_rollback_transaction = [](auto st, auto tr) -> ISC_STATUS {
    return F.failRollback ? Fail(st, kLockConflict) : (*tr = 0, 0);
  };
  a.isc_dsql_allocate_statement = [](auto, auto, auto s) -> ISC_STATUS { return *s = 7, 0; };
  a.isc_dsql_prepare = [](auto, auto, auto, auto, auto, auto, XSQLDA* out) -> ISC_STATUS {
    return Describe(out, F.blobField), 0;
  };
  a.isc_dsql_describe = [](auto, auto, auto, XSQLDA* out) -> ISC_STATUS { return Describe(out, F.blobField), 0; };
  a.isc_dsql_describe_bind = [](auto, auto, auto, XSQLDA* in) -> ISC_STATUS { return Describe(in, F.blobParam), 0; };
  a.isc_dsql_execute = [](ISC_STATUS* st, auto, auto, auto, auto) -> ISC_STATUS {
    if (F.executeError.empty()) return 0;
    std::copy(F.executeError.begin(), F.executeError.end(), st);
    return st[1];
  };
  a.isc_dsql_execute2 = [](auto, auto, auto, auto, auto, auto) -> ISC_STATUS { return 0; };
  a.isc_dsql_fetch = [](auto, auto, auto, const XSQLDA* out) -> ISC_STATUS {
    if (F.rowsLeft == 0) return 100;
    --F.rowsLeft;
    for (int i = 0; i < out->sqld; ++i) {
      *out->sqlvar[i].sqlind = 0;
      std::memset(out->sqlvar[i].sqldata, 1, 8);
    }
    return 0;
  };
  a.isc_dsql_free_statement = [](auto, auto, auto) -> ISC_STATUS { return 0; };
  a.isc_dsql_sql_info = [](auto, auto, auto, const ISC_SCHAR* items, short size, ISC_SCHAR* buf) -> ISC_STATUS {
    std::memset(buf, 0, static_cast<std::size_t>(size));
    if (items[0] != isc_info_sql_stmt_type) return buf[0] = isc_info_end, 0;
    buf[0] = isc_info_sql_stmt_type;
    buf[1] = static_cast<char>(F.typeLength & 0xFF);
    buf[2] = static_cast<char>((F.typeLength >> 8) & 0xFF);
    for (int i = 0; i < 4; ++i) buf[3 + i] = static_cast<char>((F.stmtType >> (8 * i)) & 0xFF);
    buf[7] = isc_info_end;
    return 0;
  };
  a.isc_vax_integer = [](const ISC_SCHAR* p, short len) -> ISC_LONG {
    F.widestInteger = std::max(F.widestInteger, len);
    ISC_LONG v = 0;
    for (short i = 0; i < len && i < 4; ++i) v |= static_cast<ISC_LONG>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
  };
  a.isc_interprete = [](ISC_SCHAR* buf, ISC_STATUS** p) -> ISC_LONG {
    // One text per cluster, as the older interpreter gives them.
    ISC_STATUS* v = *p;
    if (v[0] == isc_arg_end) return 0;
    const std::string text = "erro " + std::to_string(v[1]);
    std::memcpy(buf, text.c_str(), text.size() + 1);
    F.interpretedWords += 2;
    *p = v + 2;
    return static_cast<ISC_LONG>(text.size());
  };
  a.isc_sqlcode = [](auto) -> ISC_LONG { return -901; };
  a.isc_sql_interprete = [](short, ISC_SCHAR* buf, short) { std::strcpy(buf, "fake"); };
  a.isc_open_blob2 = [](auto, auto, auto, auto bh, auto, auto, auto) -> ISC_STATUS { return *bh = 9, 0; };
  a.isc_create_blob2 = [](auto, auto, auto, auto bh, auto, auto, auto) -> ISC_STATUS { return *bh = 9, 0; };
  a.isc_get_segment = [](ISC_STATUS* st, auto, auto got, auto, auto) -> ISC_STATUS {
    *got = 0;
    return Fail(st, isc_segstr_eof);
  };
  a.isc_put_segment = [](auto, auto, auto, auto) -> ISC_STATUS { return 0; };
  a.isc_close_blob = [](auto st, auto bh) -> ISC_STATUS {
    return F.failCloseBlob ? Fail(st, kLockConflict) : (*bh = 0, 0);
  };
  a.isc_cancel_blob = [](auto, auto bh) -> ISC_STATUS { return ++F.cancels, *bh = 0, 0; };
  return a;  // fb_interpret stays unbound: the older interpreter serves
}

class FbFakeClientTest : public ::testing::Test {
 protected:
  FbFakeClientTest() {
    F = FakeState{};
    lib.Substitute(FakeApi());
    conn.ClientLib = &lib;
    for (const char* line : {"CHARACTER SET=ISO8859_1", "PROTOCOL=TCP/IP", "USER NAME=SYSDBA", "SERVER=fake",
                             "PATH=/fake.fdb", "SQL DIALECT=3"})
      conn.Params.Add(line);
    conn.DefaultTransaction = &ro;
    ro.SetAutoCommit(true);
    rw.SetAutoCommit(true);
    conn.Connect(false);
  }

  TFbClientLib lib;
  TFbConnection conn{"Fake"};
  TFbTransaction ro{&conn};
  TFbTransaction rw{&conn};
};

TEST_F(FbFakeClientTest, AQueryThatOutlivesItsTransactionRunsInTheDefaultOne) {
  auto own = std::make_unique<TFbTransaction>(&conn);
  TFbQuery q(&conn, own.get());
  q.SQL().Add("SELECT B FROM T");
  own.reset();
  EXPECT_EQ(q.FbTransaction(), nullptr);
  q.Open();
  EXPECT_EQ(q.EffectiveTransaction(), &ro);
  EXPECT_TRUE(ro.Started());
}

TEST_F(FbFakeClientTest, ABlobThatCannotBeClosedIsCancelled) {
  struct Case {
    const char* what;
    bool param;
  } cases[] = {{"written parameter", true}, {"read field", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    F = FakeState{};
    F.failCloseBlob = true;
    F.blobParam = c.param;
    F.blobField = !c.param;
    F.rowsLeft = 1;
    F.stmtType = c.param ? isc_info_sql_stmt_update : isc_info_sql_stmt_select;
    TFbQuery q(&conn, &rw);
    q.SQL().Add(c.param ? "UPDATE T SET B = :B" : "SELECT B FROM T");
    q.Prepare();
    if (c.param) q.ParamByName("B").SetAsString("texto");
    EXPECT_THROW(c.param ? q.ExecSQL() : q.Open(), EFbISCError);
    EXPECT_EQ(F.cancels, 1);
  }
}

TEST_F(FbFakeClientTest, AFailedCommitAndRollbackStillReleaseTheAttachment) {
  F.stmtType = isc_info_sql_stmt_update;
  TFbQuery u(&conn, &rw);
  u.SQL().Add("UPDATE T SET A = 1");
  u.ExecSQL();  // committed with retaining: the transaction stays started
  ASSERT_TRUE(rw.Started());
  F.failCommit = true;
  F.failRollback = true;
  EXPECT_THROW(conn.Disconnect(), EFbISCError);
  EXPECT_FALSE(conn.Connected());
  EXPECT_EQ(conn.Status(), csDisconnected);
  EXPECT_EQ(F.detaches, 1);
  EXPECT_FALSE(rw.Started());
  // The next cycle attaches afresh.
  F.failCommit = F.failRollback = false;
  conn.Connect(false);
  u.ExecSQL();
}

TEST_F(FbFakeClientTest, AStatementTypeThatDoesNotFitIsUnknown) {
  struct Case {
    short length;
    bool known;
  } cases[] = {{4, true}, {1, true}, {0, false}, {-1, false}, {5, false}, {13, false}, {32767, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    F = FakeState{};
    F.stmtType = isc_info_sql_stmt_update;
    F.typeLength = c.length;
    TFbQuery u(&conn, &rw);
    u.SQL().Add("UPDATE T SET A = 1");
    if (c.known) {
      EXPECT_NO_THROW(u.ExecSQL());
    } else {
      try {
        u.ExecSQL();
        ADD_FAILURE();
      } catch (const EFbStatementError& e) {
        EXPECT_STREQ(e.what(), "Attempt to execute an unknown statement: 0");
      }
    }
    EXPECT_LE(F.widestInteger, 4);
  }
}

TEST_F(FbFakeClientTest, TheOlderInterpreterWalksAFullStatusVectorWithinIt) {
  F.stmtType = isc_info_sql_stmt_update;
  for (int i = 0; i < ISC_STATUS_LENGTH; i += 2) {
    F.executeError.push_back(isc_arg_gds);
    F.executeError.push_back(kLockConflict + i / 2);
  }
  TFbQuery u(&conn, &rw);
  u.SQL().Add("UPDATE T SET A = 1");
  try {
    u.ExecSQL();
    FAIL();
  } catch (const EFbISCError& e) {
    EXPECT_EQ(F.interpretedWords, ISC_STATUS_LENGTH);
    EXPECT_EQ(e.ErrorCodes.size(), static_cast<std::size_t>(ISC_STATUS_LENGTH / 2));
    ASSERT_GE(e.ErrorMessage.size(), 4u);
    EXPECT_EQ(e.ErrorMessage[3], "erro " + std::to_string(kLockConflict));
  }
}

}  // namespace
}  // namespace pagvigia::testing
