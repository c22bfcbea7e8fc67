// The Windows application event log: error entries under an event source
// named after the executable's file name.
#include <mutex>

#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/win_text.h"

namespace pagvigia::platform {
namespace {

// The one message of the program's message table (platform/windows/
// mensagens.mc): "%1", the entry's own text.
constexpr DWORD kEventoTexto = 1;

class WindowsEventLog final : public EventLog {
 public:
  ~WindowsEventLog() override {
    if (FSource) ::DeregisterEventSource(FSource);
  }
  void Error(const std::string& message) override {
    std::lock_guard lock(FMutex);
    if (!FSource) {
      std::string name = ExtractFileName(ExecutablePath());
      if (name.empty()) name = "Pagvigia.exe";
      FSource = ::RegisterEventSourceW(nullptr, Widen(name).c_str());
      if (!FSource) return;
    }
    const std::wstring text = Widen(message);
    const wchar_t* strings[] = {text.c_str()};
    ::ReportEventW(FSource, EVENTLOG_ERROR_TYPE, 0, kEventoTexto, nullptr, 1, 0, strings, nullptr);
  }

 private:
  std::mutex FMutex;
  HANDLE FSource = nullptr;
};

}  // namespace

EventLog& SystemEventLog() {
  static WindowsEventLog log;
  return log;
}

}  // namespace pagvigia::platform
