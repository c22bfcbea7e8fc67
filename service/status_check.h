// The operator's status check (switch "STATUS"): reads the same files the
// service reads and tries what a cycle needs, printing one line per check in
// the service log's form, "DD/MM/YYYY HH:mm:ss - OK: ...", "... - AVISO: ..."
// or "... - FALHA: <what is wrong>. <what to do>", followed by the last
// cycle's state and the last lines of "Pagvigia.log".
//
// It never sends a command to the Integrador, never writes to the database
// (every statement runs in a read-only transaction, updates are only
// prepared) and never deletes or writes the logs; the one file it writes is a
// test file in the Integrador's input folder, under a name the Integrador
// never takes, deleted at once. The password is never printed.
//
// Not thread-safe; one check at a time per process.
#pragma once
#include <ostream>
#include <string>

#include "platform/clock.h"

namespace pagvigia {

struct TStatusCheckOptions {
  // Folder of the logs, "Gestalo.ini" and "Pagvigia.ini", with its trailing
  // delimiter; the executable's folder when empty.
  std::string ExeDir;
  platform::Clock* Clock = &platform::SystemClock();
  // How long the check waits for the database server to answer the attach.
  int ConnectTimeoutSec = 10;
  // How many lines of "Pagvigia.log" are shown.
  int LogLines = 10;
};

struct TStatusCheckResult {
  // 0 when no check failed (warnings do not fail), 1 otherwise.
  int ExitCode = 0;
  int Failures = 0;
  int Warnings = 0;
  // True when the attach did not return within the time limit: a thread of
  // the client library is still waiting, so the process must end without
  // running its exit-time clean-up (std::_Exit after flushing the output).
  bool AttachAbandoned = false;
};

// Runs every check and writes the report to `out` (UTF-8).
TStatusCheckResult RunStatusCheck(const TStatusCheckOptions& options, std::ostream& out);

}  // namespace pagvigia
