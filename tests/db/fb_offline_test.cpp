// What the layer decides before it talks to a server: the statement text
// sent for named parameters, the parameter blocks, the settings list and the
// loading of the client library.
#include <gtest/gtest.h>

#include <string>

#include "db/fb_client_lib.h"
#include "db/fb_connection.h"
#include "db/fb_private.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"

namespace pagvigia {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

TEST(FbParseSQL, NamedParametersBecomeMarkersOutsideLiteralsCommentsAndBrackets) {
  auto r = FbParseSQL("SELECT * FROM T WHERE A = :A AND B = ':B'");
  EXPECT_EQ(r.ServerText, "SELECT * FROM T WHERE A = ?/* A */ AND B = ':B'");
  EXPECT_EQ(r.ParamNames, std::vector<std::string>{"A"});

  r = FbParseSQL("SELECT \"x:y\" /* :C */ FROM T -- :D\nWHERE [E:F] = :G AND 'it''s :H' = :I");
  EXPECT_EQ(r.ServerText, "SELECT \"x:y\" /* :C */ FROM T -- :D\nWHERE [E:F] = ?/* G */ AND 'it''s :H' = ?/* I */");
  EXPECT_EQ(r.ParamNames, (std::vector<std::string>{"G", "I"}));
}

TEST(FbParseSQL, NamesEndAtDelimitersButNotAtPlusMinusOrDot) {
  auto r = FbParseSQL("(:P1,:P2):P3;:P4<:P5=:P6>:P7|:P8!:P9*:A.B+C-D\t:E\n:\"Com espaço\")");
  EXPECT_EQ(r.ParamNames, (std::vector<std::string>{"P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9", "A.B+C-D",
                                                    "E", "Com espaço"}));
  EXPECT_EQ(r.ServerText.substr(0, 24), "(?/* P1 */,?/* P2 */)?/*");
  EXPECT_NE(r.ServerText.find("?/* Com espaço */)"), std::string::npos);
  // A colon followed by a delimiter is no parameter.
  r = FbParseSQL("SELECT ': ' || x FROM T WHERE y = : z");
  EXPECT_TRUE(r.ParamNames.empty());
  EXPECT_EQ(r.ServerText, "SELECT ': ' || x FROM T WHERE y = : z");
}

TEST(FbParseSQL, QuestionMarksTakeTheirCommentNameOrAPosition) {
  auto r = FbParseSQL("UPDATE T SET A = ?, B = ?/* NOME */ WHERE C = ?");
  EXPECT_EQ(r.ParamNames, (std::vector<std::string>{"PRM_0", "NOME", "PRM_2"}));
  EXPECT_EQ(r.ServerText, "UPDATE T SET A = ?, B = ?/* NOME */ WHERE C = ?");
  // Parsing the server text again gives the same names.
  auto again = FbParseSQL(FbParseSQL("WHERE (CAIXA = :CAIXA) OR (X = :Y)").ServerText);
  EXPECT_EQ(again.ParamNames, (std::vector<std::string>{"CAIXA", "Y"}));
}

TEST(FbParamList, NamesIgnoreCaseAndEmptyValuesRemoveLines) {
  TFbParamList p;
  p.Add("USER NAME=SYSDBA");
  p.SetValue("user name", "USUARIO");
  EXPECT_EQ(p.Count(), 1);
  EXPECT_EQ(p.Value("User Name"), "USUARIO");
  p.SetValue("PATH", "/x.fdb");
  p.SetValue("USER NAME", "");
  EXPECT_EQ(p.Lines(), std::vector<std::string>{"PATH=/x.fdb"});
}

class FbConnectionSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* line : {"CHARACTER SET=ISO8859_1", "PAGE SIZE=8192", "PROTOCOL=TCP/IP", "USER NAME=SYSDBA",
                             "PATH=C:\\DB\\X.FDB", "SERVER=localhost", "SQL DIALECT=3", "BUFFERS=<default>"})
      c.Params.Add(line);
    c.PasswordStorage = psNotSecure;
  }
  TFbConnection c;
};

TEST_F(FbConnectionSettings, DatabaseStringFollowsTheProtocol) {
  EXPECT_EQ(c.Protocol(), cpTCP_IP);
  EXPECT_EQ(c.DatabaseString(), "localhost:C:\\DB\\X.FDB");
  c.Params.SetValue("PROTOCOL", "netbeui");
  EXPECT_EQ(c.DatabaseString(), "\\\\localhost\\C:\\DB\\X.FDB");
  c.Params.SetValue("PROTOCOL", "Novell");
  EXPECT_EQ(c.DatabaseString(), "localhost@C:\\DB\\X.FDB");
  c.Params.SetValue("PROTOCOL", "");
  EXPECT_EQ(c.Protocol(), cpLocal);
  EXPECT_EQ(c.DatabaseString(), "C:\\DB\\X.FDB");
}

