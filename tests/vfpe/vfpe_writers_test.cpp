#include "vfpe/vfpe_writers.h"

#include <gtest/gtest.h>

#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

const std::string kChave = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D";
const std::string kRequisicao = "26ba6c6e-3b16-4c31-95a2-1f8ee8b1a5e2";

std::string Inicio(const std::string& metodo, const std::string& id, const std::string& chave) {
  return "<Integrador><Identificador><Valor>" + id + "</Valor></Identificador>" +
         "<Componente Nome=\"VFP-e\"><Metodo Nome=\"" + metodo + "\">" +
         "<Construtor><Parametros><Parametro><Nome>chaveAcessoValidador</Nome>" +
         (chave.empty() ? "<Valor/>" : "<Valor>" + chave + "</Valor>") +
         "</Parametro></Parametros></Construtor><Parametros>";
}

std::string Par(const std::string& nome, const std::string& valor) {
  return "<Parametro><Nome>" + nome + "</Nome>" + (valor.empty() ? "<Valor/>" : "<Valor>" + valor + "</Valor>") +
         "</Parametro>";
}

const std::string kFim = "</Parametros></Metodo></Componente></Integrador>";

TEnviarPagamento ExemploPagamento() {
  TEnviarPagamento p;
  p.Identificador = 483920;
  p.ChaveAcessoValidador = kChave;
  p.ChaveRequisicao = kRequisicao;
  p.Estabelecimento = "15";
  p.SerialPOS = "5C219486";
  p.CNPJ = "11222333000181";
  p.IcmsBase = 0;
  p.ValorTotalVenda = 25.5;
  p.CodigoMoeda = "BRL";
  return p;
}

// The worked example of the EnviarPagamento command, piece by piece.
TEST(EnviarPagamentoW, WorkedExampleByteForByte) {
  const TEnviarPagamento p = ExemploPagamento();
  const std::string esperado =
      std::string("<Integrador><Identificador><Valor>483920</Valor></Identificador>") +
      "<Componente Nome=\"VFP-e\"><Metodo Nome=\"EnviarPagamento\">" +
      "<Construtor><Parametros><Parametro><Nome>chaveAcessoValidador</Nome><Valor>" + kChave +
      "</Valor></Parametro></Parametros></Construtor><Parametros>" +
      "<Parametro><Nome>ChaveRequisicao</Nome><Valor>" + kRequisicao + "</Valor></Parametro>" +
      "<Parametro><Nome>Estabelecimento</Nome><Valor>15</Valor></Parametro>" +
      "<Parametro><Nome>SerialPos</Nome><Valor>5C219486</Valor></Parametro>" +
      "<Parametro><Nome>Cnpj</Nome><Valor>11222333000181</Valor></Parametro>" +
      "<Parametro><Nome>IcmsBase</Nome><Valor>0.00</Valor></Parametro>" +
      "<Parametro><Nome>ValorTotalVenda</Nome><Valor>25.50</Valor></Parametro>" +
      "<Parametro><Nome>HabilitarMultiplosPagamentos</Nome><Valor>false</Valor></Parametro>" +
      "<Parametro><Nome>HabilitarControleAntiFraude</Nome><Valor>false</Valor></Parametro>" +
      "<Parametro><Nome>CodigoMoeda</Nome><Valor>BRL</Valor></Parametro>" +
      "<Parametro><Nome>EmitirCupomNFCE</Nome><Valor>false</Valor></Parametro>" +
      "<Parametro><Nome>OrigemPagamento</Nome><Valor/></Parametro>" +
      "</Parametros></Metodo></Componente></Integrador>";
  EXPECT_EQ(p.AsXMLString(), esperado);

  TEnviarPagamentoW w(&p);
  EXPECT_FALSE(w.GerarXml()) << "the empty OrigemPagamento is an alert";
  EXPECT_EQ(w.Gerador().ArquivoFormatoXML, esperado);
  ASSERT_EQ(w.Gerador().ListaDeAlertas.size(), 1u);
  EXPECT_EQ(w.Gerador().ListaDeAlertas[0],
            "TAG:<Integrador><Componente Nome=\"VFP-e\"><Metodo Nome=\"EnviarPagamento\"><Parametros>"
            "<Parametro> ID:/Valor(Valor do Parâmetro) - Nenhum valor informado.");
}

