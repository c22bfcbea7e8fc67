// The POSIX service host: switches, a failing service body, and the systemd
// unit written and removed in a temporary unit folder (the requests and the
// notify protocol are tested on the executable, in switches_test.cpp).
#include "platform/service_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

using platform::ServiceRequest;
using platform::ServiceState;

TEST(CmdLineSwitch, AfterSlashDashOrDoubleDashInAnyCase) {
  const char* argv[] = {"pagvigia", "/install", "-Silent", "--ONCE", "uninstall", "-", "/"};
  const int argc = 7;
  EXPECT_TRUE(platform::FindCmdLineSwitch(argc, argv, "INSTALL"));
  EXPECT_TRUE(platform::FindCmdLineSwitch(argc, argv, "SILENT"));
  EXPECT_TRUE(platform::FindCmdLineSwitch(argc, argv, "ONCE"));
  EXPECT_FALSE(platform::FindCmdLineSwitch(argc, argv, "UNINSTALL"));  // no leading mark
  EXPECT_FALSE(platform::FindCmdLineSwitch(argc, argv, "INST"));
  const char* prog[] = {"/install"};  // the program's own name is no switch
  EXPECT_FALSE(platform::FindCmdLineSwitch(1, prog, "INSTALL"));
}

class RecordingEventLog : public platform::EventLog {
 public:
  void Error(const std::string& message) override { entries.push_back(message); }
  std::vector<std::string> entries;
};

TEST(ServiceHost, ExceptionEscapingTheServiceBodyGoesToTheEventLog) {
  platform::ServiceThread thread(false);
  RecordingEventLog log;
  platform::ServiceDefinition def{"SrvPagvigia", "Pagvigia",
                                  [](platform::ServiceThread&) { throw std::runtime_error("boom"); }};
  EXPECT_EQ(platform::RunService(def, thread, log), 1);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0], "Service failed on execute: boom");
  EXPECT_EQ(thread.State(), ServiceState::Stopped);
}

TEST(ServiceHost, StopRequestsAndTheStopThatCannotWait) {
  struct Caso {
    const char* nome;
    std::vector<ServiceRequest> pedidos;
    bool terminado, naoEspera;
  };
  const Caso casos[] = {
      {"one stop", {ServiceRequest::Stop}, true, false},
      {"stop asked twice", {ServiceRequest::Stop, ServiceRequest::Stop}, true, true},
      {"stop now (shutdown)", {ServiceRequest::StopNow}, true, true},
      {"stop, then stop now (budget spent)", {ServiceRequest::Stop, ServiceRequest::StopNow}, true, true},
      {"interrogate", {ServiceRequest::Interrogate}, false, false},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    platform::ServiceThread thread(false);
    thread.ReportState(ServiceState::Running);
    for (const ServiceRequest r : caso.pedidos) thread.Controller(r);
    thread.ProcessRequestsFor(0);
    EXPECT_EQ(thread.Terminated(), caso.terminado);
    EXPECT_EQ(thread.StopCannotWait(), caso.naoEspera);
    EXPECT_EQ(thread.State(), caso.terminado ? ServiceState::StopPending : ServiceState::Running);
  }
}

TEST(ServiceHost, ProcessRequestsForReturnsOnARequestOrAWake) {
  platform::ServiceThread thread(false);
  // A wake without a request from another thread ends a wait without limit
  // of its own (the test's limit is the ctest time-out).
  std::thread waker([&] { thread.Wake(); });
  thread.ProcessRequestsFor(24L * 3600 * 1000);
  waker.join();
  EXPECT_FALSE(thread.Terminated());
  std::thread stopper([&] { thread.Controller(ServiceRequest::Stop); });
  while (!thread.Terminated()) thread.ProcessRequestsFor(24L * 3600 * 1000);
  stopper.join();
  EXPECT_FALSE(thread.StopCannotWait());
}

TEST(ServiceHost, StopDeadlineLeavesTheEndOfTheBudgetToTheWorkAfterAnAbandon) {
  struct Caso {
    std::int64_t orcamentoMs, abandonoMs, fimRelatosMs;
  };
  for (const Caso caso : {Caso{55000, 45000, 55000}, Caso{180000, 170000, 180000}, Caso{12000, 6000, 12000},
                          Caso{0, 0, 0}, Caso{-1, 0, 0}}) {
    SCOPED_TRACE(caso.orcamentoMs);
    const platform::StopDeadline plano = platform::PlanStopDeadline(caso.orcamentoMs);
    EXPECT_EQ(plano.abandonAfterMs, caso.abandonoMs);
    EXPECT_EQ(plano.reportsEndAfterMs, caso.fimRelatosMs);
  }
  // The preshutdown time-out registered is the stop's own time; with the
  // service's settings (one exchange of at least 25 s and a margin) the
  // exchange in flight may end before it is abandoned.
  platform::ServiceDefinition def{"SrvPagvigia", "Pagvigia", nullptr, 55};
  EXPECT_EQ(platform::PreshutdownTimeoutMs(def), 55000);
  EXPECT_GE(platform::PlanStopDeadline(platform::PreshutdownTimeoutMs(def)).abandonAfterMs, 25000 + 5000);
  def.stopTimeoutSec = 0;
  EXPECT_EQ(platform::PreshutdownTimeoutMs(def), 0);
}

