// What a shop's machine throws at the service over months: the database
// connection cut during a cycle, missing Integrador folders, garbage answers,
// columns of other lengths than expected, a full disk for the logs. Each
// case checks what was logged, what the row holds, and that the next cycle
// recovers.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/integrador_sim.h"

namespace pagvigia::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool Comeca(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

TEST(Confiabilidade, ConnectionCutDuringACycleEndsItAndTheNextCycleRecordsTheIdGivenMeanwhile) {
  Instalacao inst;
  Transacao a;
  a.serialPOS = "POS-NOVO";
  inst.Inserir(a);
  Transacao b = a;
  b.id = 2;
  b.valor = "20.50";
  inst.Inserir(b);
  {
    IntegradorSim sim(inst.input(), inst.output(), {"--delay-ms", "2000"});
    auto p = inst.Iniciar({"-once"});
    // While the first payment waits for its answer, the server ends the
    // service's attachment.
    ASSERT_TRUE(WaitUntil([&] { return inst.IntegradorLog().find("EnviarPagamento( ") != std::string::npos; }, 60s));
    inst.db().Run("DELETE FROM MON$ATTACHMENTS WHERE MON$USER = 'USUARIO' AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION;");
    ASSERT_TRUE(p->Wait(120s));
    // The first row's update fails on the dead connection and is logged;
    // moving the cursor to the next row needs the server too, so the cycle
    // ends there: its clean-up runs and the error goes to the system log
    // (and, with -once, to standard error and the exit status).
    EXPECT_EQ(p->ExitCode(), 1);
    // ("connection shutdown" or a failed write on the connection.)
    EXPECT_NE(SlurpFile(inst.ErrPath()).find("; interrompido: "), std::string::npos) << inst.Saidas();
  }
  auto msgs = inst.ServiceLogMessages();
  ASSERT_EQ(msgs.size(), 1u) << SlurpFile(inst.ServiceLogPath());
  EXPECT_TRUE(Comeca(msgs[0], "Envios Pendentes: ")) << msgs[0];
  // The server's message on one line, and what to do.
  EXPECT_EQ(msgs[0].find("ISC ERROR"), std::string::npos) << msgs[0];
  EXPECT_NE(msgs[0].find(" — Rode o Pagvigia com -status"), std::string::npos) << msgs[0];
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
  EXPECT_EQ(inst.Linha(2), (Progresso{"0", "0", "0"}));

  // The next cycle connects afresh and completes both rows. The first
  // payment had been accepted by the Integrador before its update failed:
  // its id is recorded from the journal and the payment is not sent again.
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "20"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  EXPECT_EQ(inst.Linha(1), (Progresso{"1", "0", "1"}));
  EXPECT_EQ(inst.Linha(2), (Progresso{"20", "0", "2"}));
  const auto cmds = sim.Commands();
  const auto pagamentos = [&](const char* valor) {
    return std::count_if(cmds.begin(), cmds.end(), [&](const SimCommand& c) {
      return c.method == "EnviarPagamento" && c.Param("ValorTotalVenda") == valor;
    });
  };
  EXPECT_EQ(pagamentos("10.50"), 0);
  EXPECT_EQ(pagamentos("20.50"), 1);
  // Sends of the first row's payment over both runs.
  RecordProperty("payment_sends_after_connection_loss", static_cast<int>(1 + pagamentos("10.50")));
  EXPECT_TRUE(inst.ServiceLog().empty());
}

TEST(Confiabilidade, MissingOrUnusableInputFolderFailsEachRowAndRecovers) {
  Instalacao inst;
  Transacao a;
  inst.Inserir(a);
  Transacao b = a;
  b.id = 2;
  inst.Inserir(b);

  fs::remove_all(inst.input());
  ASSERT_EQ(inst.RodarUmCiclo(), 1);  // the rows failed
  auto msgs = inst.ServiceLogMessages();
  ASSERT_EQ(msgs.size(), 2u) << SlurpFile(inst.ServiceLogPath());
  // Each line names its row and what to check.
  for (std::size_t i = 0; i < msgs.size(); ++i) {
    const std::string& m = msgs[i];
    EXPECT_TRUE(Comeca(m, "Envios Pendentes: Erro ao criar o arquivo: " + ProgramUnderTest::Path(inst.input()))) << m;
    const std::string fim = " (linha " + std::to_string(i + 1) +
                            ") — Verifique se PastaInput existe, se o usuário do serviço pode escrever nela e se o "
                            "disco não está cheio";
    EXPECT_TRUE(m.size() > fim.size() && m.compare(m.size() - fim.size(), fim.size(), fim) == 0) << m;
  }
  EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));

  WriteFile(inst.input(), "not a folder");  // a file where the folder should be
  ASSERT_EQ(inst.RodarUmCiclo(), 1);
  EXPECT_EQ(inst.ServiceLogMessages().size(), 2u);
  EXPECT_EQ(inst.Linha(2), (Progresso{"0", "0", "0"}));

  fs::remove(inst.input());
  fs::create_directories(inst.input());
  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  EXPECT_TRUE(inst.ServiceLog().empty());
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
  EXPECT_EQ(inst.Linha(2).fiscal, "2");
}

