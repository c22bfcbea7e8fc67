// Pagvigia.exe under the Service Control Manager: registered with /INSTALL,
// started and stopped with "net start" and "net stop", paused, continued and
// interrogated through ControlService, removed with /UNINSTALL. Without a
// client library every cycle logs the connection failure that names the
// Windows library files.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace pagvigia {
namespace {

constexpr const wchar_t* kService = L"SrvPagvigia";
const std::string kNoClient =
    "Conex\xC3\xA3o do Banco: Unable to load client library: fbclient.dll or fbembed.dll or "
    "gds32.dll or ibtogo.dll \xE2\x80\x94 Instale a biblioteca cliente do Firebird (pacote libfbclient2 no Debian, "
    "fbclient.dll no Windows)";

std::wstring Wide(const std::string& utf8) {
  const std::string utf16 = platform::Utf8ToUtf16(utf8, false);
  return std::wstring(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size() / 2);
}

bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

class ServiceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FExe = FDir / "Pagvigia.exe";
    std::filesystem::copy_file(PAGVIGIA_EXE, FExe);
    // A short interval, so that cycles come quickly.
    platform::WriteFileBytes(FDir / "Pagvigia.ini", "[Servico]\r\nIntervalo=300\r\n");
    FScm = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(FScm, nullptr);
  }
  void TearDown() override {
    // Never leave an automatic service behind in the prefix.
    if (SC_HANDLE s = Open()) {
      SERVICE_STATUS st{};
      ::ControlService(s, SERVICE_CONTROL_STOP, &st);
      WaitFor([&] { return State() == SERVICE_STOPPED; });
      ::DeleteService(s);
      ::CloseServiceHandle(s);
    }
    ::CloseServiceHandle(FScm);
  }

  SC_HANDLE Open() const { return ::OpenServiceW(FScm, kService, SERVICE_ALL_ACCESS); }

  DWORD State() const {
    SC_HANDLE s = Open();
    if (!s) return 0;
    SERVICE_STATUS st{};
    const BOOL ok = ::QueryServiceStatus(s, &st);
    ::CloseServiceHandle(s);
    return ok ? st.dwCurrentState : 0;
  }

  DWORD Control(DWORD code) const {
    SC_HANDLE s = Open();
    SERVICE_STATUS st{};
    const BOOL ok = ::ControlService(s, code, &st);
    ::CloseServiceHandle(s);
    return ok ? st.dwCurrentState : 0;
  }

  // Runs a command line through the command interpreter; its exit status.
  int Run(const std::string& commandLine) const {
    const std::string line = "\"" + commandLine + " >\"" + (FDir / "out.txt") + "\" 2>\"" +
                             (FDir / "err.txt") + "\"\"";
    return std::system(line.c_str());
  }
  int RunProgram(const std::string& switches) const { return Run("\"" + FExe + "\" " + switches); }
  // Runs the program with PAGVIGIA_NO_MESSAGE_BOX unset, its standard error
  // into `errFile`; its exit status, -1 when it had not ended within
  // `seconds` (it is then ended), -2 when it could not be started.
  int RunWithMessageBoxes(const std::string& switches, const std::string& errFile, int seconds) const {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE err = ::CreateFileW(Wide(errFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (err == INVALID_HANDLE_VALUE) return -2;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = err;
    si.hStdError = err;
    std::wstring line = L"\"" + Wide(FExe) + L"\" " + Wide(switches);
    // The child takes the environment as it is now; the variable comes back
    // for the other runs.
    const char* before = std::getenv("PAGVIGIA_NO_MESSAGE_BOX");
    const std::string saved = before ? before : "";
    ::SetEnvironmentVariableW(L"PAGVIGIA_NO_MESSAGE_BOX", nullptr);
    PROCESS_INFORMATION pi{};
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (before) ::SetEnvironmentVariableW(L"PAGVIGIA_NO_MESSAGE_BOX", Wide(saved).c_str());
    ::CloseHandle(err);
    if (!started) return -2;
    DWORD status = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(pi.hProcess, static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0)
      ::GetExitCodeProcess(pi.hProcess, &status);
    else
      ::TerminateProcess(pi.hProcess, 99);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(status);
  }
  std::string Out() const { return platform::ReadFileBytes(FDir / "out.txt"); }
  std::string Err() const { return platform::ReadFileBytes(FDir / "err.txt"); }

  int LogLines() const {
    try {
      const std::string log = platform::AnsiToUtf8(platform::ReadFileBytes(FDir / "Pagvigia.log"));
      int n = 0;
      for (std::size_t at = 0; (at = log.find(kNoClient + "\r\n", at)) != std::string::npos; ++at) ++n;
      return n;
    } catch (const platform::FileError&) {
      return 0;  // not there yet, or being written
    }
  }

  testing::TempDir FDir;
  std::string FExe;
  SC_HANDLE FScm = nullptr;
};

TEST_F(ServiceManagerTest, InstallStartPauseContinueStopUninstall) {
  // Both logs go first, also when installing.
  platform::WriteFileBytes(FDir / "Pagvigia.log", "old");
  platform::WriteFileBytes(FDir / "Pagvigia_Integrador.log", "old");
  ASSERT_EQ(RunProgram("/INSTALL /SILENT"), 0) << Err();
  EXPECT_EQ(Out(), "");
  EXPECT_FALSE(platform::FileExists(FDir / "Pagvigia.log"));
  EXPECT_FALSE(platform::FileExists(FDir / "Pagvigia_Integrador.log"));

  {
    SC_HANDLE s = Open();
    ASSERT_NE(s, nullptr);
    DWORD needed = 0;
    ::QueryServiceConfigW(s, nullptr, 0, &needed);
    std::vector<char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(::QueryServiceConfigW(s, config, needed, &needed));
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(std::wstring(config->lpDisplayName), L"Pagvigia");
    EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + Wide(FExe) + L"\"");
    ::CloseServiceHandle(s);
  }
  // A second registration fails, and says why.
  EXPECT_EQ(RunProgram("/INSTALL /SILENT"), 1);
  EXPECT_EQ(Err().rfind("Service \"Pagvigia\" could not be installed: ", 0), 0u) << Err();
  // Unattended, the failure shows no message box even where one could be
  // shown: the run ends at once, its text on standard error.
  {
    const std::string err = FDir / "err.txt";
    EXPECT_EQ(RunWithMessageBoxes("/INSTALL /SILENT", err, 30), 1);
    EXPECT_EQ(Err().rfind("Service \"Pagvigia\" could not be installed: ", 0), 0u) << Err();
  }

  ASSERT_EQ(Run("net start SrvPagvigia"), 0) << Out() << Err();
  ASSERT_TRUE(WaitFor([&] { return State() == SERVICE_RUNNING; }));
  // Cycles run: each one fails to load the client library, by its Windows names.
  ASSERT_TRUE(WaitFor([&] { return LogLines() >= 1; })) << "no cycle logged";

  EXPECT_EQ(Control(SERVICE_CONTROL_PAUSE) != 0, true);
  ASSERT_TRUE(WaitFor([&] { return State() == SERVICE_PAUSED; }));
  // A paused service goes on running its cycles.
  const int paused = LogLines();
  EXPECT_TRUE(WaitFor([&] { return LogLines() > paused; })) << "no cycle while paused";
  EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(SERVICE_PAUSED));
  EXPECT_NE(Control(SERVICE_CONTROL_CONTINUE), 0u);
  ASSERT_TRUE(WaitFor([&] { return State() == SERVICE_RUNNING; }));
  EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(SERVICE_RUNNING));

  ASSERT_EQ(Run("net stop SrvPagvigia"), 0) << Out() << Err();
  ASSERT_TRUE(WaitFor([&] { return State() == SERVICE_STOPPED; }));

  ASSERT_EQ(RunProgram("/UNINSTALL /SILENT"), 0) << Err();
  EXPECT_EQ(Out(), "");
  // DeleteService only marks the service; the manager removes it once the
  // last handle to it is closed, which may come a moment later.
  EXPECT_TRUE(WaitFor([&] {
    SC_HANDLE gone = Open();
    if (gone) ::CloseServiceHandle(gone);
    return gone == nullptr;
  })) << "the service is still registered";
  EXPECT_EQ(RunProgram("/UNINSTALL /SILENT"), 1);
  EXPECT_EQ(Err().rfind("Service \"Pagvigia\" could not be uninstalled: ", 0), 0u) << Err();
}