TEST(EnviarPagamentoW, TotalWithTheFixedKeyInItsShortForm) {
  TEnviarPagamento p = ExemploPagamento();
  p.ChaveAcessoValidador = cChaveAcessoIntegrador;
  p.ValorTotalVenda = 1234.5;
  EXPECT_NE(p.AsXMLString().find(Par("ValorTotalVenda", "1234,5")), std::string::npos);
  p.ValorTotalVenda = 25.0;
  EXPECT_NE(p.AsXMLString().find(Par("ValorTotalVenda", "25")), std::string::npos);
  p.ValorTotalVenda = 0;
  EXPECT_NE(p.AsXMLString().find(Par("ValorTotalVenda", "0")), std::string::npos);

  p.ChaveAcessoValidador = "7d41a0c2-58e6-4b1f-a39d-e0c6b2f4917a";  // the key compares exactly
  p.ValorTotalVenda = 1234.5;
  EXPECT_NE(p.AsXMLString().find(Par("ValorTotalVenda", "1234.50")), std::string::npos);
}

TEST(EnviarPagamentoW, FreshRecordGivesACompleteCommand) {
  TEnviarPagamento p;
  const std::string esperado = Inicio("EnviarPagamento", "0", "") + Par("ChaveRequisicao", "") +
                               Par("Estabelecimento", "") + Par("SerialPos", "") + Par("Cnpj", "") +
                               Par("IcmsBase", "0.00") + Par("ValorTotalVenda", "0.00") +
                               Par("HabilitarMultiplosPagamentos", "false") +
                               Par("HabilitarControleAntiFraude", "false") + Par("CodigoMoeda", "") +
                               Par("EmitirCupomNFCE", "false") + Par("OrigemPagamento", "") + kFim;
  EXPECT_EQ(p.AsXMLString(), esperado);
  TEnviarPagamentoW w(&p);
  EXPECT_FALSE(w.GerarXml());
  EXPECT_EQ(w.Gerador().ListaDeAlertas.size(), 7u);  // the key and six strings
}

TEST(StatusPagamentoW, CommandByteForByte) {
  TStatusPagamento s;
  s.Identificador = 17;
  s.ChaveAcessoValidador = kChave;
  s.CodigoAutorizacao = "A1B2C3";
  s.Bin = "516292";
  s.DonoCartao = "JOÃO DA CONCEIÇÃO";
  s.DataExpiracao = "12/29";
  s.InstituicaoFinanceira = "Stone & Cia";
  s.Parcelas = 1;
  s.CodigoPagamento = "44551";
  s.ValorPagamento = 103.455;
  s.IDFila = 998877;
  s.Tipo = "TEF";
  s.UltimosQuatroDigitos = 0;
  const std::string esperado =
      Inicio("EnviarStatusPagamento", "17", kChave) + Par("CodigoAutorizacao", "A1B2C3") + Par("Bin", "516292") +
      Par("DonoCartao", "JOAO DA CONCEICAO") + Par("DataExpiracao", "12/29") +
      Par("InstituicaoFinanceira", "Stone &amp; Cia") + Par("Parcelas", "1") + Par("CodigoPagamento", "44551") +
      Par("ValorPagamento", "103.45") + Par("idFila", "998877") + Par("Tipo", "TEF") +
      Par("UltimosQuatroDigitos", "0") + kFim;
  EXPECT_EQ(s.AsXMLString(), esperado);
  TStatusPagamentoW w(&s);
  EXPECT_TRUE(w.GerarXml());
  EXPECT_EQ(s.AsXMLString(), s.AsXMLString()) << "no state carried between calls";
}