TEST_F(FbConnectionSettings, ServiceDpbIsUserPasswordAndCharacterSet) {
  c.SetUsername("USUARIO");
  c.SetPassword("quorix");
  EXPECT_EQ(c.Params.IndexOfName("PASSWORD"), -1);
  EXPECT_EQ(c.Password(), "quorix");
  EXPECT_EQ(c.BuildDPB(), Bytes({1, 77, 0, 28, 7}) + "USUARIO" + Bytes({29, 6}) + "quorix" + Bytes({48, 9}) + "ISO8859_1");
  // An empty password is one zero byte; a user name goes in UTF-8, as the
  // block's first item says (the client then needs no locale of its own).
  c.SetPassword("");
  c.SetUsername("JOÃO");
  EXPECT_EQ(c.BuildDPB().substr(0, 13), Bytes({1, 77, 0, 28, 5, 'J', 'O', 0xC3, 0x83, 'O', 29, 1, 0}));
}

TEST_F(FbConnectionSettings, BuffersRoleAndNoGarbageItems) {
  c.SetUsername("U");
  c.SetPassword("P");
  const std::string head = Bytes({1, 77, 0, 28, 1, 'U', 29, 1, 'P'});
  const std::string tail = Bytes({48, 9}) + "ISO8859_1";
  c.Params.SetValue("BUFFERS", "255");
  EXPECT_EQ(c.BuildDPB(), head + Bytes({5, 1, 255}) + tail);
  c.Params.SetValue("BUFFERS", "300");
  EXPECT_EQ(c.BuildDPB(), head + Bytes({5, 4, 44, 1, 0, 0}) + tail);
  c.Params.SetValue("BUFFERS", "0");
  try {
    c.BuildDPB();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Invalid cache buffers declaration: 0");
  }
  c.Params.SetValue("BUFFERS", "<default>");
  c.Params.SetValue("NOGARBAGE", "true");
  c.Params.Add("SQL ROLE NAME=GERENTE");
  EXPECT_EQ(c.SQLRole(), "GERENTE");
  EXPECT_EQ(c.Params.Value("ROLE NAME"), "GERENTE");
  EXPECT_EQ(c.Params.IndexOfName("SQL ROLE NAME"), -1);
  EXPECT_EQ(c.BuildDPB(), head + Bytes({60, 7}) + "GERENTE" + Bytes({16, 1, 1}) + tail);
}

TEST_F(FbConnectionSettings, ValuesOver255BytesAreRefusedNotOverrun) {
  c.SetUsername(std::string(255, 'u'));
  c.SetPassword("p");
  EXPECT_EQ(c.BuildDPB().size(), 3u + 2 + 255 + 3 + 11);
  c.SetUsername(std::string(256, 'u'));
  try {
    c.BuildDPB();
    FAIL();
  } catch (const EFbConnectionError& e) {
    EXPECT_STREQ(e.what(), "Invalid DPB: Contents over 255 characters");
  }
  // Many long items grow the block past its initial 1024 bytes.
  c.SetUsername(std::string(255, 'u'));
  c.SetPassword(std::string(255, 'p'));
  c.SetSysDBA(std::string(255, 's'));
  c.SetMessageFile(std::string(255, 'm'));
  c.SetSQLRole(std::string(255, 'r'));
  EXPECT_EQ(c.BuildDPB().size(), 3u + 5 * 257 + 11);
}

TEST_F(FbConnectionSettings, PasswordStorageDecidesWhereThePasswordLives) {
  c.PasswordStorage = psParams;
  c.SetPassword("s1");
  EXPECT_EQ(c.Params.Value("PASSWORD"), "s1");
  c.PasswordStorage = psNotSecure;
  c.SetPassword("s2");
  EXPECT_EQ(c.Params.IndexOfName("PASSWORD"), -1);
  EXPECT_EQ(c.Password(), "s2");
}

