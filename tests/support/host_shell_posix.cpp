// The Linux build: /bin/sh runs the script from a file, as a child process.
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/host_shell.h"

namespace pagvigia::testing {

int RunHostShell(const std::string& script, std::string& out) {
  out.clear();
  char name[] = "/tmp/pagvigia-sh-XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) throw std::runtime_error("host shell: cannot create a script file");
  std::size_t done = 0;
  while (done < script.size()) {
    const ssize_t n = ::write(fd, script.data() + done, script.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (done != script.size()) {
    ::unlink(name);
    throw std::runtime_error("host shell: cannot write the script file");
  }
  const std::string output = std::string(name) + ".out";
  int code;
  try {
    code = RunProgram("/bin/sh", {name}, output, out);
  } catch (const std::runtime_error&) {
    ::unlink(name);
    throw std::runtime_error("host shell: cannot start /bin/sh");
  }
  ::unlink(name);
  ::unlink(output.c_str());
  return code >= 0 ? code : 128 - code;
}

std::string HostPathForProgram(const std::string& linuxPath) { return linuxPath; }

}  // namespace pagvigia::testing
