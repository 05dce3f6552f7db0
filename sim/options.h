#pragma once
// The command line of torvex-sim.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/faults.h"
#include "sim/gateway.h"
#include "sim/line_mode.h"

namespace torvex::sim {

// Where --listen serves: a host (a name or an address; empty: every IPv4 address, as a device
// server listens) and a port (0: a free one, chosen at start).
struct ListenAddress {
  std::string host;
  std::uint16_t port = 0;
  friend bool operator==(const ListenAddress&, const ListenAddress&) = default;
};

struct Options {
  std::string link;    // symbolic link to the pseudo-terminal; empty: none
  std::string device;  // an existing serial device instead of a pseudo-terminal
  // A TCP server instead of a line: the serial bytes on a connection (RTU over TCP), or
  // Modbus TCP frames with `modbusTcp`.
  std::optional<ListenAddress> listen;
  bool modbusTcp = false;
  GatewayPlan gateway;  // with modbusTcp: a gateway with the controller on its serial line
  // Each answer sent closes its connection, as some device servers and gateways do.
  bool closeAfterAnswer = false;
  LineMode mode;
  std::optional<std::uint8_t> address;  // empty: the address stored in the EEPROM
  std::string eeprom;                   // file that keeps the EEPROM; empty: memory only
  std::optional<std::uint64_t> seed;    // empty: a fresh one, printed at start
  bool frozen = false;
  bool trace = false;
  // Bytes pass at the character time of `mode`, on a half-duplex pair (sim/line_timing.h).
  bool lineTiming = false;
  // Answer only a master whose line mode is `mode` (checked on a pseudo-terminal).
  bool strictMode = false;
  FaultPlan faults;
  UnitFaults unitFaults;  // a unit that fails its checkout on the loop-back bench
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
