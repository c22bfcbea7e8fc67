// The Integrador component: session numbers, the typed and generic calls and
// the Integrador log, against an Integrador played in simulated time.
#include "integrador/integrador_cliente.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "vfpe/integrador_resposta.h"
#include "platform/codepage.h"
#include "tests/integrador/apoio.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {
namespace {

using testing::kSep;
using testing::Pastas;
using testing::Resposta;
using testing::TempoRoteirizado;

// Plays the Integrador after every sleep: takes each command of the input
// folder and answers it through `responde` (method name in lower case,
// session); an empty answer means none.
struct IntegradorFalso {
  IntegradorFalso(const Pastas& p, TempoRoteirizado& t) : p(p) {
    t.aCadaSono = [this] { Passo(); };
  }
  void Passo() {
    for (const auto& n : platform::ListFolder(p.input + kSep + "*.xml")) {
      const std::string caminho = p.input + "/" + n;
      comandos.push_back(platform::AnsiToUtf8(platform::ReadFileBytes(caminho)));
      nomes.push_back(n);
      platform::DeleteFile(caminho);
      const std::string metodo = n.substr(0, n.find('-'));
      // The session is the envelope's first Valor.
      const std::string& xml = comandos.back();
      const auto v = xml.find("<Valor>") + 7;
      const std::int32_t sessao = std::stoi(xml.substr(v, xml.find('<', v) - v));
      const std::string r = responde ? responde(metodo, sessao) : Resposta(sessao);
      if (!r.empty()) p.Grava("resp-" + std::to_string(sessao) + ".xml", r);
    }
  }
  const Pastas& p;
  std::function<std::string(const std::string&, std::int32_t)> responde;
  std::vector<std::string> comandos, nomes;
};

class IntegradorClienteTest : public ::testing::Test {
 protected:
  IntegradorClienteTest() : cli(t, t), integrador(p, t) {
    cli.SetPastaInput(p.input);
    cli.SetPastaOutput(p.output);
    cli.ArqLOG = p.raiz / "Pagvigia_Integrador.log";
  }
  // The log file's lines, without their time stamps, as UTF-8.
  std::vector<std::string> Log() {
    std::vector<std::string> r;
    if (!platform::FileExists(cli.ArqLOG)) return r;
    for (const auto& l : platform::SplitLines(platform::AnsiToUtf8(platform::ReadFileBytes(cli.ArqLOG))))
      r.push_back(l.size() > 24 ? l.substr(24) : l);
    return r;
  }

