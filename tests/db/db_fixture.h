// Shared set-up of the database tests and the benchmarks: a throwaway
// database and a connection configured the way the service configures its own.
#pragma once
#include "db/fb_connection.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "tests/support/firebird_db.h"

namespace pagvigia::testing {

// The service's design-time parameter list, then user, password, server and
// path set as the service sets them before each connect.
inline void ConfigureLikeService(TFbConnection& c, const FirebirdDb& db) {
  c.Params.Clear();
  for (const char* line : {"CHARACTER SET=ISO8859_1", "PAGE SIZE=8192", "PROTOCOL=TCP/IP", "USER NAME=SYSDBA",
                           "PATH=C:\\Gestalo\\GESTALO.FDB", "SERVER=localhost", "SQL DIALECT=3",
                           "BUFFERS=<default>"})
    c.Params.Add(line);
  c.PasswordStorage = psNotSecure;
  c.SetUsername(FirebirdDb::kUser);
  c.SetPassword(FirebirdDb::kPassword);
  c.SetServer(db.host());
  c.SetPath(db.path());
}

// A connection with the service's two transactions: the read-only default
// and the read-write one, both committing automatically.
struct ServiceLikeConnection {
  explicit ServiceLikeConnection(const FirebirdDb& db) {
    ConfigureLikeService(conn, db);
    conn.DefaultTransaction = &ro;
    ro.SetAutoCommit(true);
    ro.ReadOnly = true;
    ro.TimeoutProps.AllowCheckOAT = 5;
    rw.SetAutoCommit(true);
    rw.TimeoutProps.AllowCheckOAT = 5;
  }
  TFbConnection conn{"Gestalo"};
  TFbTransaction ro{&conn, "IB_TransPrincipal"};
  TFbTransaction rw{&conn, "IBTPrincipalRW"};
};

}  // namespace pagvigia::testing
