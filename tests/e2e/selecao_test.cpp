// Which rows a cycle takes, and the awkward texts it carries: a serial with a
// single quote, accented and multi-line card and coupon data.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

// The ids of the rows that got a fiscal-response command, in order (each test
// row carries its id in its coupon number).
std::vector<std::string> Documentos(const std::vector<SimCommand>& cmds) {
  std::vector<std::string> r;
  for (auto& c : cmds)
    if (c.method == "RespostaFiscal") r.push_back(c.Param("NumeroDocumento").value_or("?"));
  return r;
}

TEST(Selecao, OwnRowsTodayOtherRegistersOnlyAfterFourDaysAndOnlyFiscallyComplete) {
  Instalacao inst(/*caixa=*/3);
  auto linha = [&](int id, int caixa, int dias, auto ajuste) {
    Transacao t;
    t.id = id;
    t.caixa = caixa;
    t.diasAtras = dias;
    t.serialPOS = "POS-NOVO";  // unregistered: payment and fiscal response only
    t.numCupom = std::to_string(id);
    ajuste(t);
    inst.Inserir(t);
  };
  auto nada = [](Transacao&) {};
  linha(1, 3, 0, nada);  // this register, today
  linha(2, 5, 0, nada);  // another register, today: not yet
  linha(3, 5, 4, nada);  // another register, four days ago: not yet
  linha(4, 5, 5, nada);  // another register, five days ago: taken
  linha(5, 3, 0, [](Transacao& t) { t.numCupom = std::nullopt; });
  linha(6, 3, 0, [](Transacao& t) { t.xmlSat = ""; });
  linha(7, 3, 0, [](Transacao& t) { t.chaveSat = std::nullopt; });
  linha(8, 3, 0, [](Transacao& t) { t.numCupom = ""; });
  linha(9, 3, 0, [](Transacao& t) {  // both done, status still "0": not taken
    t.idPagamento = "10";
    t.idRespostaFiscal = "20";
  });
  linha(10, 3, 0, [](Transacao& t) {  // payment done, fiscal missing: taken
    t.idPagamento = "11";
  });
  linha(11, 3, 0, [](Transacao& t) {  // fiscal done, payment "0": taken, fiscal sent again
    t.idRespostaFiscal = "RF-VELHO";
  });
  linha(12, 3, 0, [](Transacao& t) { t.xmlSat = std::nullopt; });

  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "900"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(Documentos(sim.Commands()), (std::vector<std::string>{"1", "4", "10", "11"}));
  for (int id : {2, 3, 5, 6, 7, 8, 12}) EXPECT_EQ(inst.Linha(id), (Progresso{"0", "0", "0"})) << id;
  EXPECT_EQ(inst.Linha(9), (Progresso{"10", "0", "20"}));
  EXPECT_EQ(inst.Linha(10).fiscal, "3");
  EXPECT_EQ(inst.Linha(11), (Progresso{"902", "0", "4"}));
}

TEST(Selecao, MissingConfCaixaMeansRegisterZero) {
  Instalacao inst(/*caixa=*/0);
  inst.EscreverCaixa("abc");  // not a number: register 0
  Transacao t;
  t.caixa = 0;
  t.serialPOS = "POS-NOVO";
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  EXPECT_EQ(sim.Commands().size(), 2u);
  EXPECT_EQ(inst.Linha(1), (Progresso{"1", "0", "1"}));
}

TEST(Selecao, SerialWithASingleQuoteIsLookedUpAsItIs) {
  Instalacao inst;
  inst.db().Run(
      "INSERT INTO MFE_CADASTRO_POS (CODIGO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO) VALUES "
      "(1, 'D''AVILA-01', 'REQ-QUOTE', '77');\n"
      "INSERT INTO MFE_CADASTRO_POS (CODIGO, MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO) VALUES "
      "(2, 'X'' OR ''1''=''1', 'REQ-WRONG', '99');\n");
  Transacao t;
  t.serialPOS = "D'AVILA-01";
  inst.Inserir(t);
  Transacao u;
  u.id = 2;
  u.serialPOS = "Y' OR '1'='1";  // would match every terminal if pasted unquoted
  inst.Inserir(u);
  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_EQ(cmds[0].Param("SerialPos"), "D'AVILA-01");
  EXPECT_EQ(cmds[0].Param("ChaveRequisicao"), "REQ-QUOTE");
  EXPECT_EQ(cmds[0].Param("Estabelecimento"), "77");
  EXPECT_EQ(cmds[2].method, "EnviarPagamento");
  EXPECT_EQ(cmds[2].Param("SerialPos"), "TEF");  // no terminal has that serial
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
  EXPECT_EQ(inst.Linha(2).fiscal, "2");
  EXPECT_TRUE(inst.ServiceLog().empty()) << SlurpFile(inst.ServiceLogPath());
}

