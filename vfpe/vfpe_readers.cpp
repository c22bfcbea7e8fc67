#include "vfpe/vfpe_readers.h"

#include <cstdint>
#include <limits>

#include "util/conversao.h"
#include "util/texto.h"

namespace pagvigia {
namespace {

// A whole decimal integer (optional sign, blanks around it), nothing else.
std::int32_t InteiroDecimal(const std::string& texto) {
  const std::string s = Trim(texto);
  std::size_t i = 0;
  bool negativo = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negativo = s[i++] == '-';
  if (i == s.size()) throw EConvertError("'" + texto + "' is not a valid integer value");
  std::int64_t n = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9' || n > std::numeric_limits<std::int32_t>::max() + 1LL)
      throw EConvertError("'" + texto + "' is not a valid integer value");
    n = n * 10 + (s[i] - '0');
  }
  if (negativo) n = -n;
  if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
    throw EConvertError("'" + texto + "' is not a valid integer value");
  return static_cast<std::int32_t>(n);
}

// True when the answer names neither a retorno nor the Integrador: a plain
// text answer that is kept whole.
bool TextoSimples(const std::string& texto) {
  const std::string u = UpperCase(texto);
  return u.find("RETORNO") == std::string::npos && u.find("INTEGRADOR") == std::string::npos;
}

}  // namespace

void TRespostaPagamentoR::LerXml() {
  FLeitor.SetGrupo(FLeitor.Arquivo());
  TRespostaPagamento& r = *RespostaPagamento;
  r.Clear();
  r.IDPagamento = FLeitor.rCampo(tcInt, "IDPagamento").AsInteger();
  r.Mensagem = FLeitor.rCampo(tcStr, "Mensagem").AsString();
  r.StatusPagamento = FLeitor.rCampo(tcStr, "StatusPagamento").AsString();
  r.Retorno = FLeitor.rCampo(tcStr, "retorno").AsString();
  r.IntegradorResposta.LerResposta(FLeitor.Arquivo());
}

bool TRespostaStatusPagamentoR::LerXml() {
  FLeitor.SetGrupo(FLeitor.Arquivo());
  TRespostaStatusPagamento& r = *RespostaStatusPagamento;
  r.Clear();
  if (TextoSimples(FLeitor.Arquivo())) {
    r.Retorno = FLeitor.Arquivo();
    return true;
  }
  r.Retorno = FLeitor.rCampo(tcStr, "retorno").AsString();
  r.IntegradorResposta.LerResposta(FLeitor.Arquivo());
  return true;
}

void TRetornoRespostaFiscalR::LerXml() {
  FLeitor.SetGrupo(FLeitor.Arquivo());
  TRetornoRespostaFiscal& r = *RetornoRespostaFiscal;
  r.Clear();
  if (TextoSimples(FLeitor.Arquivo())) {
    r.IdRespostaFiscal = FLeitor.Arquivo();
    return;
  }
  r.IdRespostaFiscal = FLeitor.rCampo(tcStr, "retorno").AsString();
  r.IntegradorResposta.LerResposta(FLeitor.Arquivo());
}

void TRespostaVerificarStatusValidadorR::LerXml() {
  FLeitor.SetGrupo(FLeitor.Arquivo());
  TRespostaVerificarStatusValidador& r = *RespostaVerificarStatusValidador;
  r.Clear();
  r.CodigoAutorizacao = FLeitor.rCampo(tcStr, "CodigoAutorizacao").AsString();
  r.Bin = FLeitor.rCampo(tcStr, "Bin").AsString();
  r.DonoCartao = FLeitor.rCampo(tcStr, "DonoCartao").AsString();
  r.DataExpiracao = FLeitor.rCampo(tcStr, "DataExpiracao").AsString();
  r.InstituicaoFinanceira = FLeitor.rCampo(tcStr, "InstituicaoFinanceira").AsString();
  r.Parcelas = FLeitor.rCampo(tcInt, "Parcelas").AsInteger();
  r.UltimosQuatroDigitos = FLeitor.rCampo(tcInt, "UltimosQuatroDigitos").AsInteger();
  r.CodigoPagamento = FLeitor.rCampo(tcStr, "CodigoPagamento").AsString();
  r.ValorPagamento = FLeitor.rCampo(tcDe2, "ValorPagamento").AsDouble();
  r.IDFila = FLeitor.rCampo(tcInt, "idFila").AsInteger();
  r.Tipo = FLeitor.rCampo(tcStr, "Tipo").AsString();
  r.Retorno = FLeitor.rCampo(tcStr, "retorno").AsString();
  r.IntegradorResposta.LerResposta(FLeitor.Arquivo());
}

void TEnviarPagamentoR::LerXml() {
  FLeitor.SetGrupo(FLeitor.Arquivo());
  TEnviarPagamento& r = *EnviarPagamento;
  r.Clear();
  r.Identificador = InteiroDecimal(FLeitor.rCampo(tcStr, "identificador").AsString());
  r.ChaveAcessoValidador = FLeitor.rCampo(tcStr, "chaveAcessoValidador").AsString();
  r.ChaveRequisicao = FLeitor.rCampo(tcStr, "chaveRequisicao").AsString();
  r.Estabelecimento = FLeitor.rCampo(tcStr, "Estabelecimento").AsString();
  r.CNPJ = FLeitor.rCampo(tcStr, "CNPJ").AsString();
  r.SerialPOS = FLeitor.rCampo(tcStr, "SerialPOS").AsString();
  r.IcmsBase = FLeitor.rCampo(tcDe2, "IcmsBase").AsDouble();
  r.ValorTotalVenda = FLeitor.rCampo(tcDe2, "ValorTotalVenda").AsDouble();
}

}  // namespace pagvigia
