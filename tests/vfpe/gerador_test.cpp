#include "vfpe/gerador.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "util/conversao.h"
#include "util/datetime.h"

namespace pagvigia {
namespace {

// One field written alone with default options; returns the element text.
std::string Campo(TTipoCampo tipo, const TVariant& valor, int min = 0, int max = 99, int ocorrencias = 1,
                  TGerador* usar = nullptr) {
  TGerador local;
  TGerador& g = usar ? *usar : local;
  g.ArquivoFormatoXML.clear();
  g.wCampo(tipo, "", "V", static_cast<std::int16_t>(min), static_cast<std::int16_t>(max),
           static_cast<std::int16_t>(ocorrencias), valor);
  return g.ArquivoFormatoXML;
}

std::string De(TTipoCampo tipo, double v) { return Campo(tipo, v, 1, 99, 1); }

TEST(GeradorFormato, TextTypes) {
  EXPECT_EQ(Campo(tcStr, "  Loja  Central \t"), "<V>Loja Central</V>");
  EXPECT_EQ(Campo(tcStrOrig, " a "), "<V>a</V>") << "the text filter still trims what it writes";
  EXPECT_EQ(Campo(tcNumStr, " 42 ", 6), "<V>000042</V>");
  EXPECT_EQ(Campo(tcNumStr, "1234567", 3), "<V>1234567</V>") << "never cut";
  EXPECT_EQ(Campo(tcStr, 25.5), "<V>25.5</V>");
  EXPECT_EQ(Campo(tcStr, 483920), "<V>483920</V>");
  EXPECT_EQ(Campo(tcEsp, "0123"), "<V>0123</V>");
}

TEST(GeradorFormato, IntegersAndBooleans) {
  EXPECT_EQ(Campo(tcInt, 0), "<V>0</V>") << "a required zero is written";
  EXPECT_EQ(Campo(tcInt, 0, 0, 99, 0), "") << "an optional zero is absent";
  EXPECT_EQ(Campo(tcInt, -17), "<V>-17</V>");
  EXPECT_EQ(Campo(tcInt, 7, 4), "<V>0007</V>");
  EXPECT_EQ(Campo(tcInt, -7, 4), "<V>-007</V>") << "zeros go after the sign";
  EXPECT_EQ(Campo(tcInt, " 12 "), "<V>12</V>");
  EXPECT_EQ(Campo(tcInt, "doze"), "<V>0</V>") << "an unconvertible value counts as 0";
  EXPECT_EQ(Campo(tcInt, "doze", 0, 99, 0), "");
  EXPECT_EQ(Campo(tcBoolStr, true), "<V>true</V>");
  EXPECT_EQ(Campo(tcBoolStr, false, 0, 99, 0), "<V>false</V>") << "a Boolean is never absent";
  EXPECT_EQ(Campo(tcBoolStr, "TRUE"), "<V>true</V>");
}

TEST(GeradorFormato, DatesAndTimes) {
  const TDateTime dt = EncodeDateTime(2026, 3, 7, 9, 5, 4, 999);
  EXPECT_EQ(Campo(tcDat, dt), "<V>2026-03-07</V>");
  EXPECT_EQ(Campo(tcDatCFe, dt), "<V>20260307</V>");
  EXPECT_EQ(Campo(tcDatVcto, dt), "<V>07/03/2026</V>");
  EXPECT_EQ(Campo(tcDatHor, dt), "<V>2026-03-07T09:05:04</V>") << "milliseconds dropped";
  EXPECT_EQ(Campo(tcHor, dt), "<V>09:05:04</V>");
  EXPECT_EQ(Campo(tcHorCFe, dt), "<V>090504</V>");
  EXPECT_EQ(Campo(tcDatHorCFe, dt), "<V>20260307090504</V>");
  EXPECT_EQ(Campo(tcDat, "07/03/2026"), "<V>2026-03-07</V>");

  // The zero date stands for "no date".
  EXPECT_EQ(Campo(tcDat, TDateTime(), 0, 10, 0), "");
  TGerador g;
  EXPECT_EQ(Campo(tcDat, TDateTime(), 1, 10, 1, &g), "<V/>");
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_NE(g.ListaDeAlertas[0].find("Nenhum valor informado"), std::string::npos);
  EXPECT_EQ(Campo(tcHor, EncodeDate(2026, 1, 1), 0, 8, 0), "") << "midnight is no time";
  EXPECT_TRUE(IsEmptyDate(1899, 12, 30));
  EXPECT_FALSE(IsEmptyDate(1899, 12, 31));
}

TEST(GeradorFormato, UnconvertibleDatesAndBooleansRaiseAndWriteNothing) {
  TGerador g;
  g.wGrupo("G");
  const std::string antes = g.ArquivoFormatoXML;
  EXPECT_THROW(g.wCampo(tcDat, "", "D", 0, 10, 1, "ontem"), EConvertError);
  EXPECT_THROW(g.wCampo(tcBoolStr, "", "B", 0, 5, 1, "talvez"), EConvertError);
  EXPECT_EQ(g.ArquivoFormatoXML, antes);
  EXPECT_TRUE(g.ListaDeAlertas.empty());
}

TEST(GeradorDecimais, TwoDecimalsAndAbsence) {
  EXPECT_EQ(De(tcDe2, 25.5), "<V>25.50</V>");
  EXPECT_EQ(De(tcDe2, 0), "<V>0.00</V>");
  EXPECT_EQ(Campo(tcDe2, 0.0, 0, 15, 0), "") << "an optional zero is absent";
  EXPECT_EQ(De(tcDe2, -0.5), "<V>-0.50</V>");
  EXPECT_EQ(De(tcDe2, 1234567.891), "<V>1234567.89</V>") << "no thousands grouping";
  EXPECT_EQ(Campo(tcDe2, " 12.5 "), "<V>12.50</V>");
  EXPECT_EQ(Campo(tcDe2, "doze"), "<V>0.00</V>");
  TGerador g;
  g.Opcoes.DecimalChar = ',';
  EXPECT_EQ(Campo(tcDe2, 1.5, 1, 99, 1, &g), "<V>1,50</V>");
  EXPECT_EQ(Campo(tcDe4, "doze", 1, 99, 1, &g), "<V>0.00</V>") << "the fallback text is fixed";
}

TEST(GeradorDecimais, EachTypeItsPlaces) {
  EXPECT_EQ(De(tcDe3, 1.5), "<V>1.500</V>");
  EXPECT_EQ(De(tcDe4, 1.5), "<V>1.5000</V>");
  EXPECT_EQ(De(tcDe6, 1.5), "<V>1.500000</V>");
  EXPECT_EQ(De(tcDe10, 1.5), "<V>1.5000000000</V>");
  EXPECT_EQ(De(tcDe2, 0.001), "<V>0.00</V>");
}

// Halves round away from zero on the decimal digits of the value, not on its
// binary expansion: an exact binary half goes up, a value whose binary form
// lies just below a half goes down.
TEST(GeradorDecimais, RoundingAtTheLastPlace) {
  EXPECT_EQ(De(tcDe2, 0.125), "<V>0.13</V>");
  EXPECT_EQ(De(tcDe2, 0.375), "<V>0.38</V>");
  EXPECT_EQ(De(tcDe2, -0.125), "<V>-0.13</V>");
  EXPECT_EQ(De(tcDe2, 2.5), "<V>2.50</V>");
  EXPECT_EQ(De(tcDe3, 0.0625), "<V>0.063</V>");
  EXPECT_EQ(De(tcDe4, 0.00005), "<V>0.0001</V>");  // binary just above a half

  // Just below a half in binary (1.005 is 1.00499999999999989...).
  EXPECT_EQ(De(tcDe2, 1.005), "<V>1.00</V>");
  EXPECT_EQ(De(tcDe2, 2.675), "<V>2.67</V>");
  EXPECT_EQ(De(tcDe2, 0.285), "<V>0.28</V>");
  EXPECT_EQ(De(tcDe2, 1.115), "<V>1.11</V>");
  EXPECT_EQ(De(tcDe2, -1.005), "<V>-1.00</V>");
  EXPECT_EQ(De(tcDe3, 1.0005), "<V>1.000</V>");
  EXPECT_EQ(De(tcDe6, 0.0000005), "<V>0.000000</V>");
  EXPECT_EQ(De(tcDe2, 0.49999999999999994), "<V>0.50</V>");
}

TEST(GeradorDecimais, LargeValues) {
  EXPECT_EQ(De(tcDe2, 1234567890123.125), "<V>1234567890123.13</V>");
  EXPECT_EQ(De(tcDe2, 1e15 + 0.5), "<V>1000000000000000.50</V>");
  EXPECT_EQ(De(tcDe2, 9007199254740993.0), "<V>9007199254740992.00</V>");
  EXPECT_EQ(De(tcDe2, 1e20), "<V>100000000000000000000.00</V>");
  EXPECT_EQ(De(tcDe2, -123456789012345678.0), "<V>-123456789012345680.00</V>");
  // Digits past the 18th significant one are zeros.
  const std::string enorme = De(tcDe2, 1.2345678901234567e30);
  EXPECT_EQ(enorme, "<V>1234567890123456710000000000000.00</V>");
}

TEST(GeradorDecimais, SuppressedDecimals) {
  TGerador g;
  g.Opcoes.SuprimirDecimais = true;
  EXPECT_EQ(Campo(tcDe2, 25.0, 1, 99, 1, &g), "<V>25</V>");
  EXPECT_EQ(Campo(tcDe2, 25.5, 1, 99, 1, &g), "<V>25.50</V>");
  EXPECT_EQ(Campo(tcDe2, -3.0, 1, 99, 1, &g), "<V>-3</V>");
  EXPECT_EQ(Campo(tcDe2, 1e20, 1, 99, 1, &g), "<V>100000000000000000000</V>");
}

TEST(GeradorDecimais, SeparatorIsNotCountedAgainstTheLimits) {
  TGerador g;
  Campo(tcDe2, 12.5, 0, 4, 1, &g);  // "12.50": four characters besides the separator
  EXPECT_TRUE(g.ListaDeAlertas.empty());
  Campo(tcDe2, 123.5, 0, 4, 1, &g);
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_NE(g.ListaDeAlertas[0].find("Tamanho maior que o máximo permitido [123.5]"), std::string::npos);

  TGerador p;
  EXPECT_EQ(Campo(tcDe2, 1.5, 6, 99, 1, &p), "<V>0001.50</V>") << "padded to min + 1";
  g.Opcoes.SuprimirDecimais = true;
  g.ListaDeAlertas.clear();
  Campo(tcDe2, 12.5, 0, 4, 1, &g);
  EXPECT_EQ(g.ListaDeAlertas.size(), 1u) << "with suppressed decimals the separator counts";
}

TEST(GeradorAusencia, RequiredAndOptionalEmptyFields) {
  TGerador g;
  g.wCampo(tcStr, "", "Valor", 1, 99, 1, "   ");
  EXPECT_EQ(g.ArquivoFormatoXML, "<Valor/>");
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_EQ(g.ListaDeAlertas[0], "TAG: ID:/Valor() - Nenhum valor informado.");

  g.wCampo(tcStr, "", "Opcional", 1, 99, 0, "");
  EXPECT_EQ(g.ArquivoFormatoXML, "<Valor/>");
  EXPECT_EQ(g.ListaDeAlertas.size(), 1u);

  // Required, empty, min 0: empty element, no alert.
  g.wCampo(tcStr, "", "Livre", 0, 99, 1, "");
  EXPECT_EQ(g.ArquivoFormatoXML, "<Valor/><Livre/>");
  EXPECT_EQ(g.ListaDeAlertas.size(), 1u);

  g.Opcoes.TagVaziaNoFormatoResumido = false;
  g.wCampo(tcStr, "", "X", 0, 9, 1, "", "", true, "a=\"1\"");
  EXPECT_EQ(g.ArquivoFormatoXML, "<Valor/><Livre/><X a=\"1\"></X>");
}

TEST(GeradorAlertas, LengthLimits) {
  TGerador g;
  const std::string cem(100, 'x');
  g.wCampo(tcStr, "", "Valor", 1, 99, 1, cem, "Valor do Parâmetro");
  EXPECT_EQ(g.ArquivoFormatoXML, "<Valor>" + cem + "</Valor>") << "written in full";
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_EQ(g.ListaDeAlertas[0],
            "TAG: ID:/Valor(Valor do Parâmetro) - Tamanho maior que o máximo permitido [" + cem + "].");

  g.ListaDeAlertas.clear();
  g.wCampo(tcStr, "", "C", 5, 9, 1, "a");
  EXPECT_TRUE(g.ListaDeAlertas.empty()) << "one character is never too short";
  g.wCampo(tcStr, "", "C", 5, 9, 1, "abc");
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_EQ(g.ListaDeAlertas[0], "TAG: ID:/C() - Tamanho menor que o mínimo permitido [abc].");

  // Characters, not bytes, are counted.
  g.ListaDeAlertas.clear();
  g.wCampo(tcStr, "", "C", 0, 4, 1, "ação");
  EXPECT_TRUE(g.ListaDeAlertas.empty());
  EXPECT_NE(g.ArquivoFormatoXML.find("<C>acao</C>"), std::string::npos);
}

TEST(GeradorAlertas, DigitsOnlyAndTemplate) {
  TGerador g;
  g.Opcoes.FormatoAlerta = "[%ID%] %TAG% em %TAGNIVEL%: %MSG% (%DESCRICAO%) %TAG%";
  g.wGrupo("A");
  g.wCampo(tcEsp, "E01", "Num", 0, 9, 1, "12a", "  Número  ");
  EXPECT_EQ(g.ArquivoFormatoXML, "<A><Num>12a</Num>");
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_EQ(g.ListaDeAlertas[0], "[E01] Num em <A>: Conteúdo inválido (Número) Num");

  g.wAlerta("x", "y", "z", "   ");
  EXPECT_EQ(g.ListaDeAlertas.size(), 1u) << "a blank message is no alert";
}

TEST(GeradorAlertas, SomenteValidarRecordsTheSameAlertsAndWritesNothing) {
  auto gerar = [](TGerador& g) {
    g.wCampo(tcStr, "", "A", 1, 9, 1, "");
    g.wCampo(tcStr, "", "B", 0, 2, 1, "abc");
    g.wCampo(tcEsp, "", "C", 0, 9, 1, "x");
  };
  TGerador normal, validar;
  validar.Opcoes.SomenteValidar = true;
  validar.ArquivoFormatoXML = "<Inicio>";
  gerar(normal);
  gerar(validar);
  EXPECT_EQ(validar.ArquivoFormatoXML, "<Inicio>");
  EXPECT_EQ(validar.ListaDeAlertas, normal.ListaDeAlertas);
  EXPECT_EQ(normal.ListaDeAlertas.size(), 3u);
}

TEST(GeradorTexto, FilterAndAttributes) {
  TGerador g;
  g.wCampo(tcStr, "", "T", 0, 99, 1, "Pão & \"Cia\" <Ltda>\r\n  Loja   2");
  EXPECT_EQ(g.ArquivoFormatoXML, "<T>Pao &amp; &quot;Cia&quot; &lt;Ltda&gt;; Loja 2</T>");
  g.ArquivoFormatoXML.clear();
  g.wCampo(tcStr, "", "T", 0, 99, 1, "a & <b>", "", false, " id=\"7\" ");
  EXPECT_EQ(g.ArquivoFormatoXML, "<T id=\"7\">a & <b></T>");
  g.ArquivoFormatoXML.clear();
  g.Opcoes.RetirarAcentos = false;
  g.wCampo(tcStr, "", "T", 0, 99, 1, "Ação");
  EXPECT_EQ(g.ArquivoFormatoXML, "<T>Ação</T>");
}

TEST(GeradorGrupos, PathAndIndentation) {
  TGerador g;
  g.Opcoes.IdentarXML = true;
  g.wGrupo("Integrador");
  g.wGrupo("Componente Nome=\"VFP-e\"");
  g.wCampo(tcStr, "", "Valor", 1, 9, 1, "x");
  g.wCampo(tcStr, "", "Vazio", 1, 9, 1, "", "", true, "a=\"1\"");
  EXPECT_EQ(g.TagNivel(), "<Integrador><Componente Nome=\"VFP-e\">");
  g.wGrupo("/Componente");
  EXPECT_EQ(g.TagNivel(), "<Integrador><Componente Nome=\"VFP-e\">")
      << "a group opened with attributes is not found by its bare name";
  g.wGrupo("/Integrador");
  EXPECT_EQ(g.TagNivel(), "<Componente Nome=\"VFP-e\">");
  EXPECT_EQ(g.ArquivoFormatoXML,
            "<Integrador>\r\n"
            "   <Componente Nome=\"VFP-e\">\r\n"
            "      <Valor>x</Valor>\r\n"
            "      <Vazio/>\r\n"
            "   </Componente>\r\n"
            "</Integrador>\r\n");
  EXPECT_EQ(g.Opcoes.NivelIdentacao(), 0);

  TGerador d;
  d.wGrupo("NFe");
  d.wGrupo("det nItem=\"1\"");
  d.wGrupo("prod");
  d.wGrupo("/prod");
  d.wGrupo("/det");
  EXPECT_EQ(d.TagNivel(), "<NFe>") << "closing a det group cuts the path before it";

  TGerador i;
  i.SetIgnorarTagNivel("|Envelope|");
  i.SetIgnorarTagIdentacao("|Corpo|");
  i.Opcoes.IdentarXML = true;
  i.wGrupo("Envelope");
  i.wGrupo("Corpo");
  EXPECT_EQ(i.TagNivel(), "<Corpo>");
  i.wCampo(tcStr, "", "C", 0, 9, 1, "1");
  EXPECT_EQ(i.ArquivoFormatoXML, "<Envelope>\r\n<Corpo>\r\n   <C>1</C>\r\n");
}

TEST(GeradorGrupos, PrefixedVariants) {
  TGerador g;
  g.Prefixo = "ns2:";
  g.wGrupoNFSe("Lote");
  g.wCampoNFSe(tcInt, "", "Numero", 0, 9, 1, 12);
  g.wGrupoNFSe("/Lote");
  EXPECT_EQ(g.ArquivoFormatoXML, "<ns2:Lote><ns2:Numero>12</ns2:Numero></ns2:Lote>");
  EXPECT_EQ(g.TagNivel(), "");
}

TEST(GeradorContribuinte, CnpjAndCpf) {
  TGerador g;
  g.wCampoCNPJCPF("C02", "C03", "11.222.333/0001-81");
  EXPECT_EQ(g.ArquivoFormatoXML, "<CNPJ>11222333000181</CNPJ>");
  EXPECT_TRUE(g.ListaDeAlertas.empty());

  g.ArquivoFormatoXML.clear();
  g.wCampoCNPJCPF("C02", "C03", "191");
  EXPECT_EQ(g.ArquivoFormatoXML, "<CPF>00000000191</CPF>");
  EXPECT_TRUE(g.ListaDeAlertas.empty());

  g.ArquivoFormatoXML.clear();
  g.wCampoCNPJCPF("C02", "C03", "529.982.247-26", true, false);
  EXPECT_EQ(g.ArquivoFormatoXML, "<CPF>52998224726</CPF>");
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_EQ(g.ListaDeAlertas[0], "TAG: ID:C03/CPF(CPF) - Conteúdo inválido.");

  g.ListaDeAlertas.clear();
  g.ArquivoFormatoXML.clear();
  g.wCampoCNPJCPF("C02", "C03", "123456789012", true, false);
  EXPECT_EQ(g.ArquivoFormatoXML, "<CNPJ>123456789012</CNPJ>");
  ASSERT_EQ(g.ListaDeAlertas.size(), 2u);
  EXPECT_EQ(g.ListaDeAlertas[1], "TAG: ID:C02-C03/CNPJ-CPF(CNPJ/CPF) - Conteúdo inválido.");

  g.ListaDeAlertas.clear();
  g.ArquivoFormatoXML.clear();
  g.wCampoCNPJCPF("C02", "C03", "112223330001819");
  EXPECT_EQ(g.ArquivoFormatoXML, "<CNPJ>112223330001819</CNPJ>") << "a long number is never cut";
  EXPECT_EQ(g.ListaDeAlertas.size(), 3u);

  g.ListaDeAlertas.clear();
  g.ArquivoFormatoXML.clear();
  g.wCampoCNPJCPF("C02", "C03", "", false);
  EXPECT_EQ(g.ArquivoFormatoXML, "");
  EXPECT_TRUE(g.ListaDeAlertas.empty());

  g.wCampoCNPJ("C02", "11222333000181", 1058, true);
  g.wCampoCPF("C03", "52998224725", 1058, true);
  g.wCampoCNPJ("C02", "123", 2496, true);
  EXPECT_EQ(g.ArquivoFormatoXML, "<CNPJ>11222333000181</CNPJ><CPF>52998224725</CPF><CNPJ/>");
  EXPECT_TRUE(g.ListaDeAlertas.empty());
  g.wCampoCNPJ("C02", "11222333000182", 1058, true);
  ASSERT_EQ(g.ListaDeAlertas.size(), 1u);
  EXPECT_EQ(g.ListaDeAlertas[0], "TAG: ID:C02/CNPJ(CNPJ(MF)) - Conteúdo inválido.");
}

TEST(GeradorTxt, LayoutFilledFromGroupsAndFields) {
  TGerador g;
  g.LayoutArquivoTXT = {"<A000>NFE|VERSAO\xC2\xA8|^ID^|", "<B000>EMIT|NOME\xC2\xA8|CIDADE\xC2\xA8|",
                        "<C000>DEST|OUTRO\xC2\xA8|"};
  g.wGrupo("infNFe versao=\"4.00\"", "A000");
  g.wGrupo("emit", "B000");
  g.wCampo(tcStr, "", "nome", 0, 60, 1, "José");
  EXPECT_EQ(g.ArquivoFormatoTXT,
            "<A000>NFE|4.00|^ID^|\r\n<B000>EMIT|Jos\xC3\xA9|CIDADE\xC2\xA8|\r\n");
  g.wGrupo("/emit");
  g.wGrupo("dest", "C000");
  g.wGrupo("/dest");
  g.wGrupo("/infNFe");
  g.gtAjustarRegistros("NFe35");
  EXPECT_EQ(g.ArquivoFormatoTXT, "NFe|4.00|NFe35|\r\nEMIt|Jos\xC3\xA9||\r\n");
  EXPECT_NE(g.ArquivoFormatoXML.find("<nome>Jose</nome>"), std::string::npos);

  TGerador inerte;
  inerte.wGrupo("emit", "B000");
  inerte.wCampo(tcStr, "", "nome", 0, 60, 1, "x");
  inerte.gtAjustarRegistros("x");
  EXPECT_EQ(inerte.ArquivoFormatoTXT, "");
  EXPECT_EQ(inerte.IDNivel, "B000");
}

TEST(GeradorArquivo, SavesInTheAnsiCodePageWithCrLf) {
  testing::TempDir dir;
  TGerador g;
  g.Opcoes.RetirarAcentos = false;
  g.wCampo(tcStr, "", "T", 0, 9, 1, "Ação");
  g.ArquivoFormatoTXT = "linha";
  EXPECT_TRUE(g.SalvarArquivo(dir / "a.xml", fgXML));
  EXPECT_TRUE(g.SalvarArquivo(dir / "a.txt", fgTXT));
  EXPECT_EQ(platform::ReadFileBytes(dir / "a.xml"), "<T>A\xE7\xE3o</T>\r\n");
  EXPECT_EQ(platform::ReadFileBytes(dir / "a.txt"), "linha\r\n");
  EXPECT_THROW(g.SalvarArquivo(dir / "sem/pasta.xml"), platform::FileError);
}

}  // namespace
}  // namespace pagvigia
