#include "vfpe/vfpe_records.h"

#include <gtest/gtest.h>

#include "util/conversao.h"

namespace pagvigia {
namespace {

TEST(Registros, EnviarPagamentoClearKeepsTheSettingsOfTheSale) {
  TEnviarPagamento p;
  EXPECT_EQ(p.CodigoMoeda, "");
  EXPECT_FALSE(p.HabilitarMultiplosPagamentos);
  p.Identificador = 1;
  p.ChaveAcessoValidador = p.ChaveRequisicao = p.Estabelecimento = p.SerialPOS = p.CNPJ = "x";
  p.IcmsBase = 1.5;
  p.ValorTotalVenda = 2.5;
  p.HabilitarMultiplosPagamentos = p.HabilitarControleAntiFraude = p.EmitirCupomNFCE = true;
  p.CodigoMoeda = "BRL";
  p.OrigemPagamento = "PDV";
  p.Clear();
  EXPECT_EQ(p.Identificador, 0);
  EXPECT_EQ(p.ChaveAcessoValidador + p.ChaveRequisicao + p.Estabelecimento + p.SerialPOS + p.CNPJ, "");
  EXPECT_EQ(p.IcmsBase, 0);
  EXPECT_EQ(p.ValorTotalVenda, 0);
  EXPECT_TRUE(p.HabilitarMultiplosPagamentos && p.HabilitarControleAntiFraude && p.EmitirCupomNFCE);
  EXPECT_EQ(p.CodigoMoeda, "BRL");
  EXPECT_EQ(p.OrigemPagamento, "PDV");
}

TEST(Registros, OtherRequestsClearEveryField) {
  TStatusPagamento s;
  s.Identificador = s.Parcelas = s.IDFila = s.UltimosQuatroDigitos = 9;
  s.ChaveAcessoValidador = s.CodigoAutorizacao = s.Bin = s.DonoCartao = s.DataExpiracao = "x";
  s.InstituicaoFinanceira = s.CodigoPagamento = s.Tipo = "x";
  s.ValorPagamento = 1;
  s.Clear();
  EXPECT_EQ(s.Identificador + s.Parcelas + s.IDFila + s.UltimosQuatroDigitos, 0);
  EXPECT_EQ(s.ChaveAcessoValidador + s.CodigoAutorizacao + s.Bin + s.DonoCartao + s.DataExpiracao +
                s.InstituicaoFinanceira + s.CodigoPagamento + s.Tipo,
            "");
  EXPECT_EQ(s.ValorPagamento, 0);

  TRespostaFiscal f;
  f.Identificador = f.IDFila = 3;
  f.ChaveAcessoValidador = f.ChaveAcesso = f.Nsu = f.NumerodeAprovacao = f.Bandeira = "x";
  f.Adquirente = f.CNPJ = f.ImpressaoFiscal = f.NumeroDocumento = "x";
  f.Clear();
  EXPECT_EQ(f.Identificador + f.IDFila, 0);
  EXPECT_EQ(f.ChaveAcessoValidador + f.ChaveAcesso + f.Nsu + f.NumerodeAprovacao + f.Bandeira + f.Adquirente +
                f.CNPJ + f.ImpressaoFiscal + f.NumeroDocumento,
            "");

  TVerificarStatusValidador v;
  v.Identificador = v.IDFila = 4;
  v.ChaveAcessoValidador = v.CNPJ = "x";
  v.Clear();
  EXPECT_EQ(v.Identificador + v.IDFila, 0);
  EXPECT_EQ(v.ChaveAcessoValidador + v.CNPJ, "");
}

TEST(Registros, ResponsesClearAllButTheAnswerText) {
  TRespostaPagamento p;
  p.IntegradorResposta.Identificador = 1;
  p.IntegradorResposta.Codigo = p.IntegradorResposta.Valor = "x";
  p.IDPagamento = 2;
  p.Mensagem = p.StatusPagamento = p.Retorno = "x";
  p.XML = "<a/>";
  p.Clear();
  EXPECT_EQ(p.IntegradorResposta.Identificador + p.IDPagamento, 0);
  EXPECT_EQ(p.IntegradorResposta.Codigo + p.IntegradorResposta.Valor + p.Mensagem + p.StatusPagamento + p.Retorno,
            "");
  EXPECT_EQ(p.XML, "<a/>");

  TRespostaStatusPagamento s;
  s.IntegradorResposta.Codigo = s.Retorno = "x";
  s.XML = "<b/>";
  s.Clear();
  EXPECT_EQ(s.IntegradorResposta.Codigo + s.Retorno, "");
  EXPECT_EQ(s.XML, "<b/>");

  TRetornoRespostaFiscal f;
  f.IntegradorResposta.Codigo = f.IdRespostaFiscal = "x";
  f.XML = "<c/>";
  f.Clear();
  EXPECT_EQ(f.IntegradorResposta.Codigo + f.IdRespostaFiscal, "");
  EXPECT_EQ(f.XML, "<c/>");

  TRespostaVerificarStatusValidador v;
  v.IntegradorResposta.Identificador = v.Parcelas = v.UltimosQuatroDigitos = v.IDFila = 5;
  v.CodigoAutorizacao = v.Bin = v.DonoCartao = v.DataExpiracao = v.InstituicaoFinanceira = "x";
  v.CodigoPagamento = v.Tipo = v.Retorno = "x";
  v.ValorPagamento = 5;
  v.XML = "<d/>";
  v.Clear();
  EXPECT_EQ(v.IntegradorResposta.Identificador + v.Parcelas + v.UltimosQuatroDigitos + v.IDFila, 0);
  EXPECT_EQ(v.CodigoAutorizacao + v.Bin + v.DonoCartao + v.DataExpiracao + v.InstituicaoFinanceira +
                v.CodigoPagamento + v.Tipo + v.Retorno,
            "");
  EXPECT_EQ(v.ValorPagamento, 0);
  EXPECT_EQ(v.XML, "<d/>");
}

TEST(Registros, AnswerTextIsKeptAsItSurvivesTheCodePage) {
  TRespostaPagamento p;
  p.AsXMLString("<Integrador><Mensagem>Ação → ok</Mensagem></Integrador>");
  EXPECT_EQ(p.XML, "<Integrador><Mensagem>Ação ? ok</Mensagem></Integrador>");
  EXPECT_EQ(p.Mensagem, "Ação ? ok");
}

TEST(Registros, PaymentRequestReadBackFromXml) {
  TEnviarPagamento p;
  p.CodigoMoeda = "BRL";
  p.AsXMLString(
      "<EnviarPagamento><identificador> 123 </identificador><chaveAcessoValidador>K-1</chaveAcessoValidador>"
      "<chaveRequisicao>R-1</chaveRequisicao><Estabelecimento>15</Estabelecimento><CNPJ>11222333000181</CNPJ>"
      "<SerialPOS>5C21</SerialPOS><IcmsBase>1,25</IcmsBase><ValorTotalVenda>25.50</ValorTotalVenda>"
      "</EnviarPagamento>");
  EXPECT_EQ(p.Identificador, 123);
  EXPECT_EQ(p.ChaveAcessoValidador, "K-1");
  EXPECT_EQ(p.ChaveRequisicao, "R-1");
  EXPECT_EQ(p.Estabelecimento, "15");
  EXPECT_EQ(p.CNPJ, "11222333000181");
  EXPECT_EQ(p.SerialPOS, "5C21");
  EXPECT_DOUBLE_EQ(p.IcmsBase, 1.25);
  EXPECT_DOUBLE_EQ(p.ValorTotalVenda, 25.5);
  EXPECT_EQ(p.CodigoMoeda, "BRL");

  // The command the writer produces has no identificador element of its own.
  EXPECT_THROW(p.AsXMLString(p.AsXMLString()), EConvertError);
  EXPECT_THROW(p.AsXMLString("<identificador>12x</identificador><CNPJ>1</CNPJ>"), EConvertError);
  EXPECT_EQ(p.CNPJ, "") << "cleared, and nothing read after the failure";
  EXPECT_THROW(p.AsXMLString("<identificador>99999999999</identificador>"), EConvertError);
}

}  // namespace
}  // namespace pagvigia