  Pastas p;
  TempoRoteirizado t;
  TIntegradorCliente cli;
  IntegradorFalso integrador;
};

TEST_F(IntegradorClienteTest, SessionNumbersAndTheirHandler) {
  std::set<std::int32_t> vistos;
  for (int i = 0; i < 3000; ++i) {
    const std::int32_t n = cli.GerarNumeroSessao();
    ASSERT_GE(n, 1);
    ASSERT_LE(n, 999998);
    EXPECT_EQ(cli.NumeroSessao(), n);
    vistos.insert(n);
  }
  EXPECT_GT(vistos.size(), 2900u);

  std::int32_t oferecido = -1;
  for (std::int32_t dado : {7, 0, -5}) {
    cli.OnGetNumeroSessao = [&](std::int32_t& n) {
      oferecido = n;
      n = dado;
    };
    const std::int32_t n = cli.GerarNumeroSessao();
    EXPECT_EQ(n, dado > 0 ? dado : oferecido) << dado;
  }
}

TEST_F(IntegradorClienteTest, SessionZeroIsNeverUsed) {
  // An answer without a session number reads as session 0: a command of
  // session 0 would take it.
  struct Case {
    int drawn;
    std::int32_t sessao;
  } cases[] = {{0, 1}, {1, 2}, {999997, 999998}};
  int maior = -1;
  for (const auto& c : cases) {
    cli.RandomDraw = [&](int upper) {
      maior = upper;
      return c.drawn;
    };
    EXPECT_EQ(cli.GerarNumeroSessao(), c.sessao) << c.drawn;
    EXPECT_EQ(maior, 999997);
  }
  cli.OnGetNumeroSessao = [](std::int32_t& n) { n = 0; };
  cli.RandomDraw = [](int) { return 0; };
  EXPECT_EQ(cli.GerarNumeroSessao(), 1);
}

TEST_F(IntegradorClienteTest, LogLinesAreStampedAppendedInWindows1252) {
  cli.DoLog("Situação ✓");
  t.SleepMs(61234);
  cli.DoLog("segunda");
  EXPECT_EQ(platform::ReadFileBytes(cli.ArqLOG),
            platform::Utf8ToAnsi("08/12/26 10:00:00:000 - Situação ?\r\n08/12/26 10:01:01:234 - segunda\r\n"));
}

TEST_F(IntegradorClienteTest, LogHandlerAndMissingLogFile) {
  std::vector<std::string> recebidas;
  cli.OnGravarLog = [&](const std::string& linha, bool& Tratado) {
    recebidas.push_back(linha);
    Tratado = linha.rfind("fica", 0) != 0;
  };
  cli.DoLog("fica no arquivo");
  cli.DoLog("tratada pelo dono");
  EXPECT_EQ(recebidas, (std::vector<std::string>{"fica no arquivo", "tratada pelo dono"}));
  EXPECT_EQ(Log(), std::vector<std::string>{"fica no arquivo"});

  cli.ArqLOG.clear();
  cli.OnGravarLog = nullptr;
  cli.DoLog("nada");
  cli.ArqLOG = p.raiz / "nao-existe/Pagvigia_Integrador.log";
  EXPECT_NO_THROW(cli.DoLog("perdida"));
  EXPECT_FALSE(platform::PathExists(p.raiz / "nao-existe"));
  cli.ArqLOG = p.raiz / "Pagvigia_Integrador.log";
  EXPECT_EQ(Log(), std::vector<std::string>{"fica no arquivo"});
}

TEST_F(IntegradorClienteTest, EnviarPagamentoStampsTheSessionAndParsesTheAnswer) {
  cli.OnGetNumeroSessao = [](std::int32_t& n) { n = 4321; };
  integrador.responde = [](const std::string& metodo, std::int32_t sessao) {
    EXPECT_EQ(metodo, "enviarpagamento");
    return "\xEF\xBB\xBF" + Resposta(sessao, "AP",
                                     "<IDPagamento>555</IDPagamento><Mensagem>Transação aceita</Mensagem>"
                                     "<StatusPagamento>OK</StatusPagamento>");
  };
  TEnviarPagamento pedido;
  pedido.ChaveAcessoValidador = "chave";
  pedido.CNPJ = "12345678000195";
  pedido.ValorTotalVenda = 25.5;
  pedido.CodigoMoeda = "BRL";
  auto r = cli.EnviarPagamento(pedido);
  ASSERT_TRUE(r);
  EXPECT_EQ(pedido.Identificador, 4321);
  EXPECT_EQ(r->IDPagamento, 555);
  EXPECT_EQ(r->Mensagem, "Transação aceita");
  EXPECT_EQ(r->IntegradorResposta.Codigo, "AP");
  EXPECT_EQ(r->IntegradorResposta.Identificador, 4321);
  ASSERT_EQ(integrador.nomes, std::vector<std::string>{"enviarpagamento-4321.xml"});
  EXPECT_EQ(integrador.comandos[0], pedido.AsXMLString());
  const auto log = Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "EnviarPagamento( " + pedido.AsXMLString() + " )");
  EXPECT_EQ(log[1], "Criando arquivo: " + p.input + kSep + "enviarpagamento-4321.tmp");
  EXPECT_EQ(log.back().rfind("RespostaIntegrador: <Integrador>", 0), 0u) << log.back();
  EXPECT_EQ(cli.UltimaResposta(), r->XML);
}

TEST_F(IntegradorClienteTest, TheOtherTypedCalls) {
  integrador.responde = [](const std::string& metodo, std::int32_t sessao) {
    return Resposta(sessao, "AP", "<retorno>" + metodo + "</retorno>");
  };
  TStatusPagamento status;
  EXPECT_EQ(cli.EnviarStatusPagamento(status)->Retorno, "enviarstatuspagamento");
  EXPECT_EQ(status.Identificador, cli.NumeroSessao());
  TRespostaFiscal fiscal;
  EXPECT_EQ(cli.RespostaFiscal(fiscal)->IdRespostaFiscal, "respostafiscal");
  TVerificarStatusValidador verificar;
  EXPECT_EQ(cli.VerificarStatusValidador(verificar)->Retorno, "verificarstatusvalidador");
  EXPECT_EQ(Log()[0].rfind("EnviarStatusPagamento( <Integrador>", 0), 0u);
}

TEST_F(IntegradorClienteTest, NoAnswerPropagatesTheExchangeError) {
  integrador.responde = [](const std::string&, std::int32_t) { return std::string(); };
  TRespostaFiscal fiscal;
  EXPECT_THROW(cli.RespostaFiscal(fiscal), EComandoIntegradorException);
  EXPECT_TRUE(cli.ErroTimeout());
  EXPECT_EQ(Log().back(), "EComandoIntegradorException: Sem Resposta do Integrador");
  EXPECT_GE(t.Decorrido(), 30000);
}

