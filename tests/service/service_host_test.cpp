// The POSIX service host: switches, a failing service body, and the systemd
// unit written and removed in a temporary unit folder (the requests and the
// notify protocol are tested on the executable, in switches_test.cpp).
#include "platform/service_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

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

// Points the unit folder and systemctl at temporary stand-ins for one test.
class UnitFolderTest : public ::testing::Test {
 protected:
  UnitFolderTest() {
    units_ = dir_ / "units";
    platform::ForceDirectories(units_);
    ::setenv("PAGVIGIA_SYSTEMD_UNIT_DIR", units_.c_str(), 1);
    // A systemctl that records its arguments and fails on request.
    systemctl_ = dir_ / "systemctl";
    platform::WriteFileBytes(systemctl_,
                             "#!/bin/sh\n"
                             "echo \"$@\" >> '" + (dir_ / "calls") + "'\n"
                             "if [ -e '" + (dir_ / "fail") + "' ]; then echo 'unit is masked' >&2; exit 3; fi\n");
    ::chmod(systemctl_.c_str(), 0755);
  }
  ~UnitFolderTest() override {
    ::unsetenv("PAGVIGIA_SYSTEMD_UNIT_DIR");
    ::unsetenv("PAGVIGIA_SYSTEMCTL");
  }
  std::string Calls() {
    return platform::FileExists(dir_ / "calls") ? platform::ReadFileBytes(dir_ / "calls") : "";
  }

  testing::TempDir dir_;
  std::string units_, systemctl_;
  platform::ServiceDefinition def_{"SrvPagvigia", "Pagvigia", nullptr};
  std::ostringstream out_, err_;
};

TEST_F(UnitFolderTest, InstallWritesTheUnitAndUninstallRemovesIt) {
  ::setenv("PAGVIGIA_SYSTEMCTL", systemctl_.c_str(), 1);
  EXPECT_EQ(platform::InstallService(def_, "/opt/loja 1/pagvigia", false, out_, err_), 0);
  EXPECT_EQ(out_.str(), "Service installed successfully\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(platform::ReadFileBytes(units_ + "/SrvPagvigia.service"),
            "[Unit]\nDescription=Pagvigia\n\n[Service]\nType=notify\n"
            "ExecStart=\"/opt/loja 1/pagvigia\"\nRestart=no\n\n"
            "[Install]\nWantedBy=multi-user.target\n");
  EXPECT_EQ(Calls(), "daemon-reload\nenable SrvPagvigia.service\n");

  // A second install fails and leaves the unit as it was.
  EXPECT_EQ(platform::InstallService(def_, "/other", true, out_, err_), 1);
  EXPECT_NE(err_.str().find("Pagvigia"), std::string::npos);
  EXPECT_NE(err_.str().find("already exists"), std::string::npos);
  EXPECT_NE(platform::ReadFileBytes(units_ + "/SrvPagvigia.service").find("/opt/loja 1/"),
            std::string::npos);

  out_.str("");
  err_.str("");
  EXPECT_EQ(platform::UninstallService(def_, true, out_, err_), 0);  // SILENT
  EXPECT_EQ(out_.str(), "");
  EXPECT_FALSE(platform::PathExists(units_ + "/SrvPagvigia.service"));
  EXPECT_EQ(Calls(), "daemon-reload\nenable SrvPagvigia.service\ndisable SrvPagvigia.service\ndaemon-reload\n");

  // Nothing left to remove: a failure, reported even when silent.
  EXPECT_EQ(platform::UninstallService(def_, true, out_, err_), 1);
  EXPECT_NE(err_.str().find("does not exist"), std::string::npos);
}

TEST_F(UnitFolderTest, SystemctlFailureIsReportedWithItsMessage) {
  ::setenv("PAGVIGIA_SYSTEMCTL", systemctl_.c_str(), 1);
  platform::WriteFileBytes(dir_ / "fail", "");
  EXPECT_EQ(platform::InstallService(def_, "/x/pagvigia", true, out_, err_), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find("Service \"Pagvigia\""), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("systemctl enable SrvPagvigia.service failed with exit status 3: unit is masked"),
            std::string::npos)
      << err_.str();
}

TEST_F(UnitFolderTest, MovedUnitFolderRunsNoSystemctlUnlessNamed) {
  EXPECT_EQ(platform::InstallService(def_, "/x/pagvigia", true, out_, err_), 0);
  EXPECT_EQ(platform::UninstallService(def_, true, out_, err_), 0);
  EXPECT_EQ(Calls(), "");
  // An unwritable unit folder is a failure.
  EXPECT_EQ(platform::InstallService(def_, "/x/pagvigia", true, out_, err_), 0);
  ::setenv("PAGVIGIA_SYSTEMD_UNIT_DIR", (dir_ / "missing/folder").c_str(), 1);
  EXPECT_EQ(platform::InstallService(def_, "/x/pagvigia", false, out_, err_), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find("missing/folder"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace pagvigia
