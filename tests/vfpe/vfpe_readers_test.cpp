#include "vfpe/vfpe_readers.h"

#include <gtest/gtest.h>

#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

std::string Envelope(const std::string& id, const std::string& codigo, const std::string& valor,
                     const std::string& resposta) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Integrador>\r\n"
         "  <Identificador>\r\n    <Valor>" + id + "</Valor>\r\n  </Identificador>\r\n"
         "  <IntegradorResposta>\r\n    <Codigo>" + codigo + "</Codigo>\r\n    <Valor>" + valor +
         "</Valor>\r\n  </IntegradorResposta>\r\n  <Resposta>\r\n" + resposta +
         "  </Resposta>\r\n</Integrador>\r\n";
}

TEST(RespostaPagamentoR, AcceptedPayment) {
  const std::string xml = Envelope("483920", "AP", "Requisição recebida", R"(    <IDPagamento>1 234</IDPagamento>
    <Mensagem>Transação armazenada &amp; aguardando</Mensagem>
    <StatusPagamento>SalvoEmArmazenamentoLocal</StatusPagamento>
)");
  TRespostaPagamento r;
  r.AsXMLString(xml);
  EXPECT_EQ(r.XML, xml);
  EXPECT_EQ(r.IDPagamento, 1234);
  EXPECT_EQ(r.Mensagem, "Transação armazenada & aguardando");
  EXPECT_EQ(r.StatusPagamento, "SalvoEmArmazenamentoLocal");
  EXPECT_EQ(r.Retorno, "");
  EXPECT_EQ(r.IntegradorResposta.Identificador, 483920);
  EXPECT_EQ(r.IntegradorResposta.Codigo, "AP");
  EXPECT_EQ(r.IntegradorResposta.Valor, "Requisição recebida");

  // A second answer starts from a cleared record.
  r.AsXMLString(Envelope("483921", "EE", "Chave de acesso inválida", "    <retorno>Erro</retorno>\r\n"));
  EXPECT_EQ(r.IDPagamento, 0);
  EXPECT_EQ(r.Mensagem, "");
  EXPECT_EQ(r.StatusPagamento, "");
  EXPECT_EQ(r.Retorno, "Erro");
  EXPECT_EQ(r.IntegradorResposta.Codigo, "EE");
  EXPECT_EQ(r.IntegradorResposta.Valor, "Chave de acesso inválida");

  r.AsXMLString(Envelope("1", "AP", "", "<IDPagamento>99999999999</IDPagamento>"));
  EXPECT_EQ(r.IDPagamento, 0) << "beyond 32 bits";
}

