// Reading Integrador answers with the XML text reader.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "util/conversao.h"
#include "util/texto.h"
#include "vfpe/leitor.h"

namespace pagvigia {
namespace {

const std::string kResposta =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Integrador>\r\n"
    "  <Identificador>\r\n"
    "    <Valor>123456</Valor>\r\n"
    "  </Identificador>\r\n"
    "  <Componente Nome=\"VFP-e\">\r\n"
    "    <Metodo Nome=\"EnviarPagamento\">\r\n"
    "      <Codigo>AP</Codigo>\r\n"
    "    </Metodo>\r\n"
    "  </Componente>\r\n"
    "  <IntegradorResposta>\r\n"
    "    <Codigo>AP</Codigo>\r\n"
    "    <Valor> Requisição processada &amp; registrada:\r\n"
    "&lt;ok&gt; &quot;Cartão&quot; d&#39;água </Valor>\r\n"
    "  </IntegradorResposta>\r\n"
    "  <Resposta>\r\n"
    "    <IdPagamento>987654</IdPagamento>\r\n"
    "    <ValorPagamento>12,50</ValorPagamento>\r\n"
    "    <DataHora>2026-12-08T10:30:15</DataHora>\r\n"
    "  </Resposta>\r\n"
    "</Integrador>\r\n";

TLeitor Carregado(const std::string& texto) {
  TLeitor l;
  l.SetArquivo(texto);
  return l;
}

TEST(TLeitorExtrai, LevelsSearchInsideTheGroupAbove) {
  TLeitor l = Carregado(kResposta);
  const std::string integrador = l.rExtrai(1, "Integrador");
  EXPECT_EQ(integrador.rfind("<Integrador>", 0), 0u);
  EXPECT_TRUE(EndsStr("</Integrador>", integrador));  // trailing CR LF removed
  EXPECT_EQ(l.Grupo(), integrador);
  EXPECT_EQ(l.Nivel(1), integrador);
  EXPECT_EQ(l.Nivel(0), kResposta);

  EXPECT_EQ(l.rExtrai(2, "IntegradorResposta").rfind("<IntegradorResposta>", 0), 0u);
  EXPECT_EQ(l.rCampo(tcStr, "codigo").AsString(), "AP");
  EXPECT_EQ(l.rCampo(tcStr, "Valor").AsString(),
            "Requisição processada & registrada:\r\n<ok> \"Cartão\" d'água");
  EXPECT_EQ(l.rCampo(tcEsp, "Valor").AsString(),
            "Requisição processada &amp; registrada:\r\n&lt;ok&gt; &quot;Cartão&quot; d&#39;água");

  EXPECT_EQ(l.rExtrai(2, "Identificador"), "<Identificador>\r\n    <Valor>123456</Valor>\r\n  </Identificador>");
  EXPECT_EQ(l.rCampo(tcInt, "Valor").AsInteger(), 123456);

  // A group at level 3 is searched in level 2 only.
  EXPECT_EQ(l.rExtrai(3, "Resposta"), "");
  EXPECT_EQ(l.Grupo(), "");
  EXPECT_EQ(l.Nivel(2).rfind("<Identificador>", 0), 0u);  // a failed cut keeps the level
  l.rExtrai(2, "Resposta");
  EXPECT_EQ(l.rCampo(tcStr, "IdPagamento").AsString(), "987654");
  EXPECT_DOUBLE_EQ(l.rCampo(tcDe2, "ValorPagamento").AsDouble(), 12.5);
  EXPECT_EQ(l.rCampo(tcDatHor, "DataHora").AsDateTime(), EncodeDateTime(2026, 12, 8, 10, 30, 15));
}

TEST(TLeitorExtrai, NamesMustEndAtTheTagBoundary) {
  TLeitor l = Carregado("<retornoLista><x>1</x></retornoLista><retorno><x>2</x></retorno>");
  EXPECT_EQ(l.rExtrai(1, "retorno"), "<retorno><x>2</x></retorno>");
  EXPECT_EQ(l.rExtrai(1, "Retorno"), "");  // case counts for groups
}

TEST(TLeitorExtrai, GroupsWithAttributesAreGroupsButNotFields) {
  TLeitor l = Carregado(kResposta);
  l.rExtrai(1, "Componente");
  EXPECT_EQ(l.Grupo().rfind("<Componente Nome=\"VFP-e\">", 0), 0u);
  EXPECT_EQ(l.rAtributo("Nome", "Metodo").AsString(), "EnviarPagamento");
  EXPECT_EQ(l.rAtributo("Nome").AsString(), "VFP-e");
  EXPECT_EQ(l.rAtributo("Versao").AsString(), "");
  l.SetGrupo(l.Arquivo());
  EXPECT_EQ(l.rCampo(tcStr, "Componente").AsString(), "");
  EXPECT_EQ(l.rCampo(tcStr, "Metodo").AsString(), "");
}

TEST(TLeitorExtrai, ItemPicksTheNthGroup) {
  TLeitor l = Carregado("<Lista><P><Nome>a</Nome></P><P><Nome>b</Nome></P><P><Nome>c</Nome></P></Lista>");
  l.rExtrai(1, "P", "", 2);
  EXPECT_EQ(l.rCampo(tcStr, "Nome").AsString(), "b");
  l.rExtrai(1, "P", "", 3);
  EXPECT_EQ(l.rCampo(tcStr, "Nome").AsString(), "c");
  EXPECT_EQ(l.rExtrai(1, "P", "", 4), "");
  EXPECT_EQ(l.rExtrai(1, "P", "", 2000000000), "");  // ends quickly
}

TEST(TLeitorExtrai, LevelsOutsideOneToTenRaise) {
  TLeitor l = Carregado(kResposta);
  EXPECT_THROW(l.rExtrai(0, "Integrador"), EListError);
  EXPECT_THROW(l.rExtrai(11, "Integrador"), EListError);
  EXPECT_THROW(l.Nivel(-1), EListError);
  EXPECT_NO_THROW(l.rExtrai(10, "Integrador"));  // level 9 is empty: nothing found
  EXPECT_EQ(l.Grupo(), "");
}

TEST(TLeitorCampo, ContentRules) {
  TLeitor l;
  l.SetGrupo(
      "<R><Valor>a1b2c3</Valor><Vazio></Vazio><Grande>99999999999</Grande><Neg>-5</Neg>"
      "<V1>12.50</V1><V2>12,50</V2><V3>1.234,56</V3><Esc>&amp;lt;&#x41;</Esc>"
      "<Aberto>sem fim</R>");
  EXPECT_EQ(l.rCampo(tcInt, "Valor").AsInteger(), 123);
  EXPECT_EQ(l.rCampo(tcInt, "Vazio").AsInteger(), 0);
  EXPECT_EQ(l.rCampo(tcInt, "Ausente").kind(), TVariant::Kind::Integer);
  EXPECT_EQ(l.rCampo(tcInt, "Grande").AsInteger(), 0);
  EXPECT_EQ(l.rCampo(tcInt, "Neg").AsInteger(), 5);  // digits only
  EXPECT_DOUBLE_EQ(l.rCampo(tcDe2, "V1").AsDouble(), 12.5);
  EXPECT_DOUBLE_EQ(l.rCampo(tcDe2, "V2").AsDouble(), 12.5);
  EXPECT_DOUBLE_EQ(l.rCampo(tcDe4, "V3").AsDouble(), 0);
  EXPECT_EQ(l.rCampo(tcStr, "Esc").AsString(), "<A");
  EXPECT_EQ(l.rCampo(tcStr, "Aberto").AsString(), "");
  EXPECT_EQ(l.rCampo(tcStr, "Ausente").AsString(), "");
  EXPECT_EQ(l.rCampo(tcStr, "  valor  ").AsString(), "a1b2c3");
}

TEST(TLeitorCampo, StopTagAndClosingTagOrder) {
  TLeitor l;
  l.SetGrupo("<R><Pag><Id>1</Id></Pag><Id>2</Id></R>");
  EXPECT_EQ(l.rCampo(tcStr, "Id", "Pag").AsString(), "");  // stop tag first
  EXPECT_EQ(l.rCampo(tcStr, "Id", "Outra").AsString(), "1");
  EXPECT_EQ(l.rCampo(tcStr, "Id", "R").AsString(), "");  // the enclosing tag comes first too
  l.SetGrupo("<R></Id><Id>2</Id></R>");
  EXPECT_EQ(l.rCampo(tcStr, "Id").AsString(), "");  // the first closing tag comes earlier
  l.SetGrupo("<R><Id>2</ID></R>");
  EXPECT_EQ(l.rCampo(tcStr, "id").AsString(), "2");
}

TEST(TLeitorCampo, DatesAndTimesAtFixedPositions) {
  TLeitor l;
  l.SetGrupo(
      "<R><D>2026-12-08</D><DH>2026-12-08T23:59:58-03:00</DH><H>07:08:09</H><DC>20261208</DC>"
      "<HC>070809</HC><DV>08/12/2026</DV><DHC>20261208070809</DHC><Vazio></Vazio>"
      "<Mau>2026-02-30</Mau><Curto>2026-12</Curto><Letras>2026-1a-08</Letras><Neg>-026-12-08</Neg></R>");
  EXPECT_EQ(l.rCampo(tcDat, "D").AsDateTime(), EncodeDate(2026, 12, 8));
  EXPECT_EQ(l.rCampo(tcDatHor, "DH").AsDateTime(), EncodeDateTime(2026, 12, 8, 23, 59, 58));
  EXPECT_EQ(l.rCampo(tcHor, "H").AsDateTime(), EncodeTime(7, 8, 9));
  EXPECT_EQ(l.rCampo(tcDatCFe, "DC").AsDateTime(), EncodeDate(2026, 12, 8));
  EXPECT_EQ(l.rCampo(tcHorCFe, "HC").AsDateTime(), EncodeTime(7, 8, 9));
  EXPECT_EQ(l.rCampo(tcDatVcto, "DV").AsDateTime(), EncodeDate(2026, 12, 8));
  EXPECT_EQ(l.rCampo(tcDatHorCFe, "DHC").AsDateTime(), EncodeDateTime(2026, 12, 8, 7, 8, 9));
  EXPECT_EQ(l.rCampo(tcDat, "Vazio").AsDateTime(), TDateTime());
  EXPECT_EQ(l.rCampo(tcHor, "Ausente").AsDateTime(), TDateTime());
  for (const char* bad : {"Mau", "Curto", "Letras", "Neg"})
    EXPECT_THROW(l.rCampo(tcDat, bad), EConvertError) << bad;
}

TEST(TLeitorCampo, TypesWithoutReadingRaise) {
  TLeitor l;
  l.SetGrupo("<R><Valor> abc </Valor></R>");
  for (TTipoCampo t : {tcBoolStr, tcStrOrig, tcNumStr}) {
    try {
      l.rCampo(t, "valor");
      ADD_FAILURE() << "no exception for type " << t;
    } catch (const ELeitorException& e) {
      EXPECT_EQ(std::string(e.what()), "Tag <VALOR> com conteúdo inválido. abc");
    }
  }
  EXPECT_THROW(l.rCampo(tcBoolStr, "Ausente"), ELeitorException);
  EXPECT_THROW(l.rCampo(static_cast<TTipoCampo>(99), "Valor"), ELeitorException);
}

TEST(TLeitorCampo, CnpjOrCpf) {
  TLeitor l;
  l.SetGrupo("<E><CNPJ>11222333000181</CNPJ><CPF>52998224725</CPF></E>");
  EXPECT_EQ(l.rCampoCNPJCPF(), "11222333000181");
  l.SetGrupo("<E><CNPJ> </CNPJ><CPF>52998224725</CPF></E>");
  EXPECT_EQ(l.rCampoCNPJCPF(), "52998224725");
  l.SetGrupo("<E><Fim/><X></X></E>");
  EXPECT_EQ(l.rCampoCNPJCPF("X"), "");
}

TEST(TLeitorAtributo, QuotesEscapesAndMissingValues) {
  TLeitor l;
  l.SetGrupo("<Metodo Nome='Enviar &amp; Ver' Outro=\"x\" Vazio=\"\" Aberto=\"sem fim>");
  EXPECT_EQ(l.rAtributo("Nome").AsString(), "Enviar & Ver");
  EXPECT_EQ(l.rAtributo("Outro=").AsString(), "x");
  EXPECT_EQ(l.rAtributo("Vazio").AsString(), "");
  EXPECT_EQ(l.rAtributo("Aberto").AsString(), "");
  EXPECT_EQ(l.rAtributo(" ").AsString(), "");
  l.SetGrupo("<a b = \"1\">");
  EXPECT_EQ(l.rAtributo("b").AsString(), "1");
  l.SetGrupo("<a c=1>");
  EXPECT_EQ(l.rAtributo("c").AsString(), "");
}

TEST(TLeitorPosicoes, CountCharacters) {
  EXPECT_EQ(PosLast("ab", "ab ção ab"), 8u);
  EXPECT_EQ(PosLast("aa", "aaa"), 2u);
  EXPECT_EQ(PosLast("x", "abc"), 0u);
  EXPECT_EQ(PosLast("\xA9", "\xC3\xA9"), 1u);  // a match inside a character, never past the text
  EXPECT_EQ(PosLast("", "abc"), 0u);
  EXPECT_EQ(PosAtributo("Nome", "<ção Nome=\"a\">", 1), 6u);
  EXPECT_EQ(PosAtributo("Nome", "<a Nome =\"a\">", 1), 4u);
  EXPECT_EQ(PosAtributo("Nome", "<a Nome=\"a\"><b Nome=\"b\">", 5), 16u);
  EXPECT_EQ(PosAtributo("Nome", "<a>", 1), 0u);
  EXPECT_EQ(PosAtributo("Nome", "<a Nome=\"a\">", 99), 0u);
}

TEST(TLeitorEntradaRuim, NeverReadsOutsideTheText) {
  const std::string casos[] = {
      "",
      "sem tags",
      "<Integrador>",
      "<Integrador><IntegradorResposta><Codigo>AP",
      "</Integrador>",
      "<Integrador></Integrador:",
      "<<<>>></</",
      "<Integrador><Valor><Codigo>AP</Codigo></Valor></Integrador>",
      "<a><a><a>1</a></a></a>",
      std::string("<Integrador>\xFF\xFE\xC3<Codigo>\xE2\x82</Codigo></Integrador>"),
      "<Integrador><Valor>&#x</Valor></Integrador>",
  };
  for (const std::string& c : casos) {
    TLeitor l = Carregado(c);
    for (int nivel = 1; nivel <= 10; ++nivel) {
      l.rExtrai(nivel, nivel % 2 ? "Integrador" : "a", "", nivel % 3 + 1);
      l.rExtrai(nivel, "Codigo");
      EXPECT_LE(l.Grupo().size(), c.size());
      EXPECT_NO_THROW(l.rCampo(tcInt, "Codigo"));
      EXPECT_NO_THROW(l.rCampo(tcEsp, "Valor", "Codigo"));
      EXPECT_NO_THROW(l.rAtributo("Nome", "Metodo"));
    }
    l.SetGrupo(c);
    try {
      l.rCampo(tcStr, "Valor");
    } catch (const EConvertError&) {
    }
  }
}

TEST(TLeitorEntradaRuim, UnterminatedAndNestedGroupsFollowTheFirstClosingTag) {
  TLeitor l = Carregado("<a><a>1</a></a>");
  EXPECT_EQ(l.rExtrai(1, "a"), "<a><a>1</a>");
  l = Carregado("<a>xyz");
  EXPECT_EQ(l.rExtrai(1, "a"), "<a>");
  l = Carregado("<Integrador><Codigo>AP</Codigo>");
  EXPECT_EQ(l.rExtrai(1, "Integrador"), "<Integrador>");
  EXPECT_EQ(l.rCampo(tcStr, "Codigo").AsString(), "");
}

TEST(TLeitorEntradaRuim, SkippingItemsWithoutClosingTagsEnds) {
  // Almost closing tags everywhere, none that closes: each skip would look
  // through the whole rest of the text again.
  std::string s;
  while (s.size() < 2 * 1024 * 1024) s += "</Ix<I";
  TLeitor l = Carregado(s);
  EXPECT_EQ(l.rExtrai(1, "I", "", 2000000000), "");
  l = Carregado(s + "<I>ultimo</I>");
  EXPECT_EQ(l.rExtrai(1, "I", "", 1), "<I>ultimo</I>");
  // The same skips dropping characters one step at a time.
  l = Carregado("<x><I>1</I>ab<I>2</I>");
  EXPECT_EQ(l.rExtrai(1, "I", "", 2), "<I>2</I>");
  l = Carregado("abcdefg<I>2</I>");
  EXPECT_EQ(l.rExtrai(1, "J", "I", 2), "");
  l = Carregado("<I>1</I>abc<J>2</I>");
  EXPECT_EQ(l.rExtrai(1, "J", "I", 2), "<J>2</I>");
}

TEST(TLeitorEntradaRuim, InvalidUtf8CountsOneCharacterPerByte) {
  TLeitor l = Carregado(std::string("<x>\xC3</x>\xFF<y>\xE2\x82</y>"));
  EXPECT_EQ(l.rExtrai(1, "y"), std::string("<y>\xE2\x82</y>"));
  EXPECT_EQ(l.rCampo(tcEsp, "y").AsString(), std::string("\xE2\x82"));
  EXPECT_EQ(PosLast("<y>", l.Arquivo()), 10u);
}

TEST(TLeitorEntradaRuim, TenMegabyteAnswer) {
  std::string big = "<Integrador><Lote>";
  const std::string item = "<Item><Codigo>EE</Codigo><Valor>Texto de preenchimento ção</Valor></Item>\r\n";
  while (big.size() < 10 * 1024 * 1024) big += item;
  big += "</Lote><IntegradorResposta><Codigo>AP</Codigo></IntegradorResposta></Integrador>";
  TLeitor l = Carregado(big);
  l.rExtrai(1, "Integrador");
  EXPECT_GT(l.Grupo().size(), 10u * 1024 * 1024);
  l.rExtrai(2, "IntegradorResposta");
  EXPECT_EQ(l.rCampo(tcStr, "Codigo").AsString(), "AP");
  // One of the last items, and a field of it (each skip starts where the last
  // one ended: this stays linear).
  const int itens = static_cast<int>(big.size() / item.size()) - 1;
  l.rExtrai(2, "Item", "", itens);
  EXPECT_EQ(l.rCampo(tcStr, "Codigo").AsString(), "EE");
  EXPECT_EQ(l.rExtrai(2, "Item", "", itens + 5), "");
  l.SetGrupo(l.Arquivo());
  EXPECT_EQ(l.rCampo(tcStr, "Codigo").AsString(), "EE");
  EXPECT_EQ(l.rCampo(tcStr, "Ausente").AsString(), "");
  EXPECT_EQ(l.rAtributo("Nome", "Metodo").AsString(), "");
}

// The reading rules as stated, on copies and upper-cased copies of the
// texts (ASCII texts, where characters are bytes).
struct LeitorPassoAPasso {
  std::string arquivo, grupo, nivel[11];

