#include <syslog.h>

#include <mutex>

#include "platform/event_log.h"
#include "platform/files.h"

namespace pagvigia::platform {
namespace {

class SyslogEventLog final : public EventLog {
 public:
  void Error(const std::string& message) override {
    std::lock_guard lock(FMutex);
    if (!FOpened) {
      // openlog keeps the pointer, so the name lives as long as this object.
      FIdent = ExtractFileName(ExecutablePath());
      if (FIdent.empty()) FIdent = "pagvigia";
      ::openlog(FIdent.c_str(), LOG_PID, LOG_USER);
      FOpened = true;
    }
    ::syslog(LOG_USER | LOG_ERR, "%s", message.c_str());
  }

 private:
  std::mutex FMutex;
  bool FOpened = false;
  std::string FIdent;
};

}  // namespace

EventLog& SystemEventLog() {
  static SyslogEventLog log;
  return log;
}

}  // namespace pagvigia::platform
