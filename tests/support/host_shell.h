// The shell of the Linux machine that runs the tests, for the tools the test
// fixtures need there (isql-fb, gfix, mktemp, rm).
//
// The Linux build runs the script with /bin/sh directly. The Windows build's
// test programs run under Wine on that same machine: Wine starts a Linux
// program when asked to, but neither waits for it nor reports its exit
// status, so the script's output and status come back through files in /tmp
// (reached as Z:\tmp), which the caller polls for.
#pragma once
#include <string>

namespace pagvigia::testing {

// Runs `script` with /bin/sh (standard input empty) and waits for it to end.
// Returns its exit status (127 when a command was not found) and puts its
// standard output and error, interleaved, in `out`. Throws
// std::runtime_error when the shell cannot be started or does not end within
// ten minutes.
int RunHostShell(const std::string& script, std::string& out);

// A path of the Linux machine as the test program opens it: unchanged in the
// Linux build, "Z:\..." in the Windows build under Wine.
std::string HostPathForProgram(const std::string& linuxPath);

}  // namespace pagvigia::testing