// Explorer's properties and the installer read the version from the program.
TEST_F(ServiceManagerTest, TheProgramCarriesItsVersion) {
  const std::wstring exe = std::filesystem::path(FExe).wstring();
  DWORD ignored = 0;
  std::string data(::GetFileVersionInfoSizeW(exe.c_str(), &ignored), '\0');
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  wchar_t* text = nullptr;
  UINT size = 0;
  ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\StringFileInfo\\041604B0\\ProductVersion",
                               reinterpret_cast<void**>(&text), &size));
  EXPECT_EQ(std::wstring(text), L"1.0.0");
}

// Registering makes the event log show the program's own texts; removing
// drops them.
TEST_F(ServiceManagerTest, InstallRegistersTheEventTexts) {
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pagvigia.exe";
  ASSERT_EQ(RunProgram("/INSTALL /SILENT"), 0) << Err();
  wchar_t file[MAX_PATH] = {};
  DWORD size = sizeof file;
  ASSERT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"EventMessageFile", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                           nullptr, file, &size),
            ERROR_SUCCESS);
  HMODULE exe = ::LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(L"Envios Pendentes: não")};
  wchar_t text[256] = {};
  EXPECT_GT(::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, 1, 0, text, 256,
                             reinterpret_cast<va_list*>(args)),
            0u);
  EXPECT_EQ(std::wstring(text).substr(0, 21), L"Envios Pendentes: não");
  ::FreeLibrary(exe);
  // (Wine does not keep the failure actions; Windows reads them back with
  // QueryServiceConfig2W(SERVICE_CONFIG_FAILURE_ACTIONS).)
  ASSERT_EQ(RunProgram("/UNINSTALL /SILENT"), 0) << Err();
  HKEY h = nullptr;
  EXPECT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
}