  std::string Extrai(int n, const std::string& inicio, const std::string& fim0, int item) {
    nivel[0] = arquivo;
    const std::string ti = Trim(inicio), tf = Trim(fim0).empty() ? ti : Trim(fim0);
    std::string texto = nivel[n - 1];
    grupo.clear();
    for (int i = 1; i < item; ++i) {
      const std::size_t j = texto.find("</" + tf + ">");
      texto = texto.substr(j != std::string::npos ? j + tf.size() + 3 : std::min(texto.size(), tf.size() + 2));
    }
    auto fechamento = [&] {
      std::size_t j = texto.find("</" + tf + ">");
      return j != std::string::npos ? j : texto.find("</" + tf + ":");
    };
    std::size_t j = fechamento();
    texto = texto.substr(0, j != std::string::npos ? j + tf.size() + 4 : tf.size() + 3);
    std::size_t i = texto.find("<" + ti + ">");
    if (i == std::string::npos) i = texto.find("<" + ti + " ");
    if (i == std::string::npos) i = texto.find("<" + ti + ":");
    if (i == std::string::npos) return {};
    texto = texto.substr(i);
    j = fechamento();
    grupo = nivel[n] = TrimRight(texto.substr(0, j != std::string::npos ? j + tf.size() + 3 : tf.size() + 2));
    return grupo;
  }

