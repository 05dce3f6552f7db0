#pragma once
// What the simulator saw and did, for the summary line at exit.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace torvex::sim {

struct Stats {
  std::uint64_t received = 0;   // frames on the line, good or bad
  std::uint64_t answered = 0;   // answers sent, exception answers included
  std::uint64_t refused = 0;    // exception answers
  std::uint64_t badCrc = 0;     // frames with a wrong CRC, fragments and noise
  std::uint64_t ignored = 0;    // well-formed frames for other slaves, frames in another line mode
  std::uint64_t broadcast = 0;  // frames to address 0 (writes carried out, never answered)
  std::uint64_t silenced = 0;   // requests left unanswered on purpose (--silent-every)
  // With --gateway: exceptions 10 and 11 the gateway sent for the controller.
  std::optional<std::uint64_t> gatewayAnswered;
  // With --line-timing: bytes of the master that were on the pair while an answer was.
  std::optional<std::uint64_t> talkedOver;
  std::map<int, std::uint64_t> byFunction;  // requests addressed to us, by function code
};

// One line, e.g. "torvex-sim: 120 frames received, 117 answered (1 exception), 1 bad CRC,
// 2 ignored, 0 broadcast, 0 kept silent; by function 3: 60, 6: 57"; with a gateway
// ", 3 answered by the gateway" and with line timing ", 0 bytes over an answer" before the
// functions.
std::string Summary(const Stats& stats);

}  // namespace torvex::sim
