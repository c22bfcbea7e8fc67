// One card transaction of the shop's database as the tests insert it, and
// the server's dates as the program prints them.
#pragma once
#include <optional>
#include <sstream>
#include <string>

#include "tests/support/firebird_db.h"

namespace pagvigia::testing {

// SQL text literal.
inline std::string SqlStr(const std::optional<std::string>& v) {
  if (!v) return "NULL";
  std::string r = "'";
  for (char c : *v) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

// One card transaction of the shop's database, ready for an INSERT. The
// defaults make a pending "TEF" payment of this cash register sold today.
struct Transacao {
  int id = 1;
  int caixa = 1;
  std::optional<std::string> serialPOS = "TEF";
  std::optional<std::string> codAutorizacao = "123456";
  std::optional<std::string> bin = "546712";
  std::optional<std::string> donoCartao = "MARIA SILVA";
  std::optional<std::string> expiracao = "12/29";
  std::optional<std::string> instituicao = "CIELO";
  int parcelas = 1;
  int ultQuatro = 4321;
  std::optional<std::string> codigoPagamento = "778899";
  std::string valor = "10.50";
  std::optional<std::string> idPagamento = "0";
  std::optional<std::string> tipo = "MASTERCARD";
  std::optional<std::string> idStatus = "0";
  std::optional<std::string> idRespostaFiscal = "0";
  int diasAtras = 0;  // sale date: today minus this many days
  std::optional<std::string> numCupom = "000123";
  std::optional<std::string> xmlSat = "<CFe><infCFe Id=\"CFe35261208723218000186599000012340001234567890\"/></CFe>";
  std::optional<std::string> chaveSat = "CFe35261208723218000186599000012340001234567890";

  std::string Insert() const {
    std::ostringstream s;
    s << "INSERT INTO MFE_TRANSACAO_CARTOES (MFE_IDENTIFICADORINTERNO, CAIXA, MFE_SERIALPOS, "
         "MFE_CODAUTORIZACAO, MFE_BIN, MFE_DONOCARTAO, MFE_EXPIRACAO, MFE_INSTITUICAOFINANCEIRA, MFE_PARCELAS, "
         "MFE_ULTQUATRODIGITOS, MFE_CODIGOPAGAMENTO, MFE_VALORPAGAMENTO, MFE_IDPAGAMENTO, MFE_IDLOCAL, MFE_TIPO, "
         "MFE_IDSTATUSVALIDADOR, MFE_IDRESPOSTAFISCAL, MFE_DATAVENDA, MFE_HORAVENDA, MFE_DADOSCARTAODIGITADO, "
         "MFE_NUMCUPOM, MFE_XMLSAT, MFE_CHAVESAT) VALUES ("
      << id << ", " << caixa << ", " << SqlStr(serialPOS) << ", " << SqlStr(codAutorizacao) << ", " << SqlStr(bin)
      << ", " << SqlStr(donoCartao) << ", " << SqlStr(expiracao) << ", " << SqlStr(instituicao) << ", " << parcelas
      << ", " << ultQuatro << ", " << SqlStr(codigoPagamento) << ", " << valor << ", " << SqlStr(idPagamento)
      << ", NULL, " << SqlStr(tipo) << ", " << SqlStr(idStatus) << ", " << SqlStr(idRespostaFiscal)
      << ", CURRENT_DATE - " << diasAtras << ", CURRENT_TIME, 'N', " << SqlStr(numCupom) << ", " << SqlStr(xmlSat)
      << ", " << SqlStr(chaveSat) << ");\n";
    return s.str();
  }
};

// "DD/MM/YYYY" of the server's date `dias` days from today.
inline std::string DataDoServidor(FirebirdDb& db, int dias) {
  const std::string d = "CURRENT_DATE + " + std::to_string(dias);
  return db.Scalar("SELECT LPAD(EXTRACT(DAY FROM " + d + "), 2, '0') || '/' || LPAD(EXTRACT(MONTH FROM " + d +
                   "), 2, '0') || '/' || EXTRACT(YEAR FROM " + d + ") FROM RDB$DATABASE");
}

}  // namespace pagvigia::testing
