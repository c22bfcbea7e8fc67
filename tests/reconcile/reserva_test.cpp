// Row claims between two attachments of the real server: a claimed row is
// refused to the other at once, an update made under the claim is seen by
// the next claim, and a claim ends with its attachment.
#include "reconcile/reserva.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/fb_query.h"
#include "tests/db/db_fixture.h"
#include "tests/support/firebird_db.h"

namespace pagvigia {
namespace {

using testing::FirebirdDb;
using testing::ServiceLikeConnection;

// One instance's attachment: the service's transactions, its scratch
// statement and a claim over them.
struct Instancia {
  explicit Instancia(const FirebirdDb& db) : s(db) { s.conn.Connect(); }
  void Gravar(std::int64_t id, const std::string& idPagamento) {
    q.SQL().Clear();
    q.SQL().Add("UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDPAGAMENTO = '" + idPagamento +
                "' WHERE MFE_IDENTIFICADORINTERNO = " + std::to_string(id));
    q.ExecSQL();
  }
  ServiceLikeConnection s;
  TFbQuery q{&s.conn, &s.rw};
  TReservaLinha reserva{s.rw, q};
};

struct Reserva : ::testing::Test {
  FirebirdDb db{
      "CREATE TABLE MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO INTEGER NOT NULL PRIMARY KEY, "
      "MFE_IDPAGAMENTO VARCHAR(20), MFE_IDSTATUSVALIDADOR VARCHAR(20), MFE_IDRESPOSTAFISCAL VARCHAR(40));\n"
      "INSERT INTO MFE_TRANSACAO_CARTOES VALUES (1, '0', '0', '0');\n"
      "INSERT INTO MFE_TRANSACAO_CARTOES VALUES (2, '0', NULL, '0');\n"};
};

TEST_F(Reserva, AClaimedRowIsRefusedToTheOtherAtOnceAndFreedByTheCommit) {
  Instancia a(db), b(db);
  TIdsLinha ids;
  ASSERT_EQ(a.reserva.Reservar(1, ids), rrReservada);
  EXPECT_EQ(ids.IdPagamento, "0");
  TIdsLinha outros;
  EXPECT_EQ(b.reserva.Reservar(1, outros), rrOutraInstancia);
  EXPECT_FALSE(b.reserva.Ativa());
  // Refused, not queued: the other row is free for B meanwhile.
  ASSERT_EQ(b.reserva.Reservar(2, outros), rrReservada);
  EXPECT_EQ(outros.IdStatusValidador, "");
  b.reserva.Liberar();

  a.Gravar(1, "4021");
  a.reserva.Confirmar();
  ASSERT_EQ(b.reserva.Reservar(1, outros), rrReservada);
  EXPECT_EQ(outros.IdPagamento, "4021");
  b.reserva.Liberar();
  EXPECT_EQ(db.Scalar("SELECT MFE_IDPAGAMENTO FROM MFE_TRANSACAO_CARTOES WHERE MFE_IDENTIFICADORINTERNO = 1"), "4021");
}

TEST_F(Reserva, AnUpdateOfAClaimGivenUpIsUndone) {
  Instancia a(db), b(db);
  TIdsLinha ids;
  ASSERT_EQ(a.reserva.Reservar(1, ids), rrReservada);
  a.Gravar(1, "77");
  a.reserva.Liberar();
  ASSERT_EQ(b.reserva.Reservar(1, ids), rrReservada);
  EXPECT_EQ(ids.IdPagamento, "0");
}

TEST_F(Reserva, AClaimEndsWithItsAttachment) {
  auto a = std::make_unique<Instancia>(db);
  Instancia b(db);
  TIdsLinha ids;
  ASSERT_EQ(a->reserva.Reservar(1, ids), rrReservada);
  a->Gravar(1, "77");
  TFbQuery conexao(&a->s.conn);
  conexao.SQL().Add("SELECT CURRENT_CONNECTION AS ID FROM RDB$DATABASE");
  conexao.Open();
  const std::string id = conexao.FieldByName("ID").AsString();
  conexao.Close();
  // The server ends A's attachment, as it does for a killed process.
  db.Run("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id + ";");
  ASSERT_EQ(b.reserva.Reservar(1, ids), rrReservada);
  EXPECT_EQ(ids.IdPagamento, "0");
  b.reserva.Liberar();
  a.reset();
}

TEST_F(Reserva, AMissingRowIsSaidSo) {
  Instancia a(db);
  TIdsLinha ids;
  EXPECT_EQ(a.reserva.Reservar(3, ids), rrLinhaAusente);
  EXPECT_FALSE(a.reserva.Ativa());
}

// The claim runs for every step of every row: its statement is prepared
// once per connection, not once per claim.
TEST_F(Reserva, TheClaimsStatementIsPreparedOncePerConnection) {
  ServiceLikeConnection s(db);
  s.conn.Connect();
  TFbQuery q{&s.conn, &s.rw};
  TReservaLinha reserva{s.rw, q};
  const std::uint64_t antes = TFbStatement::PreparacoesNoProcesso();
  TIdsLinha ids;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(reserva.Reservar(1 + i % 2, ids), rrReservada);
    reserva.Confirmar();
  }
  const std::uint64_t preparacoes = TFbStatement::PreparacoesNoProcesso() - antes;
  RecordProperty("prepares_for_100_claims", static_cast<int>(preparacoes));
  EXPECT_EQ(preparacoes, 1u);
}

}  // namespace
}  // namespace pagvigia
