// The simulator program, driven through its files as the client drives it:
// commands of every method are taken and answered, faults are recorded, the
// answers come in the chosen encoding, and commands can be left untaken.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/integrador_sim.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/sample_commands.h"

namespace pagvigia::testing {
namespace {

namespace fs = std::filesystem;

class SimTest : public ::testing::Test {
 protected:
  std::string in() const { return FDir / "in"; }
  std::string out() const { return FDir / "out"; }

  // Drops a command the way the client does: written as ".tmp", renamed to ".xml".
  void Send(const std::string& name, const std::string& bytes) {
    const std::string tmp = in() + "/" + name.substr(0, name.size() - 4) + ".tmp";
    platform::WriteFileBytes(tmp, bytes);
    ASSERT_TRUE(platform::RenameNoReplace(tmp, in() + "/" + name));
  }

  // Waits for an answer file and returns its bytes ("" after the timeout).
  std::string Answer(const std::string& name, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!platform::FileExists(out() + "/" + name)) {
      if (std::chrono::steady_clock::now() > deadline) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return platform::ReadFileBytes(out() + "/" + name);
  }

  std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir FDir{"sim-test"};
};

// The record entry of a command file (the folder listing decides the order).
const SimCommand& ByFile(const std::vector<SimCommand>& cmds, const std::string& file) {
  for (const auto& c : cmds)
    if (c.file == file) return c;
  throw std::runtime_error("not recorded: " + file);
}

TEST_F(SimTest, CommandsOfAllFourMethodsAreTakenCheckedAndAnswered) {
  IntegradorSim sim(in(), out(), {"--method", "EnviarPagamento", "--id-start", "500"});
  Send("enviarpagamento-483920.xml", EnviarPagamentoExemplo(483920));
  Send("enviarstatuspagamento-11.xml", EnviarStatusPagamentoExemplo(11));
  Send("respostafiscal-12.xml", RespostaFiscalExemplo(12));
  Send("verificarstatusvalidador-13.xml", VerificarStatusValidadorExemplo(13));
  Send("enviarpagamento-14.xml", EnviarPagamentoExemplo(14));
  ASSERT_TRUE(sim.WaitForCommands(5));

  const std::string pag = platform::AnsiToUtf8(Answer("enviarpagamento-483920-resposta.xml"));
  EXPECT_EQ(pag,
            "<Integrador><Identificador><Valor>483920</Valor></Identificador><IntegradorResposta><Codigo>AP</Codigo>"
            "<Valor>Requisição processada com êxito</Valor></IntegradorResposta><Resposta><IDPagamento>500"
            "</IDPagamento><Mensagem>Pagamento recebido pelo validador; sessão 483920</Mensagem><StatusPagamento>"
            "Processado</StatusPagamento></Resposta></Integrador>");
  // Payment ids count up; the other methods have counters of their own.
  EXPECT_NE(Answer("enviarpagamento-14-resposta.xml").find("<IDPagamento>501</IDPagamento>"), std::string::npos);
  EXPECT_NE(Answer("respostafiscal-12-resposta.xml").find("<retorno>1</retorno>"), std::string::npos);
  EXPECT_NE(Answer("enviarstatuspagamento-11-resposta.xml").find("<Valor>11</Valor>"), std::string::npos);
  EXPECT_NE(Answer("verificarstatusvalidador-13-resposta.xml").find("<idFila>101</idFila>"), std::string::npos);

  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 5u);
  for (const auto& c : cmds) {
    EXPECT_TRUE(c.ok()) << c.file << ": " << c.failures;
    EXPECT_EQ(c.action, "answer");
    EXPECT_EQ(c.code, "AP");
    EXPECT_EQ(c.component, "VFP-e");
  }
  const auto& first = ByFile(cmds, "enviarpagamento-483920.xml");
  EXPECT_EQ(first.method, "EnviarPagamento");
  EXPECT_EQ(first.session, 483920);
  EXPECT_EQ(first.chave, "25CFE38D-3B92-46C0-91CA-CFF751A82D3D");
  EXPECT_EQ(first.parameters.size(), 11u);
  EXPECT_EQ(first.Param("SerialPos"), "5C219486");
  EXPECT_EQ(first.Param("OrigemPagamento"), "");
  EXPECT_EQ(first.xml, EnviarPagamentoExemplo(483920));
  EXPECT_TRUE(Files(in()).empty());
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(SimTest, RecordKeepsParameterTextWhole) {
  IntegradorSim sim(in(), out());
  Send("respostafiscal-12.xml", RespostaFiscalExemplo(12));
  Send("numerosessao-20261208143015-7.xml", ConsultarNumeroSessaoExemplo(7, 483920));
  ASSERT_TRUE(sim.WaitForCommands(2));
  for (const auto& c : sim.Commands()) {
    if (c.method == "RespostaFiscal") {
      EXPECT_EQ(c.Param("ImpressaoFiscal"), "<CFe><infCFe versao=\"0.08\">;</infCFe></CFe>");
    } else {
      EXPECT_TRUE(c.ok()) << c.failures;
      EXPECT_EQ(c.component, "ConsultaNumeroSessao");
      EXPECT_EQ(c.Param("numeroSessao"), "483920");
    }
  }
  // Asked about a session it never saw, and about one it answered.
  EXPECT_NE(Answer("numerosessao-20261208143015-7-resposta.xml").find("<retorno>7|Sess"), std::string::npos);
  EXPECT_NE(Answer("numerosessao-20261208143015-7-resposta.xml").find(" 483920 n"), std::string::npos);
  Send("numerosessao-20261208143016-8.xml", ConsultarNumeroSessaoExemplo(8, 12));
  ASSERT_TRUE(sim.WaitForCommands(3));
  EXPECT_NE(Answer("numerosessao-20261208143016-8-resposta.xml")
                .find("<retorno>&lt;Integrador&gt;&lt;Identificador&gt;&lt;Valor&gt;12&lt;"),
            std::string::npos)
      << Answer("numerosessao-20261208143016-8-resposta.xml");
}

TEST_F(SimTest, FaultyCommandsAreRecordedAndAnsweredWithEE) {
  IntegradorSim sim(in(), out());
  Send("respostafiscal-21.xml", "<Integrador><Identificador><Valor>21</Valor></Identificador>");
  Send("verificarstatusvalidador-22.xml",
       ComandoVfpe(22, "VerificarStatusValidador", {{"idFila", "1"}, {"CNPJ", "11222333000181"}}));
  Send("lixo.xml", std::string("\x00\x01\x02", 3));
  // Never a ".tmp": the client has not finished writing it.
  platform::WriteFileBytes(in() + "/enviarpagamento-23.tmp", "<Integ");
  ASSERT_TRUE(sim.WaitForCommands(3));

  for (const auto& c : sim.Commands()) {
    EXPECT_EQ(c.check, "failed") << c.file;
    EXPECT_FALSE(c.failures.empty());
    if (c.file == "lixo.xml") {
      EXPECT_EQ(c.action, "no-answer");  // no session to answer
      EXPECT_FALSE(c.session);
    } else {
      EXPECT_EQ(c.action, "answer");
      EXPECT_EQ(c.code, "EE");
    }
  }
  const std::string ee = platform::AnsiToUtf8(Answer("verificarstatusvalidador-22-resposta.xml"));
  EXPECT_NE(ee.find("<Identificador><Valor>22</Valor></Identificador><IntegradorResposta><Codigo>EE</Codigo>"
                    "<Valor>Comando inválido: parameters idFila,CNPJ, expected idFila,cnpj</Valor>"),
            std::string::npos)
      << ee;
  EXPECT_NE(Answer("respostafiscal-21-resposta.xml").find("<Codigo>EE</Codigo>"), std::string::npos);
  EXPECT_EQ(Files(in()), std::vector<std::string>{"enviarpagamento-23.tmp"});
}

TEST_F(SimTest, FailuresCanGoUnanswered) {
  IntegradorSim sim(in(), out(), {"--on-failure", "none", "--exit-after", "2"});
  Send("respostafiscal-21.xml", "<Integrador>");
  Send("respostafiscal-22.xml", RespostaFiscalExemplo(22));
  EXPECT_EQ(sim.Wait(), 0);  // ends by itself after two commands
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(Files(out()), std::vector<std::string>{"respostafiscal-22-resposta.xml"});
}

TEST_F(SimTest, AnswersComeInTheChosenEncoding) {
  IntegradorSim sim(in(), out(),
                    {"--message", "Operação concluída", "--method", "RespostaFiscal", "--encoding", "utf8bom",
                     "--method", "VerificarStatusValidador", "--encoding", "utf16le", "--indent", "--declaration"});
  Send("enviarstatuspagamento-1.xml", EnviarStatusPagamentoExemplo(1));
  Send("respostafiscal-2.xml", RespostaFiscalExemplo(2));
  Send("verificarstatusvalidador-3.xml", VerificarStatusValidadorExemplo(3));

  const std::string ansi = Answer("enviarstatuspagamento-1-resposta.xml");
  EXPECT_NE(ansi.find("Opera\xE7\xE3o conclu\xED" "da"), std::string::npos);
  EXPECT_EQ(ansi.rfind("<Integrador>", 0), 0u);  // no mark, no declaration

  const std::string bom = Answer("respostafiscal-2-resposta.xml");
  EXPECT_EQ(bom.rfind("\xEF\xBB\xBF<Integrador>", 0), 0u);
  EXPECT_NE(bom.find("Opera\xC3\xA7\xC3\xA3o"), std::string::npos);

  const std::string wide = Answer("verificarstatusvalidador-3-resposta.xml");
  ASSERT_EQ(wide.rfind("\xFF\xFE", 0), 0u);
  const std::string text = platform::Utf16ToUtf8(wide.substr(2), false);
  EXPECT_NE(text.find("<DonoCartao>JOSÉ DA CONCEIÇÃO</DonoCartao>"), std::string::npos);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Integrador>\r\n  <Identificador>", 0), 0u)
      << text;
}

TEST_F(SimTest, NeverTakenCommandsStayAndAreRecordedOnce) {
  IntegradorSim sim(in(), out(), {"--method", "EnviarPagamento", "--never-take"});
  Send("enviarpagamento-5.xml", EnviarPagamentoExemplo(5));
  Send("respostafiscal-6.xml", RespostaFiscalExemplo(6));
  ASSERT_TRUE(sim.WaitForCommands(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // many polls
  // The client removes it and sends it again under a suffixed name.
  ASSERT_TRUE(platform::DeleteFile(in() + "/enviarpagamento-5.xml"));
  Send("enviarpagamento-5-143015.xml", EnviarPagamentoExemplo(5));
  ASSERT_TRUE(sim.WaitForCommands(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(ByFile(cmds, "enviarpagamento-5.xml").action, "left");
  EXPECT_EQ(ByFile(cmds, "respostafiscal-6.xml").action, "answer");
  EXPECT_EQ(cmds[2].file, "enviarpagamento-5-143015.xml");
  EXPECT_EQ(cmds[2].action, "left");
  EXPECT_TRUE(cmds[2].ok()) << cmds[2].failures;
  EXPECT_EQ(Files(in()), std::vector<std::string>{"enviarpagamento-5-143015.xml"});
  EXPECT_EQ(Files(out()), std::vector<std::string>{"respostafiscal-6-resposta.xml"});
}

TEST_F(SimTest, UnreadableCommandIsRecordedOnceAndLeft) {
  IntegradorSim sim(in(), out());
  fs::create_directory(in() + "/respostafiscal-9.xml");
  ASSERT_TRUE(sim.WaitForCommands(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].action, "left");
  EXPECT_NE(cmds[0].failures.find("cannot read"), std::string::npos);
  EXPECT_EQ(cmds[0].session, 9);
  EXPECT_TRUE(fs::is_directory(in() + "/respostafiscal-9.xml"));
}

TEST_F(SimTest, DelayedAnswersNotWrittenAtStopAreRecordedUnanswered) {
  IntegradorSim sim(in(), out(), {"--delay-ms", "60000"});
  Send("respostafiscal-2.xml", RespostaFiscalExemplo(2));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (platform::FileExists(in() + "/respostafiscal-2.xml") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(sim.Commands().empty());  // taken, answer still waiting
  EXPECT_EQ(sim.Stop(), 0);
  const auto cmds = sim.Commands();
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].action, "no-answer");
  EXPECT_TRUE(Files(out()).empty());
}

TEST_F(SimTest, BehaviourPerMethodFromAConfigFile) {
  const std::string config = FDir / "sim.ini";
  platform::WriteFileBytes(config,
                           "# answers of the test\n"
                           "[*]\n"
                           "delay-ms = 150\n"
                           "[EnviarPagamento]\n"
                           "saved-locally = true\n"
                           "id-start = 42\n"
                           "[RespostaFiscal]\n"
                           "code = EE\n"
                           "message = Cupom não encontrado\n"
                           "body = always\n"
                           "retorno = RF-{id}-{sessao}\n"
                           "erro = Falha na comunicação\n"
                           "[EnviarStatusPagamento]\n"
                           "no-answer = true\n");
  IntegradorSim sim(in(), out(), {"--config", config});
  const auto start = std::chrono::steady_clock::now();
  Send("enviarpagamento-1.xml", EnviarPagamentoExemplo(1));
  Send("respostafiscal-2.xml", RespostaFiscalExemplo(2));
  Send("enviarstatuspagamento-3.xml", EnviarStatusPagamentoExemplo(3));

  const std::string pag = Answer("enviarpagamento-1-resposta.xml");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_NE(pag.find("<IDPagamento>42</IDPagamento>"), std::string::npos);
  EXPECT_NE(pag.find("<StatusPagamento>SalvoEmArmazenamentoLocal</StatusPagamento>"), std::string::npos);

  const std::string rf = platform::AnsiToUtf8(Answer("respostafiscal-2-resposta.xml"));
  EXPECT_NE(rf.find("<Codigo>EE</Codigo><Valor>Cupom não encontrado</Valor>"), std::string::npos) << rf;
  EXPECT_NE(rf.find("<retorno>RF-1-2</retorno>"), std::string::npos);
  EXPECT_NE(rf.find("<Erro><Descricao>Falha na comunicação</Descricao></Erro>"), std::string::npos);

  ASSERT_TRUE(sim.WaitForCommands(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(platform::FileExists(out() + "/enviarstatuspagamento-3-resposta.xml"));
  EXPECT_TRUE(Files(in()).empty());
}

TEST_F(SimTest, AnswerFromATemplateFile) {
  const std::string tmpl = FDir / "resposta.xml";
  platform::WriteFileBytes(tmpl, "<Integrador><Identificador><Valor>{sessao}</Valor></Identificador></Integrador>");
  IntegradorSim sim(in(), out(), {"--answer-file", tmpl, "--encoding", "utf8"});
  Send("respostafiscal-77.xml", RespostaFiscalExemplo(77));
  EXPECT_EQ(Answer("respostafiscal-77-resposta.xml"),
            "<Integrador><Identificador><Valor>77</Valor></Identificador></Integrador>");
}

TEST_F(SimTest, BadOptionsStopTheStart) {
  EXPECT_THROW(IntegradorSim(in(), out(), {"--encoding", "latin1"}), std::runtime_error);
  EXPECT_THROW(IntegradorSim(in(), in()), std::runtime_error);
  try {
    IntegradorSim sim(in(), out(), {"--no-such-option", "1"});
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("unknown option: no-such-option"), std::string::npos);
  }
}

}  // namespace
}  // namespace pagvigia::testing