TEST(Confiabilidade, GarbageAnswersAreRejectedAndNothingIsRecorded) {
  Instalacao inst;
  Transacao a;
  a.serialPOS = "POS-NOVO";
  a.idPagamento = "31";  // only the fiscal response is missing
  inst.Inserir(a);
  Transacao b;
  b.id = 2;
  inst.Inserir(b);
  const std::string lixo = inst.root() + "/lixo.xml";
  // The right session, then no envelope anyone could read, markup broken
  // and bytes that are not text; the root closes, so the answer is whole.
  WriteFile(lixo, "<Integrador><Identificador><Valor>{sessao}</Valor></Identificador><IntegradorResposta><Codigo>"
                  "<<&&\x01\x02\xff</Codigo><retorno>9<9</IDPagamento>\n\n<IDPagamento>abc</Integrador>");
  {
    IntegradorSim sim(inst.input(), inst.output(), {"--answer-file", lixo});
    ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].method, "RespostaFiscal");
    EXPECT_EQ(cmds[1].method, "EnviarPagamento");
  }
  auto msgs = inst.ServiceLogMessages();
  ASSERT_EQ(msgs.size(), 2u) << SlurpFile(inst.ServiceLogPath());
  EXPECT_TRUE(Comeca(msgs[0], "Resposta Fiscal: <Integrador>")) << msgs[0];
  EXPECT_TRUE(Comeca(msgs[1], "Pagamento MFE: <Integrador>")) << msgs[1];
  EXPECT_EQ(inst.Linha(1), (Progresso{"31", "0", "0"}));
  EXPECT_EQ(inst.Linha(2), (Progresso{"0", "0", "0"}));

  IntegradorSim sim(inst.input(), inst.output());
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  EXPECT_EQ(inst.Linha(1).fiscal, "1");
  EXPECT_NE(inst.Linha(2).fiscal, "0");
  EXPECT_TRUE(inst.ServiceLog().empty());
}