  std::string Campo(const std::string& tag0, const std::string& parada) const {
    const std::string tag = UpperCase(Trim(tag0)), g = UpperCase(grupo);
    const std::size_t inicio = g.find("<" + tag + ">");
    std::size_t ip = inicio;
    if (!Trim(parada).empty()) {
      ip = g.find("<" + UpperCase(Trim(parada)) + ">");
      if (ip == std::string::npos) ip = inicio;
    }
    if (inicio == std::string::npos || ip < inicio) return {};
    const std::size_t de = inicio + tag.size() + 2, fim = g.find("</" + tag + ">");
    if (fim == std::string::npos || fim < de) return {};
    return Trim(grupo.substr(de, fim - de));
  }
};

TEST(TLeitorPassoAPasso, AgreesWithTheRulesOnRandomTexts) {
  const char* pecas[] = {"<a>", "</a>", "<b>", "</b>", "<A>", "</A>", "<a x='1'>", "</a:", "<ab>", "</ab>", "x",
                         " ", "\r\n", "<", ">", "/", "a", "<B>", "</B>", "<a:b>"};
  const char* tags[] = {"a", "b", "ab", "A", "", " a "};
  std::mt19937 rng(11);
  auto texto = [&] {
    std::string s;
    for (int k = static_cast<int>(rng() % 30); k > 0; --k) s += pecas[rng() % std::size(pecas)];
    return s;
  };
  for (int doc = 0; doc < 4000; ++doc) {
    TLeitor l;
    LeitorPassoAPasso m;
    m.arquivo = texto();
    l.SetArquivo(m.arquivo);
    for (int op = 0; op < 12; ++op) {
      const std::string tag = tags[rng() % std::size(tags)];
      switch (rng() % 6) {
        case 0:
        case 1: {
          const int nivel = 1 + static_cast<int>(rng() % 4), item = 1 + static_cast<int>(rng() % 3);
          const std::string fim = rng() % 4 == 0 ? tags[rng() % std::size(tags)] : "";
          ASSERT_EQ(l.rExtrai(nivel, tag, fim, item), m.Extrai(nivel, tag, fim, item)) << m.arquivo;
          ASSERT_EQ(l.Grupo(), m.grupo);
          break;
        }
        case 2:
        case 3: {
          const std::string parada = rng() % 3 == 0 ? tags[rng() % std::size(tags)] : "";
          ASSERT_EQ(l.rCampo(tcEsp, tag, parada).AsString(), m.Campo(tag, parada)) << m.grupo << " / " << tag;
          break;
        }
        case 4:
          m.grupo = rng() % 2 ? m.arquivo : texto();
          l.SetGrupo(m.grupo);
          break;
        default:
          // A new text: the levels keep the groups cut out of the old one.
          m.arquivo = texto();
          l.SetArquivo(m.arquivo);
          break;
      }
    }
  }
}

TEST(TLeitorArquivo, FilesByByteOrderMarkAndStreams) {
  testing::TempDir dir;
  const std::string ansi = dir / "ansi.xml";
  platform::WriteFileBytes(ansi, "<Valor>Cart\xE3o</Valor>\n<Codigo>AP</Codigo>");
  TLeitor l;
  EXPECT_TRUE(l.CarregarArquivo(ansi));
  EXPECT_EQ(l.Arquivo(), "<Valor>Cartão</Valor>\r\n<Codigo>AP</Codigo>\r\n");

  const std::string u16 = dir / "u16.xml";
  platform::WriteFileBytes(u16, platform::EncodeText("<Valor>Ação</Valor>", platform::TextEncoding::Utf16LE));
  l.CarregarArquivo(u16);
  l.SetGrupo(l.Arquivo());
  EXPECT_EQ(l.rCampo(tcStr, "Valor").AsString(), "Ação");

  EXPECT_THROW(l.CarregarArquivo(dir / "nao_existe.xml"), platform::FileError);

  std::istringstream in("<Codigo>AP</Codigo>");
  EXPECT_TRUE(l.CarregarArquivo(in));
  EXPECT_EQ(l.Arquivo(), "<Codigo>AP</Codigo>");
}

}  // namespace
}  // namespace pagvigia