TEST(Selecao, AccentedAndMultiLineCardAndCouponData) {
  Instalacao inst;
  Transacao t;
  t.donoCartao = "JOSÉ D'ÁVILA\nCONCEIÇÃO";
  t.instituicao = "Banco do Nordeste & Cia <BNB>";
  t.tipo = "Crédito à vista";
  t.xmlSat =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CFe>\n  <infCFe>\n    <emit><xNome>Padaria São "
      "João</xNome></emit>\n  </infCFe>\n</CFe>";
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0);
  auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 3u);
  for (auto& c : cmds) EXPECT_TRUE(c.ok()) << c.failures;
  // Accents are removed, line breaks become ";", markup is escaped and
  // arrives as the same characters.
  EXPECT_EQ(cmds[1].Param("DonoCartao"), "JOSE D'AVILA;CONCEICAO");
  EXPECT_EQ(cmds[1].Param("InstituicaoFinanceira"), "Banco do Nordeste & Cia <BNB>");
  EXPECT_EQ(cmds[1].Param("Tipo"), "Credito a vista");
  EXPECT_EQ(cmds[2].Param("Adquirente"), "Banco do Nordeste & Cia <BNB>");
  const auto impressao = cmds[2].Param("ImpressaoFiscal").value_or("");
  EXPECT_NE(impressao.find("<xNome>Padaria Sao Joao</xNome>"), std::string::npos) << impressao;
  EXPECT_EQ(impressao.find('\n'), std::string::npos);
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
  // The card data in the row is untouched.
  EXPECT_EQ(inst.Coluna(1, "MFE_DONOCARTAO"), "JOSÉ D'ÁVILA\\nCONCEIÇÃO");
}

// A register that cannot be identified (no ConfCaixa.ini, or no MSAUT row for
// its number) has no Integrador key: it sends nothing, neither its own rows
// nor other registers' old ones, and every cycle names what to create.
TEST(Selecao, ARegisterThatCannotBeIdentifiedSendsNothingAndSaysWhatToCreate) {
  Instalacao inst;  // register 1
  Transacao propria;
  inst.Inserir(propria);
  Transacao alheia;  // another register's, old enough to be taken
  alheia.id = 2;
  alheia.caixa = 5;
  alheia.diasAtras = 6;
  inst.Inserir(alheia);
  struct Caso {
    const char* nome;
    std::function<void()> quebra;
    std::string entrada;  // start of the one entry of each cycle
  };
  const Caso casos[] = {
      {"no ConfCaixa.ini", [&] { std::filesystem::remove(inst.ConfCaixaPath()); },
       "Caixa: " + ProgramUnderTest::Path(inst.ConfCaixaPath()) +
           " não existe; nada é enviado ao Integrador — Crie-o com a seção [Caixa] e a chave IdCaixa="},
      {"no MSAUT row", [&] { inst.EscreverCaixa("7"); },
       "Caixa: MSAUT não tem linha para o caixa 7 (IdCaixa de " + ProgramUnderTest::Path(inst.ConfCaixaPath()) +
           "); nada é enviado ao Integrador — Cadastre o caixa 7 no Gestalo"},
  };
  IntegradorSim sim(inst.input(), inst.output());
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    caso.quebra();
    for (int ciclo = 0; ciclo < 2; ++ciclo) {
      EXPECT_EQ(inst.RodarUmCiclo(), 1) << inst.Saidas();
      const auto msgs = inst.ServiceLogMessages();
      ASSERT_EQ(msgs.size(), 1u) << inst.Saidas();
      EXPECT_EQ(msgs[0].rfind(caso.entrada, 0), 0u) << msgs[0];
      EXPECT_NE(inst.Erros().find(": caixa não identificado, nada enviado\n"), std::string::npos)
          << inst.Saidas();
    }
    EXPECT_TRUE(sim.Commands().empty());
    for (int id : {1, 2}) EXPECT_EQ(inst.Linha(id), (Progresso{"0", "0", "0"})) << id;
    inst.EscreverCaixa("1");
  }
}

}  // namespace
}  // namespace pagvigia::testing