TEST(RespostaPagamentoR, MalformedReferenceDoesNotLoseThePaymentId) {
  // The Integrador has registered the payment: its id must reach the row even
  // when another field of the answer holds a reference that cannot be decoded.
  TRespostaPagamento r;
  r.AsXMLString(Envelope("55", "AP", "ok &#xZZ;", R"(    <IDPagamento>321</IDPagamento>
    <Mensagem>Cart&#xE3;o &#xQ1;</Mensagem>
    <StatusPagamento>Processado</StatusPagamento>
)"));
  EXPECT_EQ(r.IDPagamento, 321);
  EXPECT_EQ(r.Mensagem, "Cartão &#xQ1;");
  EXPECT_EQ(r.IntegradorResposta.Codigo, "AP");
  EXPECT_EQ(r.IntegradorResposta.Valor, "ok &#xZZ;");
}

TEST(RespostaStatusPagamentoR, RetornoOrThePlainText) {
  TRespostaStatusPagamento s;
  s.AsXMLString(Envelope("7", "AP", "OK", "    <retorno> 5512 </retorno>\r\n"));
  EXPECT_EQ(s.Retorno, "5512");
  EXPECT_EQ(s.IntegradorResposta.Identificador, 7);

  s.AsXMLString("Serviço indisponível no momento");
  EXPECT_EQ(s.Retorno, "Serviço indisponível no momento");
  EXPECT_EQ(s.IntegradorResposta.Identificador, 0) << "the envelope is not read";
  EXPECT_EQ(s.IntegradorResposta.Codigo, "");

  s.AsXMLString("falha: RETORNO ausente");  // names a retorno: read as XML
  EXPECT_EQ(s.Retorno, "");

  TRespostaStatusPagamentoR leitor(&s);
  leitor.Leitor().SetArquivo("x");
  EXPECT_TRUE(leitor.LerXml());
}

TEST(RetornoRespostaFiscalR, RetornoOrThePlainText) {
  TRetornoRespostaFiscal f;
  f.AsXMLString(Envelope("9", "AP", "Resposta fiscal registrada", "    <retorno>RF-0001</retorno>\r\n"));
  EXPECT_EQ(f.IdRespostaFiscal, "RF-0001");
  EXPECT_EQ(f.IntegradorResposta.Valor, "Resposta fiscal registrada");

  f.AsXMLString("");
  EXPECT_EQ(f.IdRespostaFiscal, "");
  f.AsXMLString("12345");
  EXPECT_EQ(f.IdRespostaFiscal, "12345");
  EXPECT_EQ(f.IntegradorResposta.Valor, "");
}

TEST(RespostaVerificarStatusValidadorR, AllFields) {
  TRespostaVerificarStatusValidador v;
  v.AsXMLString(Envelope("11", "AP", "Consulta efetuada", R"(
    <CodigoAutorizacao>AUT9</CodigoAutorizacao><Bin>516292</Bin><DonoCartao>JOSÉ DA SILVA</DonoCartao>
    <DataExpiracao>12/29</DataExpiracao><InstituicaoFinanceira>Itaú</InstituicaoFinanceira>
    <Parcelas>3</Parcelas><UltimosQuatroDigitos>0042</UltimosQuatroDigitos>
    <CodigoPagamento>P-1</CodigoPagamento><ValorPagamento>10,5</ValorPagamento>
    <IdFila>321</IdFila><Tipo>TEF</Tipo><retorno>ok</retorno>
)"));
  EXPECT_EQ(v.CodigoAutorizacao, "AUT9");
  EXPECT_EQ(v.Bin, "516292");
  EXPECT_EQ(v.DonoCartao, "JOSÉ DA SILVA");
  EXPECT_EQ(v.DataExpiracao, "12/29");
  EXPECT_EQ(v.InstituicaoFinanceira, "Itaú");
  EXPECT_EQ(v.Parcelas, 3);
  EXPECT_EQ(v.UltimosQuatroDigitos, 42);
  EXPECT_EQ(v.CodigoPagamento, "P-1");
  EXPECT_DOUBLE_EQ(v.ValorPagamento, 10.5);
  EXPECT_EQ(v.IDFila, 321);
  EXPECT_EQ(v.Tipo, "TEF");
  EXPECT_EQ(v.Retorno, "ok");
  EXPECT_EQ(v.IntegradorResposta.Identificador, 11);

  v.AsXMLString(Envelope("12", "AP", "", "<ValorPagamento>1.234,56</ValorPagamento>"));
  EXPECT_EQ(v.ValorPagamento, 0) << "no thousands separators";
  EXPECT_EQ(v.DonoCartao, "");
}

TEST(Leitores, AnswersInTheCodePageAndOddTexts) {
  TRespostaPagamento r;
  for (const char* texto : {"", "<", "<Integrador>", "<IDPagamento>", "<Mensagem>sem fim",
                            "<Integrador><IntegradorResposta><Codigo>AP"}) {
    EXPECT_NO_THROW(r.AsXMLString(texto)) << texto;
    EXPECT_EQ(r.IDPagamento, 0);
  }
  // Characters that the code page cannot hold arrive as "?".
  r.AsXMLString(Envelope("1", "AP", "Preço 5€ ✓", "<Mensagem>✓ ok</Mensagem>"));
  EXPECT_EQ(r.IntegradorResposta.Valor, "Preço 5€ ?");
  EXPECT_EQ(r.Mensagem, "? ok");

  // The first element of a name wins, wherever it stands.
  r.AsXMLString(Envelope("1", "AP", "", "<retorno>primeiro</retorno><retorno>segundo</retorno>"));
  EXPECT_EQ(r.Retorno, "primeiro");

  // A character reference that is not hexadecimal is kept as it stands.
  const std::string ruim = Envelope("1", "AP", "", "<Mensagem>&#xZZ;</Mensagem>");
  r.AsXMLString(ruim);
  EXPECT_EQ(r.Mensagem, "&#xZZ;");
  EXPECT_EQ(r.XML, ruim);
}

}  // namespace
}  // namespace pagvigia
