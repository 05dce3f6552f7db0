#pragma once
// What the line has carried since the counters were last cleared.
#include <cstdint>

namespace torvex {

struct ExchangeCounters {
  std::uint64_t requests = 0;  // requests sent, resends included
  std::uint64_t resends = 0;
  std::uint64_t answers = 0;     // valid answers, exception answers included
  std::uint64_t exceptions = 0;  // the controller refused the request
  std::uint64_t noAnswer = 0;
  std::uint64_t badCrc = 0;
  std::uint64_t mismatch = 0;  // a frame that did not answer the request in flight
  std::uint64_t dropped = 0;   // stray bytes

  // Exchanges that failed on the line.
  std::uint64_t Errors() const { return noAnswer + badCrc + mismatch + dropped; }
};

}  // namespace torvex
