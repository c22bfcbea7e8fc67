// Writes the systemd unit of the service as `pagvigia -install` would write
// it for an executable at the given path, with the built-in settings, and
// started again after a failure: the Debian package's unit, made when the
// package is built.
//
//   pagvigia-systemd-unit <executable's path> <unit file to write>
#include <exception>
#include <iostream>

#include "platform/files.h"
#include "platform/service_host.h"
#include "service/srv_pagvigia.h"

int main(int argc, char** argv) {
  using namespace pagvigia;
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " <executable's path> <unit file to write>" << std::endl;
    return 2;
  }
  try {
    // The package's service comes back by itself after a failure (a crash,
    // the client library ending the process), after a pause that keeps a
    // failure at start-up from turning into a loop.
    constexpr int kRestartSec = 30;
    const platform::ServiceDefinition definition{TSrvPagvigia::kName, TSrvPagvigia::kDisplayName, {},
                                                 TSrvPagvigia::StopTimeoutSec(TServiceSettings{}), kRestartSec};
    platform::WriteFileBytes(argv[2], platform::SystemdUnitText(definition, argv[1]));
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return 0;
}