// The host system's columns may be wider (CHAR padded with blanks) or
// narrower than the values the service writes.
TEST(Confiabilidade, WiderCharColumnsReadTrimmed) {
  Instalacao inst(1,
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ALTER MFE_SERIALPOS TYPE CHAR(40);\n"
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ALTER MFE_IDPAGAMENTO TYPE CHAR(40);\n"
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ALTER MFE_IDSTATUSVALIDADOR TYPE CHAR(40);\n"
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ALTER MFE_IDRESPOSTAFISCAL TYPE CHAR(60);\n");
  Transacao t;  // "TEF" and "0" padded with blanks in the table
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "44"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  EXPECT_EQ(sim.Commands().size(), 3u);  // TEF recognised: payment, status, fiscal
  auto l = inst.Linha(1);
  EXPECT_EQ(l.pagamento.substr(0, 2), "44");
  EXPECT_NE(l.status.substr(0, 1), "0");
  EXPECT_EQ(l.fiscal.substr(0, 1), "1");
  EXPECT_TRUE(inst.ServiceLog().empty());
}

TEST(Confiabilidade, AnIdLongerThanItsColumnIsKeptInTheJournalNotCutAndNeverSentAgain) {
  Instalacao inst(1,
                  "ALTER TABLE MFE_TRANSACAO_CARTOES DROP MFE_IDRESPOSTAFISCAL;\n"
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ADD MFE_IDRESPOSTAFISCAL VARCHAR(6) DEFAULT '0';\n");
  Transacao t;
  t.serialPOS = "POS-NOVO";
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output(),
                    {"--method", "EnviarPagamento", "--id-start", "52", "--method", "RespostaFiscal", "--retorno",
                     "RF-123456789"});
  // The payment is recorded; the fiscal-response id would not fit and is not
  // stored cut. The Integrador has it, so the fiscal response is not sent
  // again: the id waits in the journal, and every cycle says why.
  for (int ciclo = 0; ciclo < 2; ++ciclo) {
    ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    EXPECT_EQ(inst.Linha(1), (Progresso{"52", "0", "0"}));
    auto msgs = inst.ServiceLogMessages();
    ASSERT_EQ(msgs.size(), 1u) << SlurpFile(inst.ServiceLogPath());
    EXPECT_EQ(msgs[0],
              "Resposta Fiscal: column MFE_IDRESPOSTAFISCAL of MFE_TRANSACAO_CARTOES holds 6 characters, fewer than "
              "the 12 of the id \"RF-123456789\" of row 1; it stays in the journal, and the step is not sent "
              "again, until the column is widened");
  }
  EXPECT_EQ(sim.Commands().size(), 2u);

  // Once the column is wide enough, the next cycle records the id it was
  // given and sends nothing.
  inst.db().Run("ALTER TABLE MFE_TRANSACAO_CARTOES ALTER MFE_IDRESPOSTAFISCAL TYPE VARCHAR(20);\n");
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  EXPECT_EQ(inst.Linha(1), (Progresso{"52", "0", "RF-123456789"}));
  EXPECT_EQ(sim.Commands().size(), 2u);
  EXPECT_TRUE(inst.ServiceLog().empty());
}

TEST(Confiabilidade, AnAnswerLongerThanItsColumnIsStoredCutAndTheIdKept) {
  Instalacao inst(1,
                  "ALTER TABLE MFE_TRANSACAO_CARTOES DROP MFE_XML_ENVIARPAGAMENTO;\n"
                  "ALTER TABLE MFE_TRANSACAO_CARTOES ADD MFE_XML_ENVIARPAGAMENTO VARCHAR(80);\n");
  Transacao t;
  t.serialPOS = "POS-NOVO";
  inst.Inserir(t);
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--id-start", "53"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  // The id is what marks the payment done and must be exact; the copy of the
  // answer is kept as far as the column goes, rather than paying again.
  EXPECT_EQ(inst.Linha(1), (Progresso{"53", "0", "1"}));
  const std::string xml = inst.Coluna(1, "MFE_XML_ENVIARPAGAMENTO");
  EXPECT_EQ(xml.size(), 80u);
  EXPECT_EQ(xml.rfind("<Integrador><Identificador><Valor>", 0), 0u) << xml;
  EXPECT_TRUE(inst.ServiceLog().empty());
}

// The program's folder on a tiny file system that is full.
TEST(Confiabilidade, FullDiskForTheLogs) {
  Instalacao inst;
  Transacao a;
  a.serialPOS = "POS-NOVO";
  inst.Inserir(a);
  const std::string dir = inst.dir();
  // The folder's files (the program, the INI files and whatever the program
  // needs beside it) are written again on the small file system.
  std::vector<std::pair<std::string, std::string>> files;
  std::size_t size = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    files.emplace_back(e.path().string(), SlurpFile(e.path().string()));
    size += files.back().second.size() / 4096 + 1;
  }
  const std::string opts = "size=" + std::to_string((size + 8) * 4096);
  if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, opts.c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small file system here (needs root): " << std::strerror(errno);
  struct Umount {
    std::string d;
    ~Umount() { ::umount2(d.c_str(), MNT_DETACH); }
  } umount{dir};
  for (const auto& [path, bytes] : files) WriteFile(path, bytes);
  fs::permissions(inst.ExePath(), fs::perms::owner_all, fs::perm_options::add);
  {
    std::ofstream filler(dir + "/filler", std::ios::binary);
    std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  {
    // A send that cannot be journaled first is not made: nothing goes to the
    // Integrador, and the failure, which the log cannot take either, goes to
    // standard error (and the system log); the row is untouched.
    IntegradorSim sim(inst.input(), inst.output());
    EXPECT_EQ(inst.RodarUmCiclo(), 1) << inst.Saidas();
    EXPECT_FALSE(SlurpFile(inst.ErrPath()).empty());
    EXPECT_TRUE(sim.Commands().empty());
    EXPECT_EQ(inst.Linha(1), (Progresso{"0", "0", "0"}));
  }
  fs::remove(dir + "/filler");
  {
    IntegradorSim sim(inst.input(), inst.output());
    ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
    EXPECT_EQ(inst.Linha(1).fiscal, "1");
  }
  Transacao b;
  b.id = 2;
  inst.Inserir(b);
  IntegradorSim sim(inst.input(), inst.output(), {"--method", "EnviarPagamento", "--code", "EE"});
  ASSERT_EQ(inst.RodarUmCiclo(), 0) << inst.Saidas();
  auto msgs = inst.ServiceLogMessages();
  ASSERT_GE(msgs.size(), 1u);
  EXPECT_TRUE(Comeca(msgs.back(), "Pagamento MFE: ")) << msgs.back();
}

}  // namespace
}  // namespace pagvigia::testing
