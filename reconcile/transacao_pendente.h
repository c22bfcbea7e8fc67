// What the reconciliation of one pending card transaction works from: the row
// of MFE_TRANSACAO_CARTOES as the pending selection hands it over, read once
// into its proper types, and the cash register's data that every Integrador
// request carries, read once per cycle.
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace pagvigia {

class TFbQuery;

// One pending row; the fields are the columns of the same names. The three
// progress columns stay text: "0" marks a step not yet done, and anything
// else (null reads as empty) counts as done.
struct TTransacaoPendente {
  std::int64_t IdentificadorInterno = 0;  // the key
  std::string SerialPOS;                  // a terminal's serial, or "TEF"
  std::string CodAutorizacao;
  std::string Bin;
  std::string DonoCartao;
  std::string Expiracao;
  std::string InstituicaoFinanceira;
  std::int32_t Parcelas = 0;
  std::int32_t UltQuatroDigitos = 0;
  std::string CodigoPagamento;
  std::int64_t ValorPagamento = 0;  // fixed point, four decimals
  std::string IdPagamento;
  std::string Tipo;
  std::string IdStatusValidador;
  std::string IdRespostaFiscal;
  std::string NumCupom;
  std::string XmlSat;
  std::string ChaveSat;
};

// The current row of a cursor that selects the pending selection's columns.
// Raises what the database layer raises for a column that does not convert.
TTransacaoPendente LerTransacaoPendente(TFbQuery& cursor);

// One pending row that the server could not hand over: the failure's message
// followed by " (MFE_IDENTIFICADORINTERNO = <key>)".
class ETransacaoIlegivel : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The pending row `chave` of cash register `caixa`, read through `consulta`
// (SQL SqlTransacaoPendente; prepared here when it is not), or nothing when
// the row is no longer pending. A failure about this row alone (anything the
// server raises while handing it over, a value that does not convert) raises
// ETransacaoIlegivel; a failure to prepare the statement, a lost connection
// or any other failure raises as it came.
std::optional<TTransacaoPendente> LerTransacaoPendente(TFbQuery& consulta, std::int64_t chave, std::int32_t caixa);

// The cash register's access key to the Integrador (MSAUT's
// MFE_CHAVEACESSOINTEGRADOR) and the digits of the company's tax number
// (PADRAO's CGC). Each value that could not be read keeps its failure and
// raises it where the value is used, so a row whose steps need it fails
// there, in the row's own handling, and a row that needs nothing does not.
class TDadosCaixa {
 public:
  TDadosCaixa() = default;
  TDadosCaixa(std::string chaveAcessoIntegrador, std::string cnpj)
      : FChaveAcessoIntegrador(std::move(chaveAcessoIntegrador)), FCNPJ(std::move(cnpj)) {}

  // The current rows of TBMSAut and TBPadrao (with no row, empty texts).
  static TDadosCaixa Ler(TFbQuery& TBMSAut, TFbQuery& TBPadrao);
  // The values that `chave` and `cgc` read; a failure of either is kept.
  static TDadosCaixa Ler(const std::function<std::string()>& chave, const std::function<std::string()>& cgc);

  const std::string& ChaveAcessoIntegrador() const;
  const std::string& CNPJ() const;

 private:
  std::string FChaveAcessoIntegrador;
  std::string FCNPJ;
  std::exception_ptr FErroChave;
  std::exception_ptr FErroCNPJ;
};

}  // namespace pagvigia