TEST_F(ServiceManagerTest, SuccessIsReportedUnlessSilent) {
  ASSERT_EQ(RunProgram("-install"), 0) << Err();
  EXPECT_EQ(Out(), "Service installed successfully\r\n");
  ASSERT_EQ(RunProgram("/Uninstall"), 0) << Err();
  EXPECT_EQ(Out(), "Service uninstalled successfully\r\n");
}

TEST_F(ServiceManagerTest, OnceLogsTheClientLibraryNamesAndAPlainStartNeedsTheManager) {
  // The cycle could not run: status 1, and standard error shows its entry.
  EXPECT_EQ(RunProgram("/ONCE"), 1) << Err();
  EXPECT_EQ(LogLines(), 1);
  EXPECT_NE(Err().find(kNoClient), std::string::npos) << Err();
  const std::string log = platform::ReadFileBytes(FDir / "Pagvigia.log");
  // Windows-1252, CR LF, as on every platform.
  EXPECT_NE(log.find("Conex\xE3o do Banco: "), std::string::npos);
  // Not started by the Service Control Manager: a hint and status 1.
  EXPECT_EQ(RunProgram(""), 1);
  EXPECT_NE(Err().find("/CONSOLE"), std::string::npos) << Err();
}

}  // namespace
}  // namespace pagvigia
