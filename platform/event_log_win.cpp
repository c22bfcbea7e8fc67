// The Windows application event log: error entries under an event source
// named after the executable's file name.
#include <mutex>

#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/win_text.h"

namespace pagvigia::platform {
namespace {

class WindowsEventLog final : public EventLog {
 public:
  ~WindowsEventLog() override {
    if (source_) ::DeregisterEventSource(source_);
  }
  void Error(const std::string& message) override {
    std::lock_guard lock(mu_);
    if (!source_) {
      std::string name = ExtractFileName(ExecutablePath());
      if (name.empty()) name = "Pagvigia.exe";
      source_ = ::RegisterEventSourceW(nullptr, Widen(name).c_str());
      if (!source_) return;
    }
    const std::wstring text = Widen(message);
    const wchar_t* strings[] = {text.c_str()};
    ::ReportEventW(source_, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
  }

 private:
  std::mutex mu_;
  HANDLE source_ = nullptr;
};

}  // namespace

EventLog& SystemEventLog() {
  static WindowsEventLog log;
  return log;
}

}  // namespace pagvigia::platform
