// The throwaway database of the tests: created, scripted, queried, dropped.
#include "tests/support/firebird_db.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace pagvigia::testing {
namespace {

TEST(FirebirdDbTest, CreatesScriptsQueriesAndDrops) {
  std::string folder;
  {
    FirebirdDb db("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(20));\n"
                  "INSERT INTO T VALUES (1, 'Conexão d''água');\n");
    folder = db.folder();
    EXPECT_TRUE(std::filesystem::exists(db.path()));
    EXPECT_EQ(db.Scalar("SELECT NOME FROM T WHERE ID = 1"), "Conexão d'água");
    EXPECT_EQ(db.Scalar("SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE"), "ISO8859_1");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM SEC$USERS WHERE SEC$USER_NAME = 'USUARIO'"), "1");
    // The grant reached the service's login.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$USER = 'USUARIO' "
                        "AND RDB$RELATION_NAME = 'T' AND RDB$PRIVILEGE = 'U'"),
              "1");
    db.Run("INSERT INTO T VALUES (2, NULL);");
    EXPECT_EQ(db.Query("SELECT NOME FROM T ORDER BY ID").size(), 2u);
    EXPECT_THROW(db.Run("INSERT INTO NADA VALUES (1);"), std::runtime_error);
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(FirebirdDbTest, ServerThatDoesNotAnswerFailsWithAClearMessage) {
  std::string saved = std::getenv("PAGVIGIA_FB_HOST") ? std::getenv("PAGVIGIA_FB_HOST") : "";
  ::setenv("PAGVIGIA_FB_HOST", "127.0.0.1/1", 1);
  try {
    FirebirdDb db;
    ADD_FAILURE() << "created a database on a port nobody listens on";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("does not answer on 127.0.0.1:1"), std::string::npos) << e.what();
  }
  ::setenv("PAGVIGIA_FB_HOST", saved.c_str(), 1);
}

}  // namespace
}  // namespace pagvigia::testing
