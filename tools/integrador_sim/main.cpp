// integrador-sim: plays the Integrador for tests, benchmarks and the demo.
#include <csignal>
#include <iostream>

#include "platform/files.h"
#include "tools/integrador_sim/settings.h"
#include "tools/integrador_sim/simulator.h"

namespace {
volatile std::sig_atomic_t gStop = 0;
extern "C" void OnSignal(int) { gStop = 1; }
}  // namespace

int main(int argc, char** argv) {
  using namespace pagvigia;
  try {
    const auto settings = sim::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!settings) {
      std::cout << sim::UsageText();
      return 0;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    sim::Simulator simulator(*settings);
    if (!settings->readyFile.empty()) platform::WriteFileBytes(settings->readyFile, "ready\n");
    return simulator.Run(gStop);
  } catch (const sim::UsageError& e) {
    std::cerr << "integrador-sim: " << e.what() << "\n(--help lists the options)\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "integrador-sim: " << e.what() << '\n';
    return 1;
  }
}