// Points the unit folder and systemctl at temporary stand-ins for one test.
class UnitFolderTest : public ::testing::Test {
 protected:
  UnitFolderTest() {
    FUnits = FDir / "units";
    platform::ForceDirectories(FUnits);
    ::setenv("PAGVIGIA_SYSTEMD_UNIT_DIR", FUnits.c_str(), 1);
    // A systemctl that records its arguments and fails on request.
    FSystemctl = FDir / "systemctl";
    platform::WriteFileBytes(FSystemctl,
                             "#!/bin/sh\n"
                             "echo \"$@\" >> '" + (FDir / "calls") + "'\n"
                             "if [ -e '" + (FDir / "fail") + "' ]; then echo 'unit is masked' >&2; exit 3; fi\n");
    ::chmod(FSystemctl.c_str(), 0755);
  }
  ~UnitFolderTest() override {
    ::unsetenv("PAGVIGIA_SYSTEMD_UNIT_DIR");
    ::unsetenv("PAGVIGIA_SYSTEMCTL");
  }
  std::string Calls() {
    return platform::FileExists(FDir / "calls") ? platform::ReadFileBytes(FDir / "calls") : "";
  }

  testing::TempDir FDir;
  std::string FUnits, FSystemctl;
  platform::ServiceDefinition FDefinition{"SrvPagvigia", "Pagvigia", nullptr};
  std::ostringstream FOut, FErr;
};

TEST_F(UnitFolderTest, InstallWritesTheUnitAndUninstallRemovesIt) {
  ::setenv("PAGVIGIA_SYSTEMCTL", FSystemctl.c_str(), 1);
  EXPECT_EQ(platform::InstallService(FDefinition, "/opt/loja 1/pagvigia", false, FOut, FErr), 0);
  EXPECT_EQ(FOut.str(), "Service installed successfully\n");
  EXPECT_EQ(FErr.str(), "");
  EXPECT_EQ(platform::ReadFileBytes(FUnits + "/SrvPagvigia.service"),
            "[Unit]\nDescription=Pagvigia\n\n[Service]\nType=notify\n"
            "ExecStart=\"/opt/loja 1/pagvigia\"\nRestart=no\n\n"
            "[Install]\nWantedBy=multi-user.target\n");
  EXPECT_EQ(Calls(), "daemon-reload\nenable SrvPagvigia.service\n");

  // A second install fails and leaves the unit as it was.
  EXPECT_EQ(platform::InstallService(FDefinition, "/other", true, FOut, FErr), 1);
  EXPECT_NE(FErr.str().find("Pagvigia"), std::string::npos);
  EXPECT_NE(FErr.str().find("already exists"), std::string::npos);
  EXPECT_NE(platform::ReadFileBytes(FUnits + "/SrvPagvigia.service").find("/opt/loja 1/"),
            std::string::npos);

  FOut.str("");
  FErr.str("");
  EXPECT_EQ(platform::UninstallService(FDefinition, true, FOut, FErr), 0);  // SILENT
  EXPECT_EQ(FOut.str(), "");
  EXPECT_FALSE(platform::PathExists(FUnits + "/SrvPagvigia.service"));
  EXPECT_EQ(Calls(), "daemon-reload\nenable SrvPagvigia.service\ndisable SrvPagvigia.service\ndaemon-reload\n");

  // Nothing left to remove: a failure, reported even when silent.
  EXPECT_EQ(platform::UninstallService(FDefinition, true, FOut, FErr), 1);
  EXPECT_NE(FErr.str().find("does not exist"), std::string::npos);
}

TEST_F(UnitFolderTest, SystemctlFailureIsReportedWithItsMessage) {
  ::setenv("PAGVIGIA_SYSTEMCTL", FSystemctl.c_str(), 1);
  platform::WriteFileBytes(FDir / "fail", "");
  EXPECT_EQ(platform::InstallService(FDefinition, "/x/pagvigia", true, FOut, FErr), 1);
  EXPECT_EQ(FOut.str(), "");
  EXPECT_NE(FErr.str().find("Service \"Pagvigia\""), std::string::npos) << FErr.str();
  EXPECT_NE(FErr.str().find("systemctl enable SrvPagvigia.service failed with exit status 3: unit is masked"),
            std::string::npos)
      << FErr.str();
}

TEST_F(UnitFolderTest, MovedUnitFolderRunsNoSystemctlUnlessNamed) {
  EXPECT_EQ(platform::InstallService(FDefinition, "/x/pagvigia", true, FOut, FErr), 0);
  EXPECT_EQ(platform::UninstallService(FDefinition, true, FOut, FErr), 0);
  EXPECT_EQ(Calls(), "");
  // An unwritable unit folder is a failure.
  EXPECT_EQ(platform::InstallService(FDefinition, "/x/pagvigia", true, FOut, FErr), 0);
  ::setenv("PAGVIGIA_SYSTEMD_UNIT_DIR", (FDir / "missing/folder").c_str(), 1);
  EXPECT_EQ(platform::InstallService(FDefinition, "/x/pagvigia", false, FOut, FErr), 1);
  EXPECT_EQ(FOut.str(), "");
  EXPECT_NE(FErr.str().find("missing/folder"), std::string::npos) << FErr.str();
}

}  // namespace
}  // namespace pagvigia
