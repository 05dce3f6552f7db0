// torvex-sim: a simulated TORVEX-CPU controller on a serial line.
#include <iostream>
#include <string_view>
#include <vector>

#include "sim/options.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
  using namespace torvex::sim;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseOptions(args);
  if (parsed.help) {
    std::cout << HelpText();
    return 0;
  }
  if (!parsed.options) {
    std::cerr << "torvex-sim: " << parsed.error << "\nTry 'torvex-sim --help'.\n";
    return 2;
  }
  return RunSimulator(*parsed.options, std::cout, std::cerr);
}
