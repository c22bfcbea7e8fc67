// Text cleaning, XML escaping and the small string tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "platform/codepage.h"
#include "util/acentos.h"
#include "util/conversao.h"
#include "util/documentos.h"
#include "util/numeros.h"
#include "util/texto.h"
#include "util/xml_texto.h"

namespace pagvigia {
namespace {

TEST(FiltrarTextoXML, AllOptionsGiveCleanEscapedSingleLineText) {
  const std::string in = "  Informação  do\r\nCartão & <Crédito>  ";
  EXPECT_EQ(FiltrarTextoXML(true, in, true, true, ";"), "Informacao do;Cartao &amp; &lt;Credito&gt;");
}

TEST(FiltrarTextoXML, EscapesEachSpecialCharacterOnce) {
  EXPECT_EQ(FiltrarTextoXML(false, "a&b<c>d\"e'f&amp;", false, false, ";"),
            "a&amp;b&lt;c&gt;d&quot;e&#39;f&amp;amp;");
}

TEST(FiltrarTextoXML, KeepsAccentsWhenAskedButNotWhatTheCodePageCannotHold) {
  // "€" is in the code page, "ő" and "中" are not.
  EXPECT_EQ(FiltrarTextoXML(false, "Ação € ő 中", false, false, ";"), "Ação € ? ?");
  // Without accents the euro sign (no letter) becomes a space.
  EXPECT_EQ(FiltrarTextoXML(true, "Preço €  10", true, false, ";"), "Preco 10");
}

TEST(FiltrarTextoXML, RoundTripRestoresTheSpecialCharacters) {
  const std::string in = "Pagamento \"débito\" & 'crédito'\r\n<TEF> ok";
  const std::string filtered = FiltrarTextoXML(true, in, true, true, ";");
  EXPECT_EQ(filtered.find_first_of("<>\"'"), std::string::npos);
  EXPECT_EQ(ReverterFiltroTextoXML(filtered), "Pagamento \"debito\" & 'credito';<TEF> ok");
}

TEST(ReverterFiltroTextoXML, NamedEscapesInTurnAmpersandFirst) {
  EXPECT_EQ(ReverterFiltroTextoXML("&amp;lt;"), "<");
  EXPECT_EQ(ReverterFiltroTextoXML("  &quot;x&quot; &#39;y&#39; &gt; "), "\"x\" 'y' >");
  EXPECT_EQ(ReverterFiltroTextoXML("&#65;&apos;"), "&#65;&apos;");  // not decoded
}

TEST(ReverterFiltroTextoXML, HexadecimalReferences) {
  EXPECT_EQ(ReverterFiltroTextoXML("&#x41;"), "A");
  EXPECT_EQ(ReverterFiltroTextoXML("S&#xE3;o Paulo"), "São Paulo");
  EXPECT_EQ(ReverterFiltroTextoXML("linha1&#xD;&#xA;linha2"), "linha1\r\nlinha2");
  EXPECT_EQ(ReverterFiltroTextoXML("&#x4142;"), "AB");          // two digits per character
  EXPECT_EQ(ReverterFiltroTextoXML("fim &#x41"), "fim A");      // runs to the end without ";"
  EXPECT_EQ(ReverterFiltroTextoXML("a&#x;b"), "ab");            // no digits: removed
  EXPECT_EQ(ReverterFiltroTextoXML("&#x41;-&#x41;"), "A-A");
  // Decoded characters that form a new reference are decoded in turn.
  EXPECT_EQ(ReverterFiltroTextoXML("&#x26;#x41;"), "A");
  EXPECT_EQ(ReverterFiltroTextoXML("&#&#x78;41;"), "A");
}

TEST(ReverterFiltroTextoXML, ReferenceThatIsNotHexadecimalIsKeptAsItStands) {
  EXPECT_EQ(ReverterFiltroTextoXML("&#xZZ;"), "&#xZZ;");
  EXPECT_EQ(ReverterFiltroTextoXML("a &#x41 e mais texto"), "a &#x41 e mais texto");
  EXPECT_EQ(ReverterFiltroTextoXML("&#xG1;&#x41;&amp;"), "&#xG1;A&");
  EXPECT_THROW(HexToAscii("ZZ"), EConvertError);
}

TEST(ReverterFiltroTextoXML, ManyDistinctReferencesInABigTextFinish) {
  std::string big;
  char buf[16];
  for (int i = 0; i < 200000; ++i) {
    std::snprintf(buf, sizeof buf, "&#x%02X%02X%02X;", 0x41 + i % 26, 0x41 + i / 26 % 26, 0x41 + i / 676 % 26);
    big += buf;
  }
  const std::string out = ReverterFiltroTextoXML(big + "x");
  EXPECT_EQ(out.size(), 600001u);
  EXPECT_EQ(out.substr(0, 6), "AAABAA");
}

// The reverse escaping as the rule states it, one replacement after the
// other over the whole text.
std::string ReverterPassoAPasso(std::string t) {
  for (auto [de, para] : {std::pair{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}})
    t = StringReplaceAll(t, de, para);
  for (std::size_t p; (p = t.find("&#x")) != std::string::npos;) {
    const std::size_t q = t.find(';', p);
    const std::string ref = q == std::string::npos ? t.substr(p) : t.substr(p, q - p + 1);
    const std::string digitos = ref.substr(3, ref.size() - 3 - (q == std::string::npos ? 0 : 1));
    t = StringReplaceAll(t, ref, HexToAscii(digitos));
  }
  return Trim(t);
}

TEST(ReverterFiltroTextoXML, AgreesWithTheStepByStepRule) {
  // Texts made of the pieces that interact: references that decode into
  // new ones, escaped ampersands, broken references.
  const char* pecas[] = {"&", "#", "x", "4", "1", ";", "A", " ", "&#x", "&#x41;", "&amp;", "2", "6", "&#x26;", "lt;"};
  std::mt19937 rng(7);
  int comparados = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string s;
    for (int k = static_cast<int>(rng() % 10); k > 0; --k) s += pecas[rng() % std::size(pecas)];
    std::string esperado, obtido;
    bool erroEsperado = false, erroObtido = false;
    try {
      esperado = ReverterPassoAPasso(s);
    } catch (const EConvertError&) {
      erroEsperado = true;
    }
    try {
      obtido = ReverterFiltroTextoXML(s);
    } catch (const EConvertError&) {
      erroObtido = true;
    }
    // Where the rule gives up on a malformed reference, the reference is
    // kept instead; so is one broken by a copy of a reference decoded earlier.
    ASSERT_FALSE(erroObtido) << s;
    if (erroEsperado || (obtido != esperado && obtido.find("&#x") != std::string::npos)) continue;
    ASSERT_EQ(esperado, obtido) << s;
    ++comparados;
  }
  EXPECT_GT(comparados, 80000);
}

TEST(TiraAcentos, MapsTheCodePageLettersAndBlanksTheRest) {
  EXPECT_EQ(TiraAcentos("ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß"), "AAAAAAACEEEEIIIIDNOOOOOx0UUUUYbB");
  EXPECT_EQ(TiraAcentos("àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ"), "aaaaaaaceeeeiiiionooooo/0uuuuyby");
  EXPECT_EQ(TiraAcentos("1º\tlugar\r\nª"), "1  lugar\r\n ");
  EXPECT_EQ(TiraAcentos("中"), "?");
  EXPECT_EQ(TiraAcento(0x41), 0x41);
  EXPECT_EQ(TiraAcento(0xB0), 0xB0);
}

TEST(ChangeLineBreak, EveryKindOfBreakBecomesTheNewOne) {
  EXPECT_EQ(ChangeLineBreak("a\r\nb\rc\nd", ";"), "a;b;c;d");
  EXPECT_EQ(ChangeLineBreak("a\r\nb\r", "\n"), "a\nb\n");
  EXPECT_EQ(ChangeLineBreak("a\nb", "\r\n"), "a\r\nb");
  EXPECT_EQ(ChangeLineBreak(" \r\n ", ";"), " \r\n ");  // blank text unchanged
}

TEST(StringTests, DigitsAndEmptiness) {
  EXPECT_EQ(OnlyNumber("12.345-6"), "123456");
  EXPECT_EQ(OnlyNumber("R$ ١٢ 7"), "7");  // other scripts' digits are not digits here
  EXPECT_TRUE(StrIsNumber("0123"));
  EXPECT_FALSE(StrIsNumber(""));
  EXPECT_FALSE(ValidarNumeros("12a"));
  EXPECT_FALSE(ValidarNumeros("-1"));
  EXPECT_TRUE(CharIsNum(U'9'));
  EXPECT_FALSE(CharIsNum(U'٣'));
  EXPECT_TRUE(EstaVazio(""));
  EXPECT_FALSE(EstaVazio(" "));
  EXPECT_TRUE(NaoEstaVazio(" "));
  EXPECT_EQ(StrToAnsi("ação ő"), "ação ?");
}

TEST(PadLeft, CountsCharactersAndTruncatesOnTheRight) {
  EXPECT_EQ(PadLeft("12345", 3, U'0'), "123");
  EXPECT_EQ(PadLeft("7", 3, U'0'), "007");
  EXPECT_EQ(PadLeft("ção", 5), "  ção");
  EXPECT_EQ(PadLeft("ação", 2), "aç");
  EXPECT_EQ(PadLeft("x", 3, U'ç'), "ççx");
  EXPECT_EQ(PadLeft("abc", 0), "");
}

TEST(Positions, CountCharacters) {
  EXPECT_EQ(RetornarPosEx("b", "abcb", 1), 2u);
  EXPECT_EQ(RetornarPosEx("b", "abcb", 3), 4u);
  EXPECT_EQ(RetornarPosEx("x", "ããx", 1), 3u);
  EXPECT_EQ(RetornarPosEx("x", "ããx", 3), 3u);
  EXPECT_EQ(RetornarPosEx("x", "abc", 9), 0u);
  EXPECT_EQ(RetornarPosEx("", "abc", 1), 0u);
  EXPECT_EQ(Pos("ó", "Código"), 2u);
  EXPECT_EQ(Copy("Código", 2, 3), "ódi");
  EXPECT_EQ(Copy("abc", 3, 10), "c");
  EXPECT_EQ(Copy("abc", 5, 1), "");
}

TEST(RetornarConteudoEntre, WithAndWithoutTheMarkers) {
  const std::string s = "Componente Nome=\"VFP-e\" Versao=\"1\"";
  EXPECT_EQ(RetornarConteudoEntre(s, "Nome=\"", "\""), "VFP-e");
  EXPECT_EQ(RetornarConteudoEntre("x<a>1</a>y", "<a>", "</a>", true), "<a>1</a>");
  EXPECT_EQ(RetornarConteudoEntre("x<a>1</a>y", "<b>", "</a>"), "");
  EXPECT_EQ(RetornarConteudoEntre("x<a>1", "<a>", "</a>"), "");
  EXPECT_EQ(RetornarConteudoEntre("x<a>1", "<a>", "</a>", true), "");
}

TEST(SubStrEmSubStr, MatchesWhenTheTextBeginsWithAnItem) {
  EXPECT_TRUE(SubStrEmSubStr("Parametro", "|Parametros|Parametro|"));
  EXPECT_TRUE(SubStrEmSubStr("Componente Nome=\"VFP-e\"", "|Componente|"));
  EXPECT_FALSE(SubStrEmSubStr("Metodo", "|Param|Comp|"));
  EXPECT_FALSE(SubStrEmSubStr("abc", "|abc"));  // not followed by "|"
  EXPECT_FALSE(SubStrEmSubStr("abc", ""));
  EXPECT_FALSE(SubStrEmSubStr("xabc", "|abc|"));
}

TEST(TaxNumbers, CnpjAndCpfCheckDigits) {
  EXPECT_TRUE(ValidarCNPJ("11.222.333/0001-81"));
  EXPECT_TRUE(ValidarCNPJ("11222333000181"));
  EXPECT_TRUE(ValidarCNPJ(" 11222333000181 "));
  EXPECT_FALSE(ValidarCNPJ("11.222.333/0001-82"));
  EXPECT_FALSE(ValidarCNPJ("11.222.333/0001-91"));
  EXPECT_FALSE(ValidarCNPJ("00000000000000"));
  EXPECT_FALSE(ValidarCNPJ("1122233300018"));
  EXPECT_FALSE(ValidarCNPJ("1122233300018a"));
  EXPECT_TRUE(ValidarCPF("529.982.247-25"));
  EXPECT_TRUE(ValidarCPF("52998224725"));
  EXPECT_FALSE(ValidarCPF("529.982.247-24"));
  EXPECT_FALSE(ValidarCPF("111.111.111-11"));
  EXPECT_FALSE(ValidarCPF("5299822472"));
}

TEST(StringHelpers, TrimCaseReplaceAndIntegers) {
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a \x01"), "  a");
  EXPECT_EQ(UpperCase("codigo ção"), "CODIGO çãO");  // ASCII letters only
  EXPECT_TRUE(SameText("Codigo", "CODIGO"));
  EXPECT_EQ(StringReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(StringReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(StringReplaceFirst("a-b-c", "-", "+"), "a+b-c");
  EXPECT_EQ(StrToInt(" -42"), -42);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_THROW(StrToInt("2147483648"), EConvertError);
  EXPECT_THROW(StrToInt("12abc"), EConvertError);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_EQ(StrToIntDef("x", 7), 7);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(IntToStr(-5), "-5");
}

}  // namespace
}  // namespace pagvigia
