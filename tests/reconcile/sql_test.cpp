// The statement texts of the reconciliation and the digit filter.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "reconcile/reconciliacao.h"

namespace pagvigia {
namespace {

std::string Join(const auto& lines) {
  std::string s;
  for (const auto& l : lines) {
    if (!s.empty()) s += "\n";
    s += l;
  }
  return s;
}

TEST(SqlTextos, CursorsNameEveryColumnOnceWithTheirParameter) {
  // 68 MSAUT columns, CAIXA first, each once.
  std::set<std::string_view> cols;
  for (std::size_t i = 1; i + 2 < kSqlMSAut.size(); ++i) {
    ASSERT_EQ(kSqlMSAut[i].substr(0, 7), "     , ") << kSqlMSAut[i];
    cols.insert(kSqlMSAut[i].substr(7));
  }
  EXPECT_EQ(kSqlMSAut.front(), "SELECT CAIXA");
  EXPECT_EQ(cols.size() + 1, 68u);
  EXPECT_TRUE(cols.count("MFE_CHAVEACESSOINTEGRADOR"));
  EXPECT_EQ(kSqlMSAut.back(), "WHERE CAIXA = :CAIXA");

  EXPECT_EQ(kSqlEnviaMFEPendentes.size(), 33u);
  EXPECT_EQ(kSqlEnviaMFEPendentes[27], "WHERE ((CAIXA = :CAIXA) OR (MFE_DATAVENDA < CURRENT_DATE - 4)) ");
  EXPECT_EQ(kSqlEnviaMFEPendentes.back(), "ORDER BY MFE_IDENTIFICADORINTERNO");
  EXPECT_EQ(Join(kSqlPadrao), "SELECT CODIGO, CGC FROM PADRAO");
}

TEST(SqlTextos, SerialLookupDoublesEveryQuote) {
  EXPECT_EQ(QuotedSQLStr(""), "''");
  EXPECT_EQ(QuotedSQLStr("O'Neil''s"), "'O''Neil''''s'");
  EXPECT_EQ(Join(SqlPOSPorSerial("ab'; DROP TABLE X; --")),
            "SELECT CODIGO FROM MFE_CADASTRO_POS WHERE MFE_SERIALPOS = 'ab''; DROP TABLE X; --'");
  EXPECT_EQ(Join(SqlPOSPorCodigo(-7)),
            "SELECT MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO FROM MFE_CADASTRO_POS\n"
            "WHERE CODIGO = -7");
}

TEST(SqlTextos, UpdatesUseTheKeyParameterSpeltWithInd) {
  for (const auto& sql : {SqlAtualizaPagamento(), SqlAtualizaStatusValidador(), SqlAtualizaRespostaFiscal()}) {
    ASSERT_EQ(sql.size(), 3u);
    EXPECT_EQ(sql[2], "WHERE MFE_IDENTIFICADORINTERNO = :INDENTIFICADORINTERNO");
  }
  EXPECT_EQ(Join(SqlAtualizaPagamento()),
            "UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDPAGAMENTO = :IDPAGAMENTO,\n"
            "MFE_XML_ENVIARPAGAMENTO = :XMLENVIARPAGAMENTO\n"
            "WHERE MFE_IDENTIFICADORINTERNO = :INDENTIFICADORINTERNO");
  EXPECT_EQ(Join(SqlRelerTransacao("42")),
            "SELECT MFE_SERIALPOS, MFE_IDSTATUSVALIDADOR FROM MFE_TRANSACAO_CARTOES\n"
            "WHERE MFE_IDENTIFICADORINTERNO = 42");
}

TEST(SqlTextos, PendingWalkIsTheSelectionSplitIntoKeysAndOneRowByKey) {
  EXPECT_EQ(Join(SqlChavesPendentes()),
            "SELECT MFE_IDENTIFICADORINTERNO\n"
            "FROM MFE_TRANSACAO_CARTOES\n"
            "WHERE ((CAIXA = :CAIXA) OR (MFE_DATAVENDA < CURRENT_DATE - 4)) \n"
            "AND ((MFE_IDPAGAMENTO = '0') OR (MFE_IDRESPOSTAFISCAL = '0'))\n"
            "AND (COALESCE(MFE_NUMCUPOM, '') <> '')\n"
            "AND (COALESCE(MFE_XMLSAT, '') <> '')\n"
            "AND (COALESCE(MFE_CHAVESAT, '') <> '')\n"
            "ORDER BY MFE_IDENTIFICADORINTERNO");
  const auto linha = SqlTransacaoPendente();
  ASSERT_EQ(linha.size(), kSqlEnviaMFEPendentes.size());
  for (std::size_t i = 0; i + 1 < linha.size(); ++i) EXPECT_EQ(linha[i], kSqlEnviaMFEPendentes[i]);
  EXPECT_EQ(linha.back(), "AND (MFE_IDENTIFICADORINTERNO = :MFE_IDENTIFICADORINTERNO)");
}

TEST(ExtraiNumero, KeepsOnlyAsciiDigits) {
  EXPECT_EQ(TReconciliacao::ExtraiNumero("12.345.678/0001-95"), "12345678000195");
  EXPECT_EQ(TReconciliacao::ExtraiNumero(""), "");
  EXPECT_EQ(TReconciliacao::ExtraiNumero("abc"), "");
  // Full-width digits (U+FF11) and superscripts (U+00B2) are not ASCII digits.
  EXPECT_EQ(TReconciliacao::ExtraiNumero("\xEF\xBC\x91" "7\xC2\xB2" "x9"), "79");
}

}  // namespace
}  // namespace pagvigia
