// Texts of the look-ups and updates that run through QExec.
#include "reconcile/sql.h"

#include <algorithm>
#include <string>

#include "db/fb_query.h"

namespace pagvigia {

void DefinirSQL(TFbQuery& q, std::span<const std::string_view> linhas) {
  q.SQL().Clear();
  for (std::string_view l : linhas) q.SQL().Add(std::string(l));
}

void DefinirSQL(TFbQuery& q, const std::vector<std::string>& linhas) {
  q.SQL().Clear();
  for (const std::string& l : linhas) q.SQL().Add(l);
}

std::string QuotedSQLStr(std::string_view texto) {
  std::string out;
  out.reserve(texto.size() + 2);
  out += '\'';
  for (char ch : texto) {
    if (ch == '\'') out += '\'';
    out += ch;
  }
  out += '\'';
  return out;
}

std::vector<std::string> SqlChavesPendentes() {
  const auto from = std::find(kSqlEnviaMFEPendentes.begin(), kSqlEnviaMFEPendentes.end(), "FROM MFE_TRANSACAO_CARTOES");
  std::vector<std::string> linhas{std::string(kSqlEnviaMFEPendentes.front())};
  linhas.insert(linhas.end(), from, kSqlEnviaMFEPendentes.end());
  return linhas;
}

std::vector<std::string> SqlTransacaoPendente() {
  std::vector<std::string> linhas(kSqlEnviaMFEPendentes.begin(), kSqlEnviaMFEPendentes.end() - 1);
  linhas.push_back("AND (MFE_IDENTIFICADORINTERNO = :MFE_IDENTIFICADORINTERNO)");
  return linhas;
}

std::vector<std::string> SqlPOSPorSerial(std::string_view serialPOS) {
  return {"SELECT CODIGO FROM MFE_CADASTRO_POS WHERE MFE_SERIALPOS = " + QuotedSQLStr(serialPOS)};
}

std::vector<std::string> SqlPOSPorCodigo(std::int32_t codigoPOS) {
  return {"SELECT MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO FROM MFE_CADASTRO_POS",
          "WHERE CODIGO = " + std::to_string(codigoPOS)};
}

std::vector<std::string> SqlAtualizaPagamento() {
  return {"UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDPAGAMENTO = :IDPAGAMENTO,",
          "MFE_XML_ENVIARPAGAMENTO = :XMLENVIARPAGAMENTO",
          "WHERE MFE_IDENTIFICADORINTERNO = :INDENTIFICADORINTERNO"};
}

std::vector<std::string> SqlAtualizaStatusValidador() {
  return {"UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDSTATUSVALIDADOR = :IDSTATUSVALIDADOR,",
          "MFE_XML_STATUSVALIDADOR = :XMLSTATUSVALIDADOR",
          "WHERE MFE_IDENTIFICADORINTERNO = :INDENTIFICADORINTERNO"};
}

std::vector<std::string> SqlRelerTransacao(std::string_view identificadorInterno) {
  return {"SELECT MFE_SERIALPOS, MFE_IDSTATUSVALIDADOR FROM MFE_TRANSACAO_CARTOES",
          "WHERE MFE_IDENTIFICADORINTERNO = " + std::string(identificadorInterno)};
}

std::vector<std::string> SqlAtualizaRespostaFiscal() {
  return {"UPDATE MFE_TRANSACAO_CARTOES SET MFE_IDRESPOSTAFISCAL = :IDRESPOSTAFISCAL,",
          "MFE_XML_RESPOSTAFISCAL = :XMLRESPOSTAFISCAL",
          "WHERE MFE_IDENTIFICADORINTERNO = :INDENTIFICADORINTERNO"};
}

}  // namespace pagvigia
