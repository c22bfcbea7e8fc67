// The system's log for failures that escape the service's own handling
// (syslog on POSIX: facility user, priority error; the application event log
// on Windows), named after the executable's file name.
#pragma once
#include <string>

namespace pagvigia::platform {

class EventLog {
 public:
  virtual ~EventLog() = default;
  // Writes one error entry.
  virtual void Error(const std::string& message) = 0;
};

// The system's event log, under the executable's file name.
EventLog& SystemEventLog();

}  // namespace pagvigia::platform
