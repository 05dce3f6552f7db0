#pragma once
// What the line has carried since the counters were last cleared.
#include <cstdint>

#include "engine/exchange_observer.h"

namespace torvex {

struct ExchangeCounters {
  std::uint64_t requests = 0;  // requests sent, resends included
  std::uint64_t resends = 0;
  std::uint64_t answers = 0;     // valid answers, exception answers included
  std::uint64_t exceptions = 0;  // the controller refused the request
  // Exchanges that failed (IsError), as many as the monitor has red rows; then by how.
  std::uint64_t errors = 0;
  std::uint64_t noAnswer = 0;
  std::uint64_t badCrc = 0;
  std::uint64_t incomplete = 0;  // the answer came cut short
  std::uint64_t mismatch = 0;    // only frames that answer something else came
  std::uint64_t ownRequest = 0;  // the request came back, the echo setting being off
  // Runs of bytes and stale frames dropped while exchanges went on: not failures by
  // themselves.
  std::uint64_t dropped = 0;
  // The wait for the answer of the last request sent.
  std::int64_t answerWaitMs = 0;
  AnswerWaitSource answerWaitSource = AnswerWaitSource::kAutomatic;

  friend bool operator==(const ExchangeCounters&, const ExchangeCounters&) = default;
};

}  // namespace torvex
