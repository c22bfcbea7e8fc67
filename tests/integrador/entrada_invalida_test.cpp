// Answers the client must survive: they come from another program and from
// the file system. None may crash or hang the exchange, and no file of
// another session may be touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <random>

#include "integrador/comando_integrador.h"
#include "vfpe/integrador_resposta.h"
#include "platform/codepage.h"
#include "tests/integrador/apoio.h"
#include "tests/support/fifo_files.h"

namespace pagvigia {
namespace {

using testing::LogColetado;
using testing::Nomes;
using testing::kSep;
using testing::Pastas;
using testing::Resposta;
using testing::TempoRoteirizado;

// A reader that fails a given number of times, or that lets a writer go on
// writing while the file is being read.
class ComandoComLeitura : public TComandoIntegrador {
 public:
  using TComandoIntegrador::TComandoIntegrador;
  int falhas = 0;
  int leituras = 0;
  std::function<void(const std::string&)> antesDaLeitura, duranteLeitura;

 protected:
  platform::TextFile LerArquivo(const std::string& Arquivo) override {
    ++leituras;
    if (antesDaLeitura) antesDaLeitura(Arquivo);
    if (falhas > 0) {
      --falhas;
      throw platform::FileError("Cannot open file \"" + Arquivo + "\": busy", 16);
    }
    platform::TextFile f = TComandoIntegrador::LerArquivo(Arquivo);
    if (duranteLeitura) {
      auto d = std::move(duranteLeitura);
      duranteLeitura = nullptr;
      d(Arquivo);
    }
    return f;
  }
};

class EntradaInvalidaTest : public ::testing::Test {
 protected:
  EntradaInvalidaTest() : c(&log, t, t) {
    c.SetPastaInput(p.input);
    c.SetPastaOutput(p.output);
  }
  Pastas p;
  TempoRoteirizado t;
  LogColetado log;
  ComandoComLeitura c;
};

TEST_F(EntradaInvalidaTest, JunkAnswersAreIgnoredAndLeftInPlace) {
  std::mt19937 gen(12345);
  std::string lixo(4096, '\0');
  for (auto& ch : lixo) ch = static_cast<char>(gen());
  const std::vector<std::pair<std::string, std::string>> arquivos = {
      {"vazio.xml", ""},
      {"lixo.xml", lixo},
      {"sem-identificador.xml", "<Integrador><IntegradorResposta><Codigo>AP</Codigo></IntegradorResposta></Integrador>"},
      {"sem-digitos.xml", "<Integrador><Identificador><Valor>abc</Valor></Identificador></Integrador>"},
      {"estouro.xml", "<Integrador><Identificador><Valor>99999999999</Valor></Identificador></Integrador>"},
      {"aberto.xml", "<Identificador><Valor>0"},
      {"utf16-impar.xml", std::string("\xFF\xFE<\0I\0", 6) + "\x01"},
      {"outra.xml", Resposta(1)},
  };
  for (const auto& [nome, bytes] : arquivos) p.Grava(nome, bytes);
  // Session 0 is a real session number: text without digits names none.
  for (std::int32_t sessao : {0, 2, 999998}) EXPECT_EQ(c.AguardaArqResposta(sessao), "") << sessao;
  for (const auto& [nome, bytes] : arquivos) EXPECT_EQ(platform::ReadFileBytes(p.output + "/" + nome), bytes) << nome;
  EXPECT_EQ(t.Sonos(), (std::vector<std::int64_t>{50, 50, 50}));

  p.Grava("zero.xml", "<Identificador><Valor>0</Valor></Identificador>");
  EXPECT_EQ(c.AguardaArqResposta(0), "<Identificador><Valor>0</Valor></Identificador>");
}

TEST_F(EntradaInvalidaTest, AnswerWithoutEnvelopeIsStillMatchedByItsIdentificador) {
  p.Grava("r.xml", "<Identificador><Valor>31</Valor></Identificador><retorno>solto</retorno>");
  EXPECT_EQ(c.EnviaComando(31, "EnviarPagamento", "<cmd/>"), "solto");
  EXPECT_EQ(c.IntegradorResposta().Identificador, 0);
  EXPECT_EQ(c.IntegradorResposta().Codigo, "");
}

TEST_F(EntradaInvalidaTest, ByteOrderMarksAndAccents) {
  const std::string texto = Resposta(60, "AP", "<retorno>Operação concluída – €</retorno>");
  p.Grava("utf8.xml", "\xEF\xBB\xBF" + texto);
  EXPECT_EQ(c.EnviaComando(60, "EnviarPagamento", "<cmd/>"), "Operação concluída – €");
  p.Grava("ansi.xml", platform::Utf8ToAnsi(Resposta(61, "AP", "<retorno>Situação</retorno>")));
  EXPECT_EQ(c.EnviaComando(61, "EnviarPagamento", "<cmd/>"), "Situação");
  p.Grava("utf16.xml", "\xFF\xFE" + platform::Utf8ToUtf16(Resposta(62, "AP", "<retorno>ação</retorno>"), false));
  EXPECT_EQ(c.EnviaComando(62, "EnviarPagamento", "<cmd/>"), "ação");
  EXPECT_TRUE(Nomes(p.output).empty());
}

TEST_F(EntradaInvalidaTest, TenMegabyteAnswers) {
  const std::string recheio = "<Item>" + std::string(10 * 1024 * 1024, 'x') + "</Item>";
  p.Grava("grande-outra.xml", Resposta(70, "AP", recheio));
  p.Grava("grande.xml", Resposta(71, "AP", "<retorno>fim</retorno>" + recheio));
  EXPECT_EQ(c.EnviaComando(71, "EnviarPagamento", "<cmd/>"), "fim");
  EXPECT_EQ(Nomes(p.output), std::vector<std::string>{"grande-outra.xml"});
}

TEST_F(EntradaInvalidaTest, UnreadableFileIsRetriedFiveTimesThenLeft) {
  p.Grava("r.xml", Resposta(5));
  c.falhas = 3;
  EXPECT_NE(c.AguardaArqResposta(5), "");
  EXPECT_EQ(t.Sonos(), (std::vector<std::int64_t>{50, 500, 500, 500}));

  p.Grava("r.xml", Resposta(5));
  c.falhas = 100;
  c.leituras = 0;
  EXPECT_EQ(c.AguardaArqResposta(5), "");
  EXPECT_EQ(c.leituras, 6);  // the read and its five retries
  EXPECT_TRUE(platform::FileExists(p.output + kSep + "r.xml"));
  // The next scan takes it once it can be read.
  c.falhas = 0;
  EXPECT_NE(c.AguardaArqResposta(5), "");
}

TEST_F(EntradaInvalidaTest, FileTakenByItsOwnExchangeMeanwhileIsNotWaitedFor) {
  // Another exchange sharing the folder takes its answer between our
  // listing and our read.
  p.Grava("dela.xml", Resposta(6));
  c.antesDaLeitura = [](const std::string& arquivo) { platform::DeleteFile(arquivo); };
  EXPECT_EQ(c.AguardaArqResposta(5), "");
  EXPECT_EQ(c.leituras, 1);
  EXPECT_EQ(t.Sonos(), std::vector<std::int64_t>{50});
}

TEST_F(EntradaInvalidaTest, FileWithoutReadPermission) {
  p.Grava("r.xml", Resposta(5));
  std::filesystem::permissions(p.output + kSep + "r.xml", std::filesystem::perms::none);
  if (std::ifstream(p.output + kSep + "r.xml").good()) GTEST_SKIP() << "permissions are not enforced for this user";
  EXPECT_EQ(c.AguardaArqResposta(5), "");
  EXPECT_EQ(c.leituras, 6);
  EXPECT_TRUE(platform::PathExists(p.output + kSep + "r.xml"));
}

TEST_F(EntradaInvalidaTest, AnswerStillBeingWrittenIsNeverTakenHalfWritten) {
  const std::string completa = Resposta(9, "AP", "<retorno>completa</retorno>");
  const std::string metade = completa.substr(0, completa.find("<IntegradorResposta>") + 5);
  // Growing while it is read.
  p.Grava("r.xml", metade);
  c.duranteLeitura = [&](const std::string& arquivo) { platform::WriteFileBytes(arquivo, completa); };
  EXPECT_EQ(c.AguardaArqResposta(9), completa);
  EXPECT_EQ(t.Sonos(), (std::vector<std::int64_t>{50, 500}));

  // Growing during the scan's pause, between the listing and the read.
  p.Grava("s.xml", metade);
  bool escrito = false;
  t.aCadaSono = [&] {
    if (!escrito) platform::AppendFileBytes(p.output + kSep + "s.xml", completa.substr(metade.size()));
    escrito = true;
  };
  EXPECT_EQ(c.AguardaArqResposta(9), completa);
}

TEST_F(EntradaInvalidaTest, AnAnswerWhoseWriterPausesHalfWayIsTakenWholeAndOnce) {
  // The writer stops for a second in the middle: the half file looks settled,
  // and it already names the session.
  const std::string completa = Resposta(9, "AP", "<retorno>completa</retorno>");
  struct Case {
    const char* what;
    std::size_t cut;
  } cases[] = {
      {"inside the envelope", completa.find("<IntegradorResposta>") + 5},
      {"after a closed group", completa.find("</Identificador>") + 16},
      {"before the last tag ends", completa.size() - 1},
  };
  for (const auto& c0 : cases) {
    SCOPED_TRACE(c0.what);
    Pastas q;
    TempoRoteirizado tempo;
    LogColetado registro;
    TComandoIntegrador cmd(&registro, tempo, tempo);
    cmd.SetPastaInput(q.input);
    cmd.SetPastaOutput(q.output);
    q.Grava("r.xml", completa.substr(0, c0.cut));
    tempo.Em(1000, [&] { platform::AppendFileBytes(q.output + kSep + "r.xml", completa.substr(c0.cut)); });
    EXPECT_EQ(cmd.EnviaComando(9, "EnviarPagamento", "<cmd/>"), "completa");
    EXPECT_EQ(cmd.Resposta(), completa);
    EXPECT_EQ(registro.ComPrefixo("RespostaIntegrador: ").size(), 1u);
    EXPECT_TRUE(Nomes(q.output).empty());
  }
}

TEST_F(EntradaInvalidaTest, FoldersThatAreNotThere) {
  // A folder named like an answer is no answer, and costs no retries.
  platform::ForceDirectories(p.output + kSep + "pasta.xml");
  EXPECT_EQ(c.AguardaArqResposta(1), "");
  EXPECT_EQ(t.Sonos(), std::vector<std::int64_t>{50});
  EXPECT_EQ(c.leituras, 0);

  // A missing output folder: nothing arrives, the limit applies.
  c.SetPastaOutput(p.raiz / "sem-saida");
  EXPECT_THROW(c.EnviaComando(1, "EnviarPagamento", "<cmd/>"), EComandoIntegradorException);
  EXPECT_TRUE(c.ErroTimeout());

  // An input folder where the command cannot be written.
  platform::WriteFileBytes(p.raiz / "arquivo", "x");
  for (const std::string& pasta : {p.raiz / "sem-entrada", p.raiz / "arquivo"}) {
    c.SetPastaInput(pasta);
    try {
      c.EnviaComando(1, "EnviarPagamento", "<cmd/>");
      FAIL() << "no exception";
    } catch (const EComandoIntegradorException& e) {
      EXPECT_EQ(std::string(e.what()), "Erro ao criar o arquivo: " + pasta + kSep + "enviarpagamento-1.tmp");
    }
  }
  EXPECT_FALSE(c.ErroTimeout());
}

TEST_F(EntradaInvalidaTest, PipesAndBrokenLinksNamedLikeAnswersNeverBlockTheScan) {
  const std::string fifo = p.output + kSep + "fila.xml";
  if (!testing::MakeFifoAndDanglingLink(fifo, p.output + kSep + "quebrado.xml"))
    GTEST_SKIP() << "no FIFOs in this platform's folders";
  p.Grava("r.xml", Resposta(3));
  EXPECT_NE(c.AguardaArqResposta(3), "");
  EXPECT_EQ(c.leituras, 1);
  EXPECT_TRUE(std::filesystem::is_symlink(p.output + kSep + "quebrado.xml"));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(EntradaInvalidaTest, ManyAnswersOfOtherSessionsSurviveAWholeExchange) {
  for (int i = 0; i < 50; ++i) p.Grava("outra-" + std::to_string(i) + ".xml", Resposta(1000 + i));
  const auto antes = Nomes(p.output);
  t.Em(2000, [&] { p.Grava("minha.xml", Resposta(77)); });
  EXPECT_EQ(c.EnviaComando(77, "EnviarPagamento", "<cmd/>"), "ok");
  EXPECT_EQ(Nomes(p.output), antes);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(platform::ReadFileBytes(p.output + kSep + "outra-" + std::to_string(i) + ".xml"), Resposta(1000 + i));
}

}  // namespace
}  // namespace pagvigia