TEST_F(IntegradorClienteTest, GenericCallBuildsParametersInOrder) {
  cli.OnGetNumeroSessao = [](std::int32_t& n) { n = 7; };
  cli.SetNomeComponente("Comp");
  cli.SetNomeMetodo("metodo", true);
  EXPECT_EQ(cli.NomeMetodo(), "Hmetodo");
  cli.SetNomeMetodo("metodo");
  cli.Parametros() = {"a=1", "b=x<y", "c=<![CDATA[<z>]]>"};
  integrador.responde = [](const std::string&, std::int32_t s) {
    return Resposta(s, "AP", "<retorno>\\\"x|y||z</retorno>");
  };
  EXPECT_EQ(cli.Enviar(true), "x|y||z");
  EXPECT_EQ(cli.Respostas(), (std::vector<std::string>{"x", "y", "", "z"}));
  ASSERT_EQ(integrador.comandos.size(), 1u);
  EXPECT_EQ(integrador.nomes[0], "metodo-20261208100000-7.xml");
  EXPECT_EQ(integrador.comandos[0],
            "<Integrador><Identificador><Valor>7</Valor></Identificador><Componente Nome=\"Comp\">"
            "<Metodo Nome=\"metodo\"><Parametros>"
            "<Parametro><Nome>numeroSessao</Nome><Valor>7</Valor></Parametro>"
            "<Parametro><Nome>a</Nome><Valor>1</Valor></Parametro>"
            "<Parametro><Nome>b</Nome><Valor>x&lt;y</Valor></Parametro>"
            "<Parametro><Nome>c</Nome><Valor><![CDATA[<z>]]></Valor></Parametro>"
            "</Parametros></Metodo></Componente></Integrador>");
  const auto log = Log();
  EXPECT_EQ(log[0], "Sessão: 7, Dados: " + integrador.comandos[0]);
  EXPECT_EQ(log.back(), "Sessão: 7, Resposta: \\\"x|y||z");
}

TEST_F(IntegradorClienteTest, GenericCallFailures) {
  cli.Parametros() = {"a=1"};
  try {
    cli.Enviar(false);
    FAIL() << "no exception";
  } catch (const EIntegradorException& e) {
    EXPECT_STREQ(e.what(), "NomeMetodo não definido");
  }
  EXPECT_EQ(Log().back(), "EIntegradorException: NomeMetodo não definido");
  EXPECT_TRUE(integrador.comandos.empty());

  cli.SetNomeMetodo("m");
  integrador.responde = [](const std::string&, std::int32_t s) {
    return Resposta(s, "AP", "<retorno></retorno><Erro><Msg>recusado</Msg></Erro>");
  };
  try {
    cli.Enviar(false);
    FAIL() << "no exception";
  } catch (const EIntegradorException& e) {
    EXPECT_STREQ(e.what(), "<Erro><Msg>recusado</Msg></Erro>");
  }
  // An empty returned text without an Erro group gives the whole answer back.
  integrador.responde = [](const std::string&, std::int32_t s) { return Resposta(s, "AP", "<retorno> </retorno>"); };
  EXPECT_EQ(cli.Enviar(false).rfind("<Integrador>", 0), 0u);
}

TEST_F(IntegradorClienteTest, ConsultarNumeroSessaoIntegrador) {
  cli.Parametros() = {"velho=1"};
  integrador.responde = [](const std::string& metodo, std::int32_t s) {
    EXPECT_EQ(metodo, "numerosessao");
    return Resposta(s, "AP", "<retorno>sessao 42 processada</retorno>");
  };
  EXPECT_EQ(cli.ConsultarNumeroSessaoIntegrador(42), "sessao 42 processada");
  EXPECT_EQ(Log()[0], "ConsultarNumeroSessaoIntegrador( 42 )");
  ASSERT_EQ(integrador.comandos.size(), 1u);
  const std::string& xml = integrador.comandos[0];
  EXPECT_NE(xml.find("<Componente Nome=\"ConsultaNumeroSessao\"><Metodo Nome=\"numeroSessao\"><Parametros>"
                     "<Parametro><Nome>numeroSessao</Nome><Valor>42</Valor></Parametro></Parametros>"),
            std::string::npos)
      << xml;
  EXPECT_EQ(cli.Parametros(), std::vector<std::string>{"numeroSessao=42"});
}

}  // namespace
}  // namespace pagvigia
