// The Linux build: the script goes to /bin/sh through a pipe.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

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
  const std::string cmd = std::string("/bin/sh ") + name + " 2>&1 </dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) {
    ::unlink(name);
    throw std::runtime_error("host shell: cannot start /bin/sh");
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = ::pclose(p);
  ::unlink(name);
  if (st == -1) throw std::runtime_error("host shell: lost the shell");
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
}

std::string HostPathForProgram(const std::string& linuxPath) { return linuxPath; }

}  // namespace pagvigia::testing
