// The id columns' lengths as the database's metadata gives them, and which
// steps may be sent with them.
#include "reconcile/colunas_id.h"

#include <gtest/gtest.h>

#include <string>

#include "db/fb_query.h"
#include "tests/db/db_fixture.h"
#include "tests/support/firebird_db.h"

namespace pagvigia {
namespace {

using testing::FirebirdDb;
using testing::ServiceLikeConnection;

TEST(ColunasId, LengthsComeFromTheMetadataAndDecideWhichStepsMayBeSent) {
  struct Caso {
    const char* pagamento;
    const char* status;
    const char* fiscal;
    TTamanhosColunasId tamanhos;
    bool pagamentoCurto, statusCurto;
  } casos[] = {
      // The shop's own columns.
      {"VARCHAR(20)", "VARCHAR(20)", "VARCHAR(40)", {20, 20, 40}, false, false},
      // Too short for the longest payment and status ids.
      {"VARCHAR(9)", "CHAR(6)", "VARCHAR(1)", {9, 6, 1}, true, true},
      // Exactly long enough (a status id is a session number: 7 characters
      // with its sign); the length counts characters, not bytes.
      {"VARCHAR(10) CHARACTER SET UTF8", "CHAR(7) CHARACTER SET UTF8", "BLOB SUB_TYPE TEXT",
       {10, 7, std::nullopt}, false, false},
      // A numeric column is left to the server.
      {"INTEGER", "BIGINT", "VARCHAR(40)", {std::nullopt, std::nullopt, 40}, false, false},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(std::string(c.pagamento) + " / " + c.status + " / " + c.fiscal);
    FirebirdDb db(std::string("CREATE TABLE MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO INTEGER NOT NULL, ") +
                  "MFE_IDPAGAMENTO " + c.pagamento + ", MFE_IDSTATUSVALIDADOR " + c.status +
                  ", MFE_IDRESPOSTAFISCAL " + c.fiscal + ");\n");
    ServiceLikeConnection s(db);
    s.conn.Connect();
    TFbQuery q(&s.conn, &s.rw);
    const TTamanhosColunasId t = LerTamanhosColunasId(q);
    EXPECT_EQ(t, c.tamanhos);
    EXPECT_EQ(AvisoColunaCurta(etPagamento, t).has_value(), c.pagamentoCurto);
    EXPECT_EQ(AvisoColunaCurta(etStatusPagamento, t).has_value(), c.statusCurto);
    // A fiscal-response id has no maximum: the journal keeps one that does
    // not fit, so it is never checked before sending.
    EXPECT_FALSE(AvisoColunaCurta(etRespostaFiscal, t).has_value());
  }
}

TEST(ColunasId, TheLineNamesTheColumnAndItsLength) {
  const TTamanhosColunasId t{9, 6, 1};
  EXPECT_EQ(AvisoColunaCurta(etPagamento, t).value(),
            "Pagamento MFE: column MFE_IDPAGAMENTO of MFE_TRANSACAO_CARTOES holds 9 characters, the Integrador's ids "
            "take up to 10; nothing is sent for this step until the column is widened");
  EXPECT_EQ(AvisoColunaCurta(etStatusPagamento, t).value().substr(0, 57),
            "Status Pagamento: column MFE_IDSTATUSVALIDADOR of MFE_TRA");
}

TEST(ColunasId, AJournalEntryFitsByCharactersNotBytes) {
  const TTamanhosColunasId t{10, 6, 4};
  struct Caso {
    TEntradaDiario entrada;
    bool cabe;
  } casos[] = {
      {{1, etRespostaFiscal, "ação", ""}, true},     // 4 characters, 6 bytes
      {{1, etRespostaFiscal, "ações", ""}, false},
      {{2, etPagamento, "2147483647", ""}, true},
      {{3, etStatusPagamento, "1234567", ""}, false},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.entrada.Id);
    EXPECT_EQ(!AvisoIdNaoCabe(c.entrada, t).has_value(), c.cabe);
  }
  EXPECT_FALSE(AvisoIdNaoCabe({1, etRespostaFiscal, "RF-123456789", ""}, {10, 6, std::nullopt}).has_value());
  EXPECT_EQ(AvisoIdNaoCabe({1, etRespostaFiscal, "ações", ""}, t).value(),
            "Resposta Fiscal: column MFE_IDRESPOSTAFISCAL of MFE_TRANSACAO_CARTOES holds 4 characters, fewer than the "
            "5 of the id \"ações\" of row 1; it stays in the journal, and the step is not sent again, until the "
            "column is widened");
}

}  // namespace
}  // namespace pagvigia
