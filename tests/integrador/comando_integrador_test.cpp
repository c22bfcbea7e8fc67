// The command exchange with the Integrador: command files, polling, matching,
// time limits and re-sends, all in simulated time.
#include "integrador/comando_integrador.h"

#include <gtest/gtest.h>

#include "vfpe/integrador_resposta.h"
#include "platform/codepage.h"
#include "tests/integrador/apoio.h"

namespace pagvigia {
namespace {

using testing::LogColetado;
using testing::Nomes;
using testing::kSep;
using testing::Pastas;
using testing::Resposta;
using testing::TempoRoteirizado;

class ComandoIntegradorTest : public ::testing::Test {
 protected:
  ComandoIntegradorTest() : c(&log, t, t) {
    c.SetPastaInput(p.input);
    c.SetPastaOutput(p.output);
  }
  // The command files of the input folder now.
  std::vector<std::string> Comandos() { return platform::ListFolder(p.input + kSep + "*.xml"); }
  // Plays the Integrador taking every command present at `ms`.
  void PegaComandosEm(std::int64_t ms) {
    t.Em(ms, [this] {
      for (const auto& n : Comandos()) platform::DeleteFile(p.input + "/" + n);
    });
  }
  void RespondeEm(std::int64_t ms, const std::string& nome, const std::string& texto) {
    t.Em(ms, [this, nome, texto] { p.Grava(nome, texto); });
  }

