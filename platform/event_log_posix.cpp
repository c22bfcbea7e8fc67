#include <syslog.h>

#include <mutex>

#include "platform/event_log.h"
#include "platform/files.h"

namespace pagvigia::platform {
namespace {

class SyslogEventLog final : public EventLog {
 public:
  void Error(const std::string& message) override {
    std::lock_guard lock(mu_);
    if (!opened_) {
      // openlog keeps the pointer, so the name lives as long as this object.
      ident_ = ExtractFileName(ExecutablePath());
      if (ident_.empty()) ident_ = "pagvigia";
      ::openlog(ident_.c_str(), LOG_PID, LOG_USER);
      opened_ = true;
    }
    ::syslog(LOG_USER | LOG_ERR, "%s", message.c_str());
  }

 private:
  std::mutex mu_;
  bool opened_ = false;
  std::string ident_;
};

}  // namespace

EventLog& SystemEventLog() {
  static SyslogEventLog log;
  return log;
}

}  // namespace pagvigia::platform
