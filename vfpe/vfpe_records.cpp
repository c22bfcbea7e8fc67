#include "vfpe/vfpe_records.h"

#include "platform/codepage.h"
#include "vfpe/vfpe_readers.h"
#include "vfpe/vfpe_writers.h"

namespace pagvigia {
namespace {

// Builds the command with a fresh writer (and so a fresh generator: alerts
// never accumulate) and returns it as it will travel, in the ANSI code page.
template <typename Writer, typename Record>
std::string ComandoXml(const Record* record) {
  Writer writer(record);
  writer.Opcoes().IdentarXML = false;
  writer.GerarXml();  // alerts do not stop the command
  return platform::AnsiRoundTrip(writer.Gerador().ArquivoFormatoXML);
}

template <typename Reader, typename Record>
void LerResposta(Record* record, const std::string& texto) {
  Reader reader(record);
  reader.Leitor().SetArquivo(texto);
  reader.LerXml();
}

}  // namespace

// Requests -------------------------------------------------------------------

void TEnviarPagamento::Clear() {
  Identificador = 0;
  ChaveAcessoValidador.clear();
  ChaveRequisicao.clear();
  Estabelecimento.clear();
  SerialPOS.clear();
  CNPJ.clear();
  IcmsBase = 0;
  ValorTotalVenda = 0;
}

std::string TEnviarPagamento::GetXMLString() const { return ComandoXml<TEnviarPagamentoW>(this); }

void TEnviarPagamento::SetXMLString(const std::string& AValue) {
  LerResposta<TEnviarPagamentoR>(this, platform::AnsiRoundTrip(AValue));
}

void TStatusPagamento::Clear() {
  Identificador = 0;
  ChaveAcessoValidador.clear();
  CodigoAutorizacao.clear();
  Bin.clear();
  DonoCartao.clear();
  DataExpiracao.clear();
  InstituicaoFinanceira.clear();
  Parcelas = 0;
  CodigoPagamento.clear();
  ValorPagamento = 0;
  IDFila = 0;
  Tipo.clear();
  UltimosQuatroDigitos = 0;
}

std::string TStatusPagamento::GetXMLString() const { return ComandoXml<TStatusPagamentoW>(this); }

void TRespostaFiscal::Clear() {
  Identificador = 0;
  ChaveAcessoValidador.clear();
  IDFila = 0;
  ChaveAcesso.clear();
  Nsu.clear();
  NumerodeAprovacao.clear();
  Bandeira.clear();
  Adquirente.clear();
  CNPJ.clear();
  ImpressaoFiscal.clear();
  NumeroDocumento.clear();
}

std::string TRespostaFiscal::GetXMLString() const { return ComandoXml<TRespostaFiscalW>(this); }

void TVerificarStatusValidador::Clear() {
  Identificador = 0;
  ChaveAcessoValidador.clear();
  IDFila = 0;
  CNPJ.clear();
}

std::string TVerificarStatusValidador::GetXMLString() const {
  return ComandoXml<TVerificarStatusValidadorW>(this);
}

// Responses ------------------------------------------------------------------

void TRespostaPagamento::Clear() {
  IntegradorResposta.Clear();
  IDPagamento = 0;
  Mensagem.clear();
  StatusPagamento.clear();
  Retorno.clear();
}

void TRespostaPagamento::SetXMLString(const std::string& AValue) {
  XML = platform::AnsiRoundTrip(AValue);
  LerResposta<TRespostaPagamentoR>(this, XML);
}

void TRespostaStatusPagamento::Clear() {
  IntegradorResposta.Clear();
  Retorno.clear();
}

void TRespostaStatusPagamento::SetXMLString(const std::string& AValue) {
  XML = platform::AnsiRoundTrip(AValue);
  LerResposta<TRespostaStatusPagamentoR>(this, XML);
}

void TRetornoRespostaFiscal::Clear() {
  IntegradorResposta.Clear();
  IdRespostaFiscal.clear();
}

void TRetornoRespostaFiscal::SetXMLString(const std::string& AValue) {
  XML = platform::AnsiRoundTrip(AValue);
  LerResposta<TRetornoRespostaFiscalR>(this, XML);
}

void TRespostaVerificarStatusValidador::Clear() {
  IntegradorResposta.Clear();
  CodigoAutorizacao.clear();
  Bin.clear();
  DonoCartao.clear();
  DataExpiracao.clear();
  InstituicaoFinanceira.clear();
  Parcelas = 0;
  UltimosQuatroDigitos = 0;
  CodigoPagamento.clear();
  ValorPagamento = 0;
  IDFila = 0;
  Tipo.clear();
  Retorno.clear();
}

void TRespostaVerificarStatusValidador::SetXMLString(const std::string& AValue) {
  XML = platform::AnsiRoundTrip(AValue);
  LerResposta<TRespostaVerificarStatusValidadorR>(this, XML);
}

}  // namespace pagvigia