TEST_F(FbConnectionSettings, DialectCharSetAndDatabaseName) {
  EXPECT_EQ(c.SQLDialect(), 3);
  c.Params.SetValue("SQL DIALECT", "0");
  EXPECT_EQ(c.SQLDialect(), 3);
  c.Params.SetValue("SQL DIALECT", "x");
  EXPECT_EQ(c.SQLDialect(), 3);
  c.Params.SetValue("SQL DIALECT", "1");
  EXPECT_EQ(c.SQLDialect(), 1);
  c.SetCharSet("win1252");
  EXPECT_EQ(c.Params.Value("CHARACTER SET"), "WIN1252");

  c.SetDatabaseName("Gestalo");
  TFbConnection other;
  other.SetDatabaseName("Gestalo");
  EXPECT_EQ(c.DatabaseName(), "Gestalo");
  EXPECT_EQ(other.DatabaseName(), "Gestalo_1");
  other.SetDatabaseName("server:/data/x.fdb");
  EXPECT_EQ(other.Server(), "server");
  EXPECT_EQ(other.Path(), "/data/x.fdb");
  EXPECT_EQ(other.Protocol(), cpTCP_IP);
}

TEST_F(FbConnectionSettings, PathAndBlankChecksComeBeforeAnythingIsLoaded) {
  TFbClientLib unloadable;
  unloadable.SearchNames = {"libpagvigia-nope.so"};
  c.ClientLib = &unloadable;
  c.SetPath("srv:C:\\X.FDB");
  try {
    c.Connect(false);
    FAIL();
  } catch (const EFbConnectionError& e) {
    EXPECT_STREQ(e.what(), "Invalid connection path");
  }
  EXPECT_FALSE(unloadable.Loaded());
  c.SetPath("");
  c.SetServer("");
  ::unsetenv("ISC_DATABASE");
  EXPECT_THROW(c.Connect(false), EFbConnectionError);
  EXPECT_FALSE(c.Connected());
}

TEST(FbClientLib, LoadFailuresNameWhatWasTried) {
  TFbClientLib lib;
  lib.SearchNames = {"libpagvigia-a.so", "libpagvigia-b.so"};
  try {
    lib.Open();
    FAIL();
  } catch (const EFbError&) {
    FAIL() << "a load failure is not a layer error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to load client library: libpagvigia-a.so or libpagvigia-b.so");
  }
  lib.LibraryFile = "/nonexistent/libfbclient.so";
  try {
    lib.Open();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to load client library: /nonexistent/libfbclient.so");
  }
  // A library without the client's entry points.
  lib.LibraryFile = "libm.so.6";
  try {
    lib.Open();
    FAIL();
  } catch (const EFbError& e) {
    EXPECT_STREQ(e.what(), "Unable to locate DLL import isc_attach_database");
  }
  EXPECT_FALSE(lib.Loaded());
  EXPECT_EQ(lib.Api().isc_detach_database, nullptr);
}

TEST(FbClientLib, TheProcessLibraryLoadsByItsPlatformNames) {
  TFbClientLib& lib = TFbClientLib::Instance();
  lib.Open();
  ASSERT_TRUE(lib.Loaded());
  EXPECT_EQ(lib.LoadedFile(), "libfbclient.so.2");
  EXPECT_NE(lib.Api().isc_dsql_fetch, nullptr);
  EXPECT_NE(lib.Api().fb_interpret, nullptr);
  lib.Open();  // once only
  EXPECT_TRUE(lib.Loaded());
}

TEST(FbTransactionTpb, BlocksOfTheServiceTransactions) {
  TFbTransaction ro, rw;
  ro.ReadOnly = true;
  EXPECT_EQ(ro.BuildTPB(), Bytes({3, 8, 15, 17, 7}));
  EXPECT_EQ(rw.BuildTPB(), Bytes({3, 9, 15, 17, 7}));
  rw.Isolation = tiConcurrency;
  rw.LockWait = true;
  rw.LockTimeout = 10;
  rw.NoAutoUndo = true;
  EXPECT_EQ(rw.BuildTPB(), Bytes({3, 9, 2, 20, 6, 21, 4, 10, 0, 0, 0}));
  rw.Isolation = tiConsistency;
  rw.RecVersion = false;
  rw.LockWait = false;
  rw.NoAutoUndo = false;
  rw.ServerAutoCommit = true;
  EXPECT_EQ(rw.BuildTPB(), Bytes({3, 9, 1, 16, 7}));
  EXPECT_TRUE(rw.AutoCommit());
}

TEST(FbSQLLines, ChangingTheTextUnpreparesAndJoinsLines) {
  TFbSQLLines l;
  int changes = 0;
  l.OnChange = [&] { ++changes; };
  l.Add("SELECT 1");
  l.Add("FROM RDB$DATABASE");
  l.Clear();
  l.SetText("A\r\nB");
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(l.Text(), "A\r\nB");
  EXPECT_EQ(l.Count(), 2);
}

}  // namespace
}  // namespace pagvigia
