#include "vfpe/vfpe_writers.h"

#include "util/numeros.h"

namespace pagvigia {

void TMetodo::GerarMetodo(std::int32_t Valor, const std::string& Componente, const std::string& Metodo) {
  FGerador.wGrupo("Integrador");
  FGerador.wGrupo("Identificador");
  FGerador.wCampo(tcStr, "", "Valor", 1, 99, 1, Valor, "Valor do Identificador");
  FGerador.wGrupo("/Identificador");
  FGerador.wGrupo("Componente Nome=\"" + Componente + "\"");
  FGerador.wGrupo("Metodo Nome=\"" + Metodo + "\"");
  if (AdicionarParametros) FGerador.wGrupo("Parametros");
}

void TMetodo::FinalizarMetodo() {
  if (AdicionarParametros) FGerador.wGrupo("/Parametros");
  FGerador.wGrupo("/Metodo");
  FGerador.wGrupo("/Componente");
  FGerador.wGrupo("/Integrador");
}

void TConstrutor::GerarConstructor(const std::string& Nome, const std::string& Valor) {
  FGerador.wGrupo("Construtor");
  FGerador.wGrupo("Parametros");
  FGerador.wGrupo("Parametro");
  FGerador.wCampo(tcStr, "", "Nome", 1, 99, 1, Nome, "Nome do Construtor");
  FGerador.wCampo(tcStr, "", "Valor", 1, 99, 1, Valor, "Valor do Construtor");
  FGerador.wGrupo("/Parametro");
  FGerador.wGrupo("/Parametros");
  FGerador.wGrupo("/Construtor");
}

void TParametro::GerarParametro(const std::string& Nome, const TVariant& Valor, TTipoCampo Tipo,
                                bool ParseTextoXML) {
  FGerador.wGrupo("Parametro");
  FGerador.wCampo(tcStr, "", "Nome", 1, 99, 1, Nome, "Nome do Parâmetro", true);
  FGerador.wCampo(Tipo, "", "Valor", 1, 99, 1, Valor, "Valor do Parâmetro", ParseTextoXML);
  FGerador.wGrupo("/Parametro");
}

namespace {

// The frame shared by the four commands: envelope, constructor block with the
// validator's access key, the method's parameters, closing tags. Returns true
// when the generator recorded no alert.
template <typename EscreverParametros>
bool GerarComando(TGerador& gerador, std::int32_t identificador, const std::string& chaveAcessoValidador,
                  const std::string& metodo, EscreverParametros escreverParametros) {
  gerador.LayoutArquivoTXT.clear();
  gerador.ArquivoFormatoXML.clear();
  gerador.ArquivoFormatoTXT.clear();

  TMetodo m(gerador);
  m.AdicionarParametros = false;
  m.GerarMetodo(identificador, "VFP-e", metodo);

  TConstrutor(gerador).GerarConstructor("chaveAcessoValidador", chaveAcessoValidador);

  gerador.wGrupo("Parametros");
  TParametro p(gerador);
  escreverParametros(p);

  m.AdicionarParametros = true;
  m.FinalizarMetodo();
  return gerador.ListaDeAlertas.empty();
}

}  // namespace

bool TEnviarPagamentoW::GerarXml() {
  const TEnviarPagamento& r = *EnviarPagamento;
  return GerarComando(FGerador, r.Identificador, r.ChaveAcessoValidador, "EnviarPagamento",
                      [&r](TParametro& p) {
                        p.GerarParametro("ChaveRequisicao", r.ChaveRequisicao, tcStr);
                        p.GerarParametro("Estabelecimento", r.Estabelecimento, tcStr);
                        p.GerarParametro("SerialPos", r.SerialPOS, tcStr);
                        p.GerarParametro("Cnpj", r.CNPJ, tcStr);
                        p.GerarParametro("IcmsBase", r.IcmsBase, tcDe2);
                        // With the fixed key the total goes in its short form with ",".
                        if (r.ChaveAcessoValidador == cChaveAcessoIntegrador)
                          p.GerarParametro("ValorTotalVenda", FloatToString(r.ValorTotalVenda, ',', ""), tcStr);
                        else
                          p.GerarParametro("ValorTotalVenda", r.ValorTotalVenda, tcDe2);
                        p.GerarParametro("HabilitarMultiplosPagamentos", r.HabilitarMultiplosPagamentos, tcBoolStr);
                        p.GerarParametro("HabilitarControleAntiFraude", r.HabilitarControleAntiFraude, tcBoolStr);
                        p.GerarParametro("CodigoMoeda", r.CodigoMoeda, tcStr);
                        p.GerarParametro("EmitirCupomNFCE", r.EmitirCupomNFCE, tcBoolStr);
                        p.GerarParametro("OrigemPagamento", r.OrigemPagamento, tcStr);
                      });
}

bool TStatusPagamentoW::GerarXml() {
  const TStatusPagamento& r = *StatusPagamento;
  return GerarComando(FGerador, r.Identificador, r.ChaveAcessoValidador, "EnviarStatusPagamento",
                      [&r](TParametro& p) {
                        p.GerarParametro("CodigoAutorizacao", r.CodigoAutorizacao, tcStr);
                        p.GerarParametro("Bin", r.Bin, tcStr);
                        p.GerarParametro("DonoCartao", r.DonoCartao, tcStr);
                        p.GerarParametro("DataExpiracao", r.DataExpiracao, tcStr);
                        p.GerarParametro("InstituicaoFinanceira", r.InstituicaoFinanceira, tcStr);
                        p.GerarParametro("Parcelas", r.Parcelas, tcInt);
                        p.GerarParametro("CodigoPagamento", r.CodigoPagamento, tcStr);
                        p.GerarParametro("ValorPagamento", r.ValorPagamento, tcDe2);
                        p.GerarParametro("idFila", r.IDFila, tcInt);
                        p.GerarParametro("Tipo", r.Tipo, tcStr);
                        p.GerarParametro("UltimosQuatroDigitos", r.UltimosQuatroDigitos, tcInt);
                      });
}

bool TRespostaFiscalW::GerarXml() {
  const TRespostaFiscal& r = *RespostaFiscal;
  return GerarComando(FGerador, r.Identificador, r.ChaveAcessoValidador, "RespostaFiscal",
                      [&r](TParametro& p) {
                        p.GerarParametro("idFila", r.IDFila, tcInt);
                        p.GerarParametro("ChaveAcesso", r.ChaveAcesso, tcStr);
                        p.GerarParametro("Nsu", r.Nsu, tcStr);
                        p.GerarParametro("NumerodeAprovacao", r.NumerodeAprovacao, tcStr);
                        p.GerarParametro("Bandeira", r.Bandeira, tcStr);
                        p.GerarParametro("Adquirente", r.Adquirente, tcStr);
                        p.GerarParametro("CNPJ", r.CNPJ, tcStr);
                        p.GerarParametro("ImpressaoFiscal", r.ImpressaoFiscal, tcStr);
                        p.GerarParametro("NumeroDocumento", r.NumeroDocumento, tcStr);
                      });
}

bool TVerificarStatusValidadorW::GerarXml() {
  const TVerificarStatusValidador& r = *VerificarStatusValidador;
  return GerarComando(FGerador, r.Identificador, r.ChaveAcessoValidador, "VerificarStatusValidador",
                      [&r](TParametro& p) {
                        p.GerarParametro("idFila", r.IDFila, tcInt);
                        p.GerarParametro("cnpj", r.CNPJ, tcStr);
                      });
}

}  // namespace pagvigia
