// The last cycle's summary: its text, the systemd status line and the state
// file beside the logs, and the service writing both after a cycle.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "service/resumo_ciclo.h"
#include "service/srv_pagvigia.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

const platform::DateTime kFim{2026, 12, 8, 14, 3, 22, 0};

TResumoCiclo Resumo(bool conectado, int concluidas, int recusadas, int falhas, std::string erro = "") {
  TResumoCiclo r;
  r.Fim = kFim;
  r.Conectado = conectado;
  r.Concluidas = concluidas;
  r.Recusadas = recusadas;
  r.Falhas = falhas;
  r.Erro = std::move(erro);
  return r;
}

TEST(ResumoCicloTest, TextSaysWhenTheCycleEndedAndWhatBecameOfItsRows) {
  const struct {
    TResumoCiclo resumo;
    const char* text;
  } cases[] = {
      {Resumo(true, 3, 0, 1), "Último ciclo 14:03:22: 3 linhas concluídas, 1 falha"},
      {Resumo(true, 1, 2, 0), "Último ciclo 14:03:22: 1 linha concluída, 2 recusadas pelo Integrador"},
      {Resumo(true, 0, 1, 2), "Último ciclo 14:03:22: 0 linhas concluídas, 1 recusada pelo Integrador, 2 falhas"},
      {Resumo(true, 0, 0, 0), "Último ciclo 14:03:22: nenhuma linha pendente"},
      {Resumo(false, 0, 0, 0), "Último ciclo 14:03:22: sem conexão com o banco"},
      {Resumo(true, 2, 0, 0, "Table unknown\nMSAUT"),
       "Último ciclo 14:03:22: 2 linhas concluídas; interrompido: Table unknown MSAUT"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextoResumoCiclo(c.resumo), c.text);
}

class PublicacaoTest : public ::testing::Test {
 protected:
  PublicacaoTest() {
    FSocketPath = FDir / "notify";
    FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    FSocketPath.copy(a.sun_path, sizeof a.sun_path - 1);
    ::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::setenv("NOTIFY_SOCKET", FSocketPath.c_str(), 1);
  }
  ~PublicacaoTest() override {
    ::unsetenv("NOTIFY_SOCKET");
    ::close(FFd);
  }
  // The messages that reached the service manager's socket.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    char buf[4096];
    for (ssize_t n; (n = ::recv(FFd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) out.emplace_back(buf, static_cast<std::size_t>(n));
    return out;
  }

  testing::TempDir FDir;
  std::string FSocketPath;
  int FFd = -1;
};

TEST_F(PublicacaoTest, StatusLineAndStateFileAreReplacedEachCycle) {
  const std::string path = FDir / kResumoCicloName;
  PublicarResumoCiclo(path, Resumo(true, 3, 0, 1));
  PublicarResumoCiclo(path, Resumo(false, 0, 0, 0));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"STATUS=Último ciclo 14:03:22: 3 linhas concluídas, 1 falha",
                                                  "STATUS=Último ciclo 14:03:22: sem conexão com o banco"}));
  // Windows-1252 with CR LF, as the logs; one line, the last cycle's.
  EXPECT_EQ(platform::ReadFileBytes(path), "08/12/2026 14:03:22 - \xDAltimo ciclo 14:03:22: sem conex\xE3o com o banco\r\n");
  EXPECT_EQ(platform::ListFolder(FDir / "*.tmp"), std::vector<std::string>{});
}

TEST_F(PublicacaoTest, StateThatCannotBeWrittenIsNoError) {
  EXPECT_NO_THROW(PublicarResumoCiclo(FDir / "missing/folder/" + kResumoCicloName, Resumo(true, 1, 0, 0)));
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(PublicacaoTest, TheServiceWritesBothAfterEachCycle) {
  platform::WriteFileBytes(FDir / "Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1/1\r\nCaminho=/x/GESTALO.FDB\r\n");
  platform::ManualClock clock;
  TSrvPagvigiaOptions o;
  o.ExeDir = FDir.path();
  o.Settings = TServiceSettings{};
  o.Settings->PastaCaixa = FDir.withDelim();
  o.Clock = &clock;
  // Waiting in real time on a clock that stands still: the timer, armed again
  // after the cycle, never runs one of its own.
  o.Sleeper = &platform::SystemSleeper();
  TSrvPagvigia srv(o);
  srv.Timer1Timer();
  const std::string text = platform::ReadFileBytes(FDir / kResumoCicloName);
  EXPECT_NE(text.find(" - \xDAltimo ciclo 10:00:00: sem conex\xE3o com o banco\r\n"), std::string::npos) << text;
  const auto messages = Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "STATUS=Último ciclo 10:00:00: sem conexão com o banco");
}

}  // namespace
}  // namespace pagvigia
