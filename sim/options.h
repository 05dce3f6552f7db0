#pragma once
// The command line of torvex-sim.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/faults.h"
#include "sim/line_mode.h"

namespace torvex::sim {

struct Options {
  std::string link;    // symbolic link to the pseudo-terminal; empty: none
  std::string device;  // an existing serial device instead of a pseudo-terminal
  LineMode mode;
  std::optional<std::uint8_t> address;  // empty: the address stored in the EEPROM
  std::string eeprom;                   // file that keeps the EEPROM; empty: memory only
  std::optional<std::uint64_t> seed;    // empty: a fresh one, printed at start
  bool frozen = false;
  bool trace = false;
  // Bytes pass at the character time of `mode`, on a half-duplex pair (sim/line_timing.h).
  bool lineTiming = false;
  FaultPlan faults;
};

struct ParsedOptions {
  std::optional<Options> options;  // empty on --help or an error
  bool help = false;
  std::string error;
};

// `args` without the program name.
ParsedOptions ParseOptions(std::span<const std::string_view> args);

std::string HelpText();

}  // namespace torvex::sim
