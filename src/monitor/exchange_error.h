#pragma once
// What the exchange monitor calls an error: a frame that ends an exchange that failed. Each
// failed exchange has exactly one such frame; the counters count these as errors, the table
// paints them red and "Только ошибки" keeps them.
#include "engine/exchange_observer.h"

namespace torvex {

constexpr bool IsError(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::NoAnswer:
    case FrameOutcome::BadCrc:
    case FrameOutcome::Incomplete:
    case FrameOutcome::Mismatch:
    case FrameOutcome::OwnRequest:
    case FrameOutcome::GatewayNoAnswer:
    case FrameOutcome::GatewayNoPath:
      return true;
    case FrameOutcome::Request:
    case FrameOutcome::Answered:
    case FrameOutcome::Dropped:    // bytes dropped while the exchange went on
    case FrameOutcome::Echo:       // the request seen coming back, as expected
    case FrameOutcome::Exception:  // a refusal: the controller answered
    case FrameOutcome::NoEcho:     // a note on the adapter, not an exchange
    case FrameOutcome::AnswersTooLate:  // a note on the wait, not an exchange
      return false;
  }
  return false;
}

}  // namespace torvex