  Pastas p;
  TempoRoteirizado t;
  LogColetado log;
  TComandoIntegrador c;
};

TEST_F(ComandoIntegradorTest, DefaultsAndFolderSetters) {
  TComandoIntegrador d(nullptr);
  // On the system drive: "C:\Integrador\..." on Windows.
  const bool windows = kSep == "\\";
  EXPECT_EQ(d.PastaInput(), windows ? "C:\\Integrador\\Input\\" : "/Integrador/Input/");
  EXPECT_EQ(d.PastaOutput(), windows ? "C:\\Integrador\\Output\\" : "/Integrador/Output/");
  EXPECT_EQ(d.Timeout(), 30);
  const std::string saida = kSep + "srv" + kSep + "saida";
  d.SetPastaOutput("  " + saida + " ");
  EXPECT_EQ(d.PastaOutput(), saida + kSep);
  d.SetPastaOutput(saida + kSep);
  EXPECT_EQ(d.PastaOutput(), saida + kSep);
  d.SetPastaInput("");
  EXPECT_EQ(d.PastaInput(), "");
}

TEST_F(ComandoIntegradorTest, CriarXmlWritesWindows1252ThenRenames) {
  const std::string comando = "<Integrador><Valor>Situação € 10</Valor></Integrador>";
  const std::string final = c.CriarXml(p.input + kSep + "enviarpagamento-12.xml", comando);
  EXPECT_EQ(final, p.input + kSep + "enviarpagamento-12.xml");
  EXPECT_EQ(platform::ReadFileBytes(final), platform::Utf8ToAnsi(comando));
  EXPECT_EQ(Nomes(p.input), std::vector<std::string>{"enviarpagamento-12.xml"});
  ASSERT_EQ(log.linhas.size(), 2u);
  EXPECT_EQ(log.linhas[0], "Criando arquivo: " + p.input + kSep + "enviarpagamento-12.tmp");
  EXPECT_EQ(log.linhas[1], "Renomeando arquivo: " + p.input + kSep + "enviarpagamento-12.tmp para: " + final);
}

TEST_F(ComandoIntegradorTest, CriarXmlNeverReplacesAnExistingCommand) {
  platform::WriteFileBytes(p.input + kSep + "x-1.xml", "anterior");
  try {
    c.CriarXml(p.input + kSep + "x-1", "novo");
    FAIL() << "no exception";
  } catch (const EComandoIntegradorException& e) {
    EXPECT_EQ(std::string(e.what()),
              "Erro ao renomear o arquivo: " + p.input + kSep + "x-1.tmp para: " + p.input + kSep + "x-1.xml");
  }
  EXPECT_EQ(platform::ReadFileBytes(p.input + kSep + "x-1.xml"), "anterior");
  EXPECT_FALSE(platform::PathExists(p.input + kSep + "x-1.tmp"));
  EXPECT_EQ(log.linhas.back(), "EComandoIntegradorException: Erro ao renomear o arquivo: " + p.input + kSep +
                                   "x-1.tmp para: " + p.input + kSep + "x-1.xml");
}

TEST_F(ComandoIntegradorTest, CriarXmlInAMissingFolderOrUnderADottedFolder) {
  EXPECT_THROW(
      {
        try {
          c.CriarXml(p.input + kSep + "nao-existe" + kSep + "x-1", "c");
        } catch (const EComandoIntegradorException& e) {
          EXPECT_EQ(std::string(e.what()), "Erro ao criar o arquivo: " + p.input + kSep + "nao-existe" + kSep + "x-1.tmp");
          throw;
        }
      },
      EComandoIntegradorException);
  // A dot in a folder name is not an extension.
  platform::ForceDirectories(p.input + kSep + "v1.2");
  EXPECT_EQ(c.CriarXml(p.input + kSep + "v1.2" + kSep + "x-1", "c"), p.input + kSep + "v1.2" + kSep + "x-1.xml");
}

TEST_F(ComandoIntegradorTest, AnswerAlreadyPresentIsFoundByTheFirstScan) {
  p.Grava("r.xml", Resposta(1234));
  EXPECT_EQ(c.EnviaComando(1234, "EnviarPagamento", "<cmd/>"), "ok");
  // Only the scan's own pause: no loop sleep before the first scan.
  EXPECT_EQ(t.Sonos(), std::vector<std::int64_t>{50});
  EXPECT_TRUE(Nomes(p.output).empty());
  EXPECT_TRUE(Nomes(p.input).empty());  // nobody took the command: deleted at the end
  const std::string cmd = p.input + kSep + "enviarpagamento-1234";
  ASSERT_EQ(log.linhas.size(), 5u);
  EXPECT_EQ(log.linhas[0], "Criando arquivo: " + cmd + ".tmp");
  EXPECT_EQ(log.linhas[1], "Renomeando arquivo: " + cmd + ".tmp para: " + cmd + ".xml");
  EXPECT_EQ(log.linhas[2], "08/12/2026 10:00:00 - AguardaArqResposta, sessao: 1234");
  EXPECT_EQ(log.linhas[3], "Apagando arquivo: " + cmd + ".xml");
  EXPECT_EQ(log.linhas[4], "RespostaIntegrador: " + Resposta(1234));
  EXPECT_EQ(c.Resposta(), Resposta(1234));
  EXPECT_EQ(c.IntegradorResposta().Identificador, 1234);
  EXPECT_EQ(c.IntegradorResposta().Codigo, "AP");
  EXPECT_EQ(c.IntegradorResposta().Valor, "Processado");
  // Deleted unanswered only counts when no answer came.
  EXPECT_FALSE(c.ComandoRetirado());
}

TEST_F(ComandoIntegradorTest, TimeLimitIsTheGreaterOf25sAndTheGivenOne) {
  struct Caso {
    std::int32_t timeout, timeOutComando;
    std::int64_t esperadoMs;
  };
  for (const Caso caso : {Caso{30, 0, 30000}, Caso{10, 0, 25000}, Caso{30, 60, 60000}, Caso{0, -3, 25000},
                          Caso{30, 26, 26000}}) {
    SCOPED_TRACE(std::to_string(caso.timeout) + "/" + std::to_string(caso.timeOutComando));
    TempoRoteirizado tempo;
    LogColetado l;
    TComandoIntegrador d(&l, tempo, tempo);
    d.SetPastaInput(p.input);
    d.SetPastaOutput(p.output);
    d.SetTimeout(caso.timeout);
    try {
      d.EnviaComando(5, "EnviarPagamento", "<cmd/>", caso.timeOutComando);
      FAIL() << "no exception";
    } catch (const EComandoIntegradorException& e) {
      EXPECT_STREQ(e.what(), "Sem Resposta do Integrador");
    }
    EXPECT_TRUE(d.ErroTimeout());
    EXPECT_TRUE(d.ComandoRetirado());
    // The last pass starts before the limit and takes 150 ms.
    EXPECT_GE(tempo.Decorrido(), caso.esperadoMs);
    EXPECT_LE(tempo.Decorrido(), caso.esperadoMs + 150);
    EXPECT_TRUE(Comandos().empty());
    EXPECT_EQ(l.linhas.back(), "EComandoIntegradorException: Sem Resposta do Integrador");
  }
}

TEST_F(ComandoIntegradorTest, CommandNeverTakenIsResentEveryFiveSecondsUnderItsTime) {
  // At no moment are two command files of the exchange in the folder.
  std::size_t maximo = 0;
  t.aCadaSono = [&] { maximo = std::max(maximo, Comandos().size()); };
  EXPECT_THROW(c.EnviaComando(77, "EnviarPagamento", "<cmd/>"), EComandoIntegradorException);
  EXPECT_EQ(maximo, 1u);
  EXPECT_TRUE(Comandos().empty());

  const auto criados = log.ComPrefixo("Criando arquivo: ");
  const auto apagados = log.ComPrefixo("Apagando arquivo não processado: ");
  ASSERT_EQ(criados.size(), 6u);  // the first and five re-sends in 30 s
  ASSERT_EQ(apagados.size(), 5u);
  const std::string base = "Criando arquivo: " + p.input + kSep + "enviarpagamento-77";
  EXPECT_EQ(criados[0], base + ".tmp");
  int anterior = 0;
  for (std::size_t i = 1; i < criados.size(); ++i) {
    // "-HHNNSS" of the moment of the re-send; the test starts at 10:00:00.
    ASSERT_EQ(criados[i].size(), base.size() + 11) << criados[i];
    ASSERT_EQ(criados[i].substr(0, base.size() + 5), base + "-1000") << criados[i];
    const int segundo = std::stoi(criados[i].substr(base.size() + 5, 2));
    EXPECT_EQ(segundo, anterior + 5) << criados[i];
    anterior = segundo;
    // Each re-send first deletes the command written before it.
    const std::string antes = criados[i - 1].substr(std::string("Criando arquivo: ").size());
    EXPECT_EQ(apagados[i - 1], "Apagando arquivo não processado: " + antes.substr(0, antes.size() - 4) + ".xml");
  }
  // The last command is removed at the end, before the error is raised.
  EXPECT_EQ(log.ComPrefixo("Apagando arquivo: ").size(), 1u);
}

TEST_F(ComandoIntegradorTest, AbandonRequestEndsTheWaitAndWithdrawsACommandNotTaken) {
  struct Caso {
    std::int64_t abandonoEm;  // the abandon request holds from then on
    std::int64_t tomadoEm;    // the Integrador takes the command then (-1: never)
    std::size_t criados;      // command files written
    const char* desfecho;
  };
  for (const Caso caso : {Caso{3000, -1, 1, "comando retirado sem ser tomado: "},
                          Caso{3000, 1000, 1, "comando já tomado pelo Integrador: "},
                          // Re-sent at 5 s: the file withdrawn is the second one.
                          Caso{7000, -1, 2, "comando retirado sem ser tomado: "}}) {
    SCOPED_TRACE(std::to_string(caso.abandonoEm) + "/" + std::to_string(caso.tomadoEm));
    TempoRoteirizado tempo;
    LogColetado l;
    TComandoIntegrador d(&l, tempo, tempo);
    d.SetPastaInput(p.input);
    d.SetPastaOutput(p.output);
    if (caso.tomadoEm >= 0)
      tempo.Em(caso.tomadoEm, [this] {
        for (const auto& n : Comandos()) platform::DeleteFile(p.input + kSep + n);
      });
    d.SetPedidoAbandono([&] { return tempo.Decorrido() >= caso.abandonoEm; });
    std::string ultimo;  // the last command file written
    tempo.aCadaSono = [&] {
      for (const auto& n : Comandos()) ultimo = p.input + kSep + n;
    };
    try {
      d.EnviaComando(31, "EnviarPagamento", "<cmd/>");
      FAIL() << "no exception";
    } catch (const EComandoIntegradorException& e) {
      EXPECT_EQ(std::string(e.what()),
                "Troca com o Integrador abandonada para a parada do serviço: " + std::string(caso.desfecho) + ultimo);
    }
    EXPECT_EQ(d.ComandoRetirado(), caso.tomadoEm < 0);
    EXPECT_FALSE(d.ErroTimeout());
    EXPECT_TRUE(Comandos().empty());
    // Within one pass of the request, with one line that tells the outcome.
    EXPECT_GE(tempo.Decorrido(), caso.abandonoEm);
    EXPECT_LT(tempo.Decorrido(), caso.abandonoEm + 200);
    EXPECT_EQ(l.Contendo("abandonada"), 1u);
    EXPECT_EQ(l.linhas.back(), "EComandoIntegradorException: Troca com o Integrador abandonada para a parada do "
                               "serviço: " + std::string(caso.desfecho) + ultimo);
    EXPECT_EQ(l.ComPrefixo("Criando arquivo: ").size(), caso.criados);
  }
}

TEST_F(ComandoIntegradorTest, TakenCommandIsNeverWrittenAgain) {
  PegaComandosEm(1000);
  RespondeEm(12000, "resp.xml", Resposta(9));
  EXPECT_EQ(c.EnviaComando(9, "RespostaFiscal", "<cmd/>"), "ok");
  EXPECT_EQ(log.ComPrefixo("Criando arquivo: ").size(), 1u);
  EXPECT_EQ(log.Contendo("Apagando arquivo"), 0u);
  EXPECT_GE(t.Decorrido(), 12000);
}

TEST_F(ComandoIntegradorTest, ResendStopsOnceTheCommandIsTaken) {
  PegaComandosEm(7000);
  RespondeEm(9000, "resp.xml", Resposta(9));
  EXPECT_EQ(c.EnviaComando(9, "RespostaFiscal", "<cmd/>"), "ok");
  EXPECT_EQ(log.ComPrefixo("Criando arquivo: ").size(), 2u);
  EXPECT_TRUE(Comandos().empty());
}

TEST_F(ComandoIntegradorTest, NoResendOnceTheAnswerHasArrived) {
  // The answer lands in the scan that passes the 5 s mark while the command
  // file is still there: the exchange is over, nothing is written again.
  RespondeEm(5001, "resp.xml", Resposta(3));
  EXPECT_EQ(c.EnviaComando(3, "EnviarPagamento", "<cmd/>"), "ok");
  EXPECT_GT(t.Decorrido(), 5000);
  EXPECT_EQ(log.ComPrefixo("Criando arquivo: ").size(), 1u);
  EXPECT_EQ(log.ComPrefixo("Apagando arquivo: ").size(), 1u);
  EXPECT_TRUE(Comandos().empty());
}

TEST_F(ComandoIntegradorTest, MatchesBySessionDigitsAndLeavesOtherFilesUntouched) {
  p.Grava("a.xml", Resposta(1));
  p.Grava("b.xml", "<Integrador><Identificador><Valor>12 34</Valor></Identificador></Integrador>");
  p.Grava("c.txt", Resposta(1234));
  p.Grava("d.xml", "<Integrador><Identificador><Valor>00123</Valor></Identificador></Integrador>");
  const auto antesA = platform::StatFile(p.output + kSep + "a.xml");

  EXPECT_NE(c.AguardaArqResposta(1234), "");
  EXPECT_EQ(Nomes(p.output), (std::vector<std::string>{"a.xml", "c.txt", "d.xml"}));
  EXPECT_EQ(c.AguardaArqResposta(1234), "");  // ".txt" is not an answer
  EXPECT_NE(c.AguardaArqResposta(123), "");   // leading zeros
  EXPECT_EQ(Nomes(p.output), (std::vector<std::string>{"a.xml", "c.txt"}));
  EXPECT_EQ(platform::StatFile(p.output + kSep + "a.xml"), antesA);
  EXPECT_EQ(platform::ReadFileBytes(p.output + kSep + "a.xml"), Resposta(1));
}

TEST_F(ComandoIntegradorTest, TwoAnswersOfOneSessionOnlyTheFirstListedIsTaken) {
  p.Grava("x.xml", Resposta(8, "AP", "<retorno>x</retorno>"));
  p.Grava("y.xml", Resposta(8, "AP", "<retorno>y</retorno>"));
  const std::string primeiro = platform::ListFolder(p.output + kSep + "*.xml").front();
  const std::string outro = primeiro == "x.xml" ? "y.xml" : "x.xml";
  const std::string r = c.AguardaArqResposta(8);
  EXPECT_NE(r.find(primeiro == "x.xml" ? "<retorno>x" : "<retorno>y"), std::string::npos);
  EXPECT_EQ(Nomes(p.output), std::vector<std::string>{outro});
}

TEST_F(ComandoIntegradorTest, AnswerTextIsTrimmedWithInnerLineBreaksAsCrLf) {
  p.Grava("r.xml", "\n\n  <Integrador><Identificador><Valor>4</Valor></Identificador>\n<retorno>a</retorno>\n"
                   "</Integrador>\n\n\t\n");
  EXPECT_EQ(c.AguardaArqResposta(4),
            "<Integrador><Identificador><Valor>4</Valor></Identificador>\r\n<retorno>a</retorno>\r\n"
            "</Integrador>");
}

TEST_F(ComandoIntegradorTest, ReturnedTextByEnvelopeAndPayload) {
  struct Caso {
    std::string codigo, corpo, esperado, erro;
  };
  const std::string erroGrupo = "<Erro><Codigo>12</Codigo><Descricao>falhou</Descricao></Erro>";
  const std::vector<Caso> casos = {
      {"AP", "<retorno>a &amp;lt; b</retorno>", "a < b", ""},
      {"AP", "<Resposta> texto </Resposta>", "texto", ""},
      {"AP", "<retorno>r</retorno><Resposta>s</Resposta>", "r", ""},
      {"AP", "<retorno>r</retorno>" + erroGrupo, "r", erroGrupo},
      {"AP", erroGrupo, "", erroGrupo},
      {"AP", "<outra>x</outra>", "*", ""},
      {"EE", "<retorno>r</retorno>", "*", ""},
      // A malformed character reference is handed back as found.
      {"AP", "<retorno>a&#xZZ;b</retorno>", "a&#xZZ;b", ""},
  };
  std::int32_t sessao = 100;
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.corpo);
    const std::string texto = Resposta(++sessao, caso.codigo, caso.corpo);
    p.Grava("r.xml", texto);
    EXPECT_EQ(c.EnviaComando(sessao, "EnviarPagamento", "<cmd/>"), caso.esperado == "*" ? texto : caso.esperado);
    EXPECT_EQ(c.Erro(), caso.erro);
    EXPECT_EQ(c.Resposta(), texto);
    EXPECT_EQ(c.IntegradorResposta().Codigo, caso.codigo);
  }
}

TEST_F(ComandoIntegradorTest, MalformedReferenceInTheEnvelopeDoesNotLoseTheAnswer) {
  const std::string texto =
      "<Integrador><Identificador><Valor>12</Valor></Identificador><IntegradorResposta><Codigo>AP&#xZZ;</Codigo>"
      "</IntegradorResposta><retorno>pago</retorno></Integrador>";
  p.Grava("r.xml", texto);
  EXPECT_EQ(c.EnviaComando(12, "EnviarPagamento", "<cmd/>"), "pago");
  EXPECT_EQ(c.Resposta(), texto);
  EXPECT_EQ(c.IntegradorResposta().Identificador, 12);
  EXPECT_EQ(log.linhas.back(), "RespostaIntegrador: " + texto);
}

}  // namespace
}  // namespace pagvigia