TEST(RespostaFiscalW, CommandByteForByteWithAReceiptInside) {
  TRespostaFiscal f;
  f.Identificador = 999998;
  f.ChaveAcessoValidador = kChave;
  f.IDFila = 4321;
  f.ChaveAcesso = "CFe35261211222333000181599000108800001234567890";
  f.Nsu = "000123";
  f.NumerodeAprovacao = "654321";
  f.Bandeira = "MASTERCARD";
  f.Adquirente = "REDE";
  f.CNPJ = "11222333000181";
  f.ImpressaoFiscal =
      "<?xml version=\"1.0\"?>\r\n<CFe>\r\n  <infCFe versao=\"0.08\">\r\n    <xNome>Padaria   Pão Quente</xNome>\r\n"
      "  </infCFe>\r\n</CFe>\r\n";
  f.NumeroDocumento = "1088";
  const std::string recibo =
      "&lt;?xml version=&quot;1.0&quot;?&gt;;&lt;CFe&gt;; &lt;infCFe versao=&quot;0.08&quot;&gt;; "
      "&lt;xNome&gt;Padaria Pao Quente&lt;/xNome&gt;; &lt;/infCFe&gt;;&lt;/CFe&gt;";
  const std::string esperado = Inicio("RespostaFiscal", "999998", kChave) + Par("idFila", "4321") +
                               Par("ChaveAcesso", f.ChaveAcesso) + Par("Nsu", "000123") +
                               Par("NumerodeAprovacao", "654321") + Par("Bandeira", "MASTERCARD") +
                               Par("Adquirente", "REDE") + Par("CNPJ", "11222333000181") +
                               Par("ImpressaoFiscal", recibo) + Par("NumeroDocumento", "1088") + kFim;
  EXPECT_EQ(f.AsXMLString(), esperado);

  TRespostaFiscalW w(&f);
  EXPECT_FALSE(w.GerarXml()) << "the receipt is longer than 99 characters";
  ASSERT_EQ(w.Gerador().ListaDeAlertas.size(), 1u);
  EXPECT_NE(w.Gerador().ListaDeAlertas[0].find("Tamanho maior que o máximo permitido [<?xml"), std::string::npos);
}

TEST(VerificarStatusValidadorW, CommandByteForByte) {
  TVerificarStatusValidador v;
  v.Identificador = 5;
  v.ChaveAcessoValidador = kChave;
  v.IDFila = 0;
  v.CNPJ = " 11222333000181 ";
  EXPECT_EQ(v.AsXMLString(), Inicio("VerificarStatusValidador", "5", kChave) + Par("idFila", "0") +
                                 Par("cnpj", "11222333000181") + kFim);
}

TEST(Envelope, BuildersForGenericCommands) {
  TGerador g;
  TMetodo m(g);
  m.GerarMetodo(42, "Componente X", "ConsultarNumeroSessao");
  TParametro(g).GerarParametro("numeroSessao", 41, tcInt);
  TParametro(g).GerarParametro("texto", "a<b", tcStr, false);
  m.FinalizarMetodo();
  EXPECT_EQ(g.ArquivoFormatoXML,
            "<Integrador><Identificador><Valor>42</Valor></Identificador>"
            "<Componente Nome=\"Componente X\"><Metodo Nome=\"ConsultarNumeroSessao\"><Parametros>" +
                Par("numeroSessao", "41") + Par("texto", "a<b") + kFim);
  EXPECT_TRUE(g.ListaDeAlertas.empty());
}

TEST(Envelope, LongKeyWrittenInFull) {
  TEnviarPagamento p = ExemploPagamento();
  p.OrigemPagamento = "PDV";
  p.ChaveAcessoValidador = std::string(120, 'K');
  TEnviarPagamentoW w(&p);
  EXPECT_FALSE(w.GerarXml());
  EXPECT_NE(w.Gerador().ArquivoFormatoXML.find("<Valor>" + std::string(120, 'K') + "</Valor>"), std::string::npos);
  ASSERT_EQ(w.Gerador().ListaDeAlertas.size(), 1u);
  EXPECT_NE(w.Gerador().ListaDeAlertas[0].find("(Valor do Construtor) - Tamanho maior"), std::string::npos);
}

TEST(Envelope, ValuesBecomePlainSevenBitText) {
  TStatusPagamento s;
  s.DonoCartao = "Zoë\t€ → ok";  // the euro sign is no letter, the arrow is outside the code page
  const std::string xml = s.AsXMLString();
  EXPECT_NE(xml.find(Par("DonoCartao", "Zoe ? ok")), std::string::npos) << xml;
}

}  // namespace
}  // namespace pagvigia
