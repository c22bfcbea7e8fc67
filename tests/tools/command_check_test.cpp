// The simulator's checks of command files: what it accepts from a sound
// client and which faults it reports.
#include <gtest/gtest.h>

#include "tests/tools/sample_commands.h"
#include "tools/integrador_sim/command.h"

namespace pagvigia::sim {
namespace {

using testing::ComandoVfpe;

bool Mentions(const Command& c, const std::string& word) {
  for (const auto& f : c.falhas)
    if (f.find(word) != std::string::npos) return true;
  return false;
}

std::string Join(const Command& c) {
  std::string s;
  for (const auto& f : c.falhas) s += f + "\n";
  return s;
}

TEST(CommandCheck, CommandsOfEveryMethodAreSound) {
  const std::pair<std::string, std::string> cases[] = {
      {"enviarpagamento-483920.xml", testing::EnviarPagamentoExemplo(483920)},
      {"enviarstatuspagamento-7.xml", testing::EnviarStatusPagamentoExemplo(7)},
      {"respostafiscal-0.xml", testing::RespostaFiscalExemplo(0)},
      {"verificarstatusvalidador-999998-235959.xml", testing::VerificarStatusValidadorExemplo(999998)},
      {"numerosessao-20261208143015-12.xml", testing::ConsultarNumeroSessaoExemplo(12, 483920)},
  };
  for (const auto& [name, xml] : cases) {
    const Command c = CheckCommand(name, xml);
    EXPECT_TRUE(c.Ok()) << name << "\n" << Join(c);
    EXPECT_TRUE(c.envelope) << name;
  }
  const Command c = CheckCommand("enviarpagamento-483920.xml", testing::EnviarPagamentoExemplo(483920));
  EXPECT_EQ(c.metodo, "EnviarPagamento");
  EXPECT_EQ(c.componente, "VFP-e");
  EXPECT_EQ(c.sessao, 483920);
  EXPECT_EQ(c.chave, "25CFE38D-3B92-46C0-91CA-CFF751A82D3D");
  ASSERT_EQ(c.parametros.size(), 11u);
  EXPECT_EQ(*c.Param("ValorTotalVenda"), "25.50");
  EXPECT_EQ(*c.Param("OrigemPagamento"), "");

  // Escaped markup comes back as text.
  const Command f = CheckCommand("respostafiscal-3.xml", testing::RespostaFiscalExemplo(3));
  EXPECT_EQ(*f.Param("ImpressaoFiscal"), "<CFe><infCFe versao=\"0.08\">;</infCFe></CFe>");
}

TEST(CommandCheck, ValueFormsFollowTheParameterTypes) {
  auto pagamento = [](const std::string& icms, const std::string& total, const std::string& flag,
                      const std::string& chave) {
    return ComandoVfpe(5, "EnviarPagamento",
                       {{"ChaveRequisicao", "K"}, {"Estabelecimento", "15"}, {"SerialPos", "S"}, {"Cnpj", "1"},
                        {"IcmsBase", icms}, {"ValorTotalVenda", total}, {"HabilitarMultiplosPagamentos", flag},
                        {"HabilitarControleAntiFraude", "false"}, {"CodigoMoeda", "BRL"},
                        {"EmitirCupomNFCE", "true"}, {"OrigemPagamento", ""}},
                       chave);
  };
  const std::string outra = "25CFE38D-3B92-46C0-91CA-CFF751A82D3D";
  const std::string integrador = "7D41A0C2-58E6-4B1F-A39D-E0C6B2F4917A";
  EXPECT_TRUE(CheckCommand("enviarpagamento-5.xml", pagamento("0.00", "1234.50", "false", outra)).Ok());
  // With the Integrador's own key the total is written short, with a comma.
  EXPECT_TRUE(CheckCommand("enviarpagamento-5.xml", pagamento("0.00", "1234,5", "true", integrador)).Ok());
  EXPECT_TRUE(CheckCommand("enviarpagamento-5.xml", pagamento("0.00", "25", "true", integrador)).Ok());

  EXPECT_TRUE(Mentions(CheckCommand("enviarpagamento-5.xml", pagamento("0", "1.00", "false", outra)), "IcmsBase"));
  EXPECT_TRUE(Mentions(CheckCommand("enviarpagamento-5.xml", pagamento("0.00", "25.5", "false", outra)),
                       "ValorTotalVenda"));
  EXPECT_TRUE(Mentions(CheckCommand("enviarpagamento-5.xml", pagamento("0.00", "25,50", "false", integrador)),
                       "ValorTotalVenda"));
  EXPECT_TRUE(Mentions(CheckCommand("enviarpagamento-5.xml", pagamento("0.00", "25.50", "False", outra)),
                       "HabilitarMultiplosPagamentos"));

  const Command texto = CheckCommand(
      "verificarstatusvalidador-5.xml",
      ComandoVfpe(5, "VerificarStatusValidador", {{"idFila", "1x"}, {"cnpj", " 11  22&#10;"}}));
  EXPECT_TRUE(Mentions(texto, "idFila"));
  EXPECT_TRUE(Mentions(texto, "run of blanks"));
  EXPECT_TRUE(Mentions(texto, "line break"));
  EXPECT_TRUE(Mentions(texto, "not trimmed"));
}

TEST(CommandCheck, ParameterNamesAreExactAndInOrder) {
  const Command trocados = CheckCommand(
      "verificarstatusvalidador-5.xml", ComandoVfpe(5, "VerificarStatusValidador", {{"cnpj", "1"}, {"idFila", "1"}}));
  EXPECT_TRUE(Mentions(trocados, "expected idFila,cnpj"));
  const Command caixa = CheckCommand(
      "verificarstatusvalidador-5.xml", ComandoVfpe(5, "VerificarStatusValidador", {{"IdFila", "1"}, {"cnpj", "1"}}));
  EXPECT_FALSE(caixa.Ok());
  const Command falta =
      CheckCommand("verificarstatusvalidador-5.xml", ComandoVfpe(5, "VerificarStatusValidador", {{"idFila", "1"}}));
  EXPECT_FALSE(falta.Ok());
}

TEST(CommandCheck, EnvelopeFaultsAreReported) {
  const std::string bom = "\xEF\xBB\xBF" + testing::VerificarStatusValidadorExemplo(5);
  EXPECT_TRUE(Mentions(CheckCommand("verificarstatusvalidador-5.xml", bom), "byte-order mark"));
  EXPECT_TRUE(Mentions(CheckCommand("verificarstatusvalidador-5.xml",
                                    "<?xml version=\"1.0\"?>" + testing::VerificarStatusValidadorExemplo(5)),
                       "declaration"));
  EXPECT_TRUE(Mentions(CheckCommand("verificarstatusvalidador-5.xml", testing::VerificarStatusValidadorExemplo(5) + "\r\n"),
                       "line break"));

  const Command semId = CheckCommand(
      "x-5.xml", "<Integrador><Componente Nome=\"A\"><Metodo Nome=\"x\"><Parametros/></Metodo></Componente></Integrador>");
  EXPECT_TRUE(Mentions(semId, "Identificador"));
  EXPECT_EQ(semId.AnswerSession(), 5);  // still answerable through the file name

  const Command raiz = CheckCommand("x-5.xml", "<Integra><Identificador><Valor>5</Valor></Identificador></Integra>");
  EXPECT_TRUE(Mentions(raiz, "root"));
  EXPECT_FALSE(raiz.envelope);

  const Command sessao = CheckCommand(
      "x-5.xml",
      "<Integrador><Identificador><Valor>5a</Valor></Identificador><Componente Nome=\"A\"><Metodo Nome=\"x\">"
      "<Parametros/></Metodo></Componente></Integrador>");
  EXPECT_TRUE(Mentions(sessao, "not a session number"));

  const Command lixo = CheckCommand("lixo.xml", std::string("\x00\x01\xFFjunk", 7));
  EXPECT_FALSE(lixo.wellFormed);
  EXPECT_FALSE(lixo.AnswerSession());

  const Command amp = CheckCommand("verificarstatusvalidador-5.xml",
                                   ComandoVfpe(5, "VerificarStatusValidador", {{"idFila", "1"}, {"cnpj", "A & B"}}));
  EXPECT_TRUE(Mentions(amp, "not well-formed"));
}

TEST(CommandCheck, EncodingMustBeWindows1252) {
  // "JOSÉ" in Windows-1252 is one byte 0xC9 for the É; in UTF-8 two.
  const std::string cp1252 = ComandoVfpe(5, "VerificarStatusValidador", {{"idFila", "1"}, {"cnpj", "JOS\xC9"}});
  const Command ok = CheckCommand("verificarstatusvalidador-5.xml", cp1252);
  EXPECT_TRUE(ok.Ok()) << Join(ok);
  EXPECT_EQ(*ok.Param("cnpj"), "JOS\xC3\x89");
  const std::string utf8 = ComandoVfpe(5, "VerificarStatusValidador", {{"idFila", "1"}, {"cnpj", "JOS\xC3\x89"}});
  EXPECT_TRUE(Mentions(CheckCommand("verificarstatusvalidador-5.xml", utf8), "UTF-8"));
  const std::string undefined = ComandoVfpe(5, "VerificarStatusValidador", {{"idFila", "1"}, {"cnpj", "A\x81"}});
  EXPECT_TRUE(Mentions(CheckCommand("verificarstatusvalidador-5.xml", undefined), "0x81"));
}

TEST(CommandCheck, FileNameCarriesMethodAndSession) {
  const std::string xml = testing::VerificarStatusValidadorExemplo(1234);
  EXPECT_TRUE(CheckCommand("verificarstatusvalidador-1234.xml", xml).Ok());
  EXPECT_TRUE(CheckCommand("verificarstatusvalidador-1234-143015.xml", xml).Ok());
  for (const char* bad : {"verificarstatusvalidador-1235.xml", "VerificarStatusValidador-1234.xml",
                          "verificarstatusvalidador-1234-253015.xml", "enviarpagamento-1234.xml",
                          "verificarstatusvalidador-01234.xml"})
    EXPECT_TRUE(Mentions(CheckCommand(bad, xml), "file name")) << bad;

  // The generic call names its file after the method and the moment of sending.
  const std::string generic = testing::ConsultarNumeroSessaoExemplo(12, 1);
  EXPECT_TRUE(CheckCommand("numerosessao-20261208143015-12-143020.xml", generic).Ok());
  EXPECT_FALSE(CheckCommand("numerosessao-12.xml", generic).Ok());

  EXPECT_EQ(CheckCommand("a-20261208143015-12-143020.xml", "").fileSessao, 12);
  EXPECT_EQ(CheckCommand("a-123456.xml", "").fileSessao, 123456);
  EXPECT_EQ(CheckCommand("a-1-123456.xml", "").fileSessao, 1);
  EXPECT_EQ(MethodFromFileName("enviarpagamento-1.xml"), "enviarpagamento");
}

}  // namespace
}  // namespace pagvigia::sim
