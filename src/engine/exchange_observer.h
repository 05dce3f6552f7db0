#pragma once
// What the exchange engine tells an observer about every frame on the line: each request as it
// leaves, each received frame with the outcome of its exchange, and an exchange that ended with
// nothing received. Observers (the exchange monitor, the exchange log) get values, never widgets;
// with no observer attached the engine pays one null test per frame.
#include <chrono>
#include <cstdint>
#include <span>

namespace torvex {

enum class FrameDirection { Tx, Rx };

// How a frame ended its part of the exchange.
enum class FrameOutcome {
  Request,    // a request leaving (Tx)
  Answered,   // the valid answer of the request in flight
  NoAnswer,   // the exchange ended with no frame (bytes empty, or fewer than 3 bytes)
  BadCrc,     // checksum mismatch
  Mismatch,   // a well-formed frame that is not the answer of the request in flight
  Dropped,    // stray bytes dropped (noise, the late tail of a failed answer)
  Echo,        // the request's own bytes, returned by an adapter set up as echoing: not an error
  OwnRequest,  // the request's own bytes in place of an answer, the echo setting being off
  Exception,  // the controller's exception answer to the request in flight
};

struct FrameEvent {
  FrameDirection direction = FrameDirection::Tx;
  FrameOutcome outcome = FrameOutcome::Request;
  // The frame's bytes, valid only during the call.
  std::span<const std::uint8_t> bytes;
  // When the request left (Tx) or when the exchange was judged (Rx), on the engine's clock.
  std::chrono::steady_clock::time_point at;
  // Rx: time since the request in flight left; negative when there was none.
  std::chrono::milliseconds sinceRequest{-1};
  // Tx: the same request sent again after a failed exchange.
  bool resend = false;
  // Exception: the controller's exception code.
  int exceptionCode = 0;
};

class ExchangeObserver {
 public:
  virtual ~ExchangeObserver() = default;
  virtual void OnFrame(const FrameEvent& event) = 0;
};

}  // namespace torvex
