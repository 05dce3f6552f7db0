#pragma once
// A Modbus TCP gateway with the controller behind it on its own serial line (--gateway). It
// passes on one request at a time and answers for the controller when the controller does not:
// exception 11 once its serial timeout has passed without an answer, or exception 10 at once
// for a unit it has no path to. A master must take both for the silence they stand for.
#include <cstdint>

namespace torvex::sim {

struct GatewayPlan {
  bool on = false;
  // Other unit identifiers: exception 10 at once instead of 11 after the timeout.
  bool noPath = false;
  std::uint32_t timeoutMs = 300;  // how long it waits for the controller's answer to start
};

inline constexpr std::uint8_t kGatewayPathUnavailable = 0x0A;
inline constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

}  // namespace torvex::sim
