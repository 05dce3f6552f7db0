#pragma once
// Line faults the simulator can play, so the tool's error handling can be seen and tested.
// Requests addressed to the controller are counted from 1; a fault "every N" hits requests
// N, 2N, 3N, ...
#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace torvex::sim {

struct FaultPlan {
  std::uint32_t silentEvery = 0;   // no answer (the request is not carried out); 0: never
  std::uint32_t corruptEvery = 0;  // the answer's CRC is spoiled
  std::uint32_t splitEvery = 0;    // the answer goes out in two parts, kSplitPauseUs apart
  std::uint32_t noiseEvery = 0;    // stray bytes go out just before the answer
  std::uint32_t delayMs = 0;       // every answer waits this long after its request
  // Modbus TCP: the answer carries a transaction identifier that is not its request's.
  std::uint32_t wrongTransactionEvery = 0;
  // Every frame heard goes straight back, before any answer, as a 2-wire RS-485 adapter returns
  // what its own side sends.
  bool echo = false;
  std::map<std::uint8_t, std::uint8_t> exceptions;  // function -> exception code it always gets
};

// Faults of the unit itself, which a checkout on the loop-back bench must find. Inputs and
// outputs are numbered from 0 here, as in the registers.
struct UnitFaults {
  std::uint32_t stuckInputs = 0;  // bit k: discrete input k never reads on
  // Pairs of discrete inputs joined together: each reads on when either sees voltage.
  std::vector<std::pair<std::uint8_t, std::uint8_t>> shortedInputs;
  // Per analog output 0-7: how far off, in percent, the current or voltage it delivers is.
  std::array<double, 8> analogErrorPercent{};
};

// Longer than the tool's 100 ms tick, so the two parts land in different ticks.
inline constexpr std::int64_t kSplitPauseUs = 150'000;

constexpr bool Hits(std::uint32_t every, std::uint64_t request) {
  return every != 0 && request % every == 0;
}

}  // namespace torvex::sim
