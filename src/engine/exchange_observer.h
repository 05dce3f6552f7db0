#pragma once
// What the exchange engine tells an observer about every frame on the line: each request as it
// leaves, each received frame with the outcome of its exchange, and an exchange that ended with
// nothing received. Observers (the exchange monitor, the exchange log) get values, never widgets;
// with no observer attached the engine pays one null test per frame.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/byte_link.h"

namespace torvex {

enum class FrameDirection { Tx, Rx };

// Where the wait for an answer came from: the line's time (and the network's), what late
// answers taught it, or the user's setting.
enum class AnswerWaitSource { kAutomatic, kLearned, kSet };

// How a frame ended its part of the exchange. NoAnswer, BadCrc, Incomplete, Mismatch,
// OwnRequest and the gateway's two each end an exchange that failed, one frame per failed
// exchange; the others do not.
enum class FrameOutcome {
  Request,     // a request leaving (Tx)
  Answered,    // the valid answer of the request in flight
  NoAnswer,    // the exchange ended with no frame (bytes empty, or fewer than 3 bytes)
  BadCrc,      // checksum mismatch
  Incomplete,  // the start of the answer, and nothing more within the deadline
  Mismatch,    // the exchange ended with only frames that answer something else
  Dropped,     // bytes dropped while the exchange went on: noise, a stale frame, a late tail
  Echo,        // the request's own bytes, returned by an adapter set up as echoing: not an error
  OwnRequest,  // the request's own bytes in place of an answer, the echo setting being off
  Exception,   // the controller's exception answer to the request in flight
  NoEcho,      // no bytes: the echo setting is on, yet several answers came without an echo
  // A gateway's exception answer in place of the controller's: 11, the controller did not
  // answer it; 10, it has no path to the unit. The exchange failed as if nothing had come.
  GatewayNoAnswer,
  GatewayNoPath,
  // No bytes: answers keep coming later than the wait may grow; `sinceRequest` says how late.
  AnswersTooLate,
};

struct FrameEvent {
  FrameDirection direction = FrameDirection::Tx;
  FrameOutcome outcome = FrameOutcome::Request;
  // The frame's bytes, valid only during the call.
  std::span<const std::uint8_t> bytes;
  // When the request left (Tx) or when the exchange was judged (Rx), on the engine's clock.
  std::chrono::steady_clock::time_point at;
  // Rx: the last request sent, as it went on the line (empty before the first); what an
  // answer is told against.
  std::span<const std::uint8_t> request;
  // Rx: time since the request in flight left; negative when there was none. AnswersTooLate:
  // how long after their requests answers come.
  std::chrono::milliseconds sinceRequest{-1};
  // Tx: the same request sent again after a failed exchange.
  bool resend = false;
  // Exception: the controller's exception code.
  int exceptionCode = 0;
  // Incomplete: the length the whole answer would have had.
  std::size_t expectedSize = 0;
  // Tx: how long its answer is waited for, and why that long.
  std::chrono::milliseconds answerWait{0};
  AnswerWaitSource answerWaitSource = AnswerWaitSource::kAutomatic;
  // How the frames of the exchange are framed: RTU, or Modbus TCP with its header.
  LinkFraming framing = LinkFraming::kRtuLine;
};

class ExchangeObserver {
 public:
  virtual ~ExchangeObserver() = default;
  virtual void OnFrame(const FrameEvent& event) = 0;
};

}  // namespace torvex
