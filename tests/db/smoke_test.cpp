#include <gtest/gtest.h>

#include "tests/db/db_fixture.h"

namespace pagvigia::testing {
TEST(Smoke, ConnectQueryExec) {
  FirebirdDb db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20), C CHAR(5), M BLOB SUB_TYPE TEXT);\n"
                "INSERT INTO T VALUES (1, 'Conexão', 'abc', 'memo ç');\n");
  ServiceLikeConnection s(db);
  s.conn.Connect();
  ASSERT_TRUE(s.conn.Connected());
  TFbQuery q(&s.conn);
  q.SQL().Add("SELECT ID, NOME, C, M FROM T WHERE ID = :ID");
  q.Prepare();
  q.Params().ParamByName("ID").SetAsInteger(1);
  q.Open();
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.FieldByName("NOME").AsString(), "Conexão");
  EXPECT_EQ(q.FieldByName("C").AsString(), "abc");
  EXPECT_EQ(q.FieldByName("M").AsString(), "memo ç");
  TFbQuery u(&s.conn, &s.rw);
  u.SQL().Add("UPDATE T SET NOME = :N, M = :M WHERE ID = :ID");
  u.Prepare();
  u.Params().BeginUpdate();
  u.ParamByName("N").SetAsString("Ação d'água");
  u.ParamByName("M").SetAsString("memó");
  u.ParamByName("ID").SetAsInteger(1);
  u.Params().EndUpdate(true);
  u.ExecSQL();
  EXPECT_EQ(db.Scalar("SELECT NOME FROM T"), "Ação d'água");
  EXPECT_EQ(db.Scalar("SELECT CAST(M AS VARCHAR(100)) FROM T"), "memó");
  s.conn.Disconnect();
}
}  // namespace pagvigia::testing
