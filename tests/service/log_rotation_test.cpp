// Logs never fill the disk: past the size limit a log becomes its one older
// generation ("<name>.1") and a new file begins, the lines unchanged.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "service/log_rotation.h"
#include "service/service_settings.h"
#include "service/srv_pagvigia.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

TEST(LogRotationTest, RenamesOnlyAFileThatReachedTheLimit) {
  testing::TempDir dir;
  const std::string log = dir / "Pagvigia.log";
  const struct {
    std::size_t size;
    std::uint64_t limit;
    bool rotated;
  } cases[] = {{99, 100, false}, {100, 100, true}, {5000, 100, true}, {5000, 0, false}};
  for (const auto& c : cases) {
    platform::WriteFileBytes(log, std::string(c.size, 'x'));
    platform::WriteFileBytes(OlderLogGeneration(log), "older\r\n");
    EXPECT_EQ(RotateLogIfFull(log, c.limit), c.rotated) << c.size << " " << c.limit;
    EXPECT_EQ(platform::PathExists(log), !c.rotated);
    EXPECT_EQ(platform::ReadFileBytes(OlderLogGeneration(log)), c.rotated ? std::string(c.size, 'x') : "older\r\n");
  }
  EXPECT_FALSE(RotateLogIfFull(dir / "missing.log", 1));
}

TEST(LogRotationTest, SettingIsReadFromPagvigiaIni) {
  testing::TempDir dir;
  const struct {
    const char* ini;
    int kb;
  } cases[] = {{"", 10240}, {"[Log]\r\nTamanhoMaximoKB=64\r\n", 64}, {"[Log]\r\nTamanhoMaximoKB=0\r\n", 0},
               {"[Log]\r\nTamanhoMaximoKB=abc\r\n", 10240}, {"[Log]\r\nTamanhoMaximoKB=-1\r\n", 10240}};
  for (const auto& c : cases) {
    platform::WriteFileBytes(dir / "Pagvigia.ini", c.ini);
    EXPECT_EQ(TServiceSettings::Load(dir / "Pagvigia.ini").LogMaxKB, c.kb) << c.ini;
  }
}

TEST(LogRotationTest, TheServiceLogKeepsEveryLineAcrossTheTwoGenerations) {
  testing::TempDir dir;
  platform::ManualClock clock;
  TSrvPagvigiaOptions o;
  o.ExeDir = dir.path();
  o.Settings = TServiceSettings{};
  o.Settings->LogMaxKB = 1;
  o.Clock = &clock;
  o.Sleeper = &platform::SystemSleeper();
  TSrvPagvigia srv(o);
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    const std::string msg = "Envios Pendentes: linha " + std::to_string(i);
    srv.DoSaveLog(msg);
    expected += "08/12/2026 10:00:00 - " + msg + "\r\n";
  }
  const std::string older = platform::ReadFileBytes(dir / "Pagvigia.log.1");
  const std::string current = platform::ReadFileBytes(dir / "Pagvigia.log");
  EXPECT_GE(older.size(), 1024u);
  EXPECT_LT(older.size(), 1024u + 64u);  // one entry past the limit at most
  EXPECT_LT(current.size(), 1024u);
  // The newest entries, in order and unchanged; only whole older files go.
  const std::string both = older + current;
  ASSERT_LE(both.size(), expected.size());
  EXPECT_EQ(both, expected.substr(expected.size() - both.size()));
  EXPECT_EQ(both.substr(0, 22), "08/12/2026 10:00:00 - ");

  // The Integrador's log changes generation at the start of a cycle.
  platform::WriteFileBytes(dir / "Pagvigia_Integrador.log", std::string(2048, 'i'));
  platform::WriteFileBytes(dir / "Gestalo.ini", "[Gestalo]\r\nServidor=127.0.0.1/1\r\nCaminho=/x.fdb\r\n");
  srv.Timer1Timer();
  EXPECT_EQ(platform::ReadFileBytes(dir / "Pagvigia_Integrador.log.1"), std::string(2048, 'i'));
}

}  // namespace
}  // namespace pagvigia
