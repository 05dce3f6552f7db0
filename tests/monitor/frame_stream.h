#pragma once
// A stream of frame events with every outcome, fed to an exchange trace whose clock moves
// 10 ms per frame: the trace's and the exchange log's tests read the same stream.
#include <chrono>
#include <cstdint>
#include <vector>

#include "monitor/exchange_trace.h"

namespace torvex::test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kStartMs = 1796997787125;  // a moment of 2026, to the millisecond

struct Event {
  FrameDirection direction;
  FrameOutcome outcome;
  Bytes bytes;
  int sinceMs = -1;
  bool resend = false;
  int exceptionCode = 0;
  std::size_t expectedSize = 0;
};

// Feeds events to a trace whose clock moves 10 ms per frame.
class Stream {
 public:
  explicit Stream(std::size_t capacity = FrameRing::kDefaultCapacity)
      : trace(capacity, [this] { return kStartMs + 10 * frames_; }) {}
  void Feed(const std::vector<Event>& events) {
    for (const Event& e : events) {
      FrameEvent event;
      event.direction = e.direction;
      event.outcome = e.outcome;
      event.bytes = e.bytes;
      event.sinceRequest = std::chrono::milliseconds(e.sinceMs);
      event.resend = e.resend;
      event.exceptionCode = e.exceptionCode;
      event.expectedSize = e.expectedSize;
      // As the engine does: a received frame comes with the last request sent.
      if (e.direction == FrameDirection::Tx) request_ = e.bytes;
      event.request = request_;
      trace.OnFrame(event);
      ++frames_;
    }
  }
  ExchangeTrace trace;

 private:
  std::int64_t frames_ = 0;
  Bytes request_;
};

constexpr auto Tx = FrameDirection::Tx;
constexpr auto Rx = FrameDirection::Rx;

const Bytes kStatusRead{0x07, 0x03, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
const Bytes kCode1{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0xCA, 0x6D};
const Bytes kCode2{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x02, 0x8A, 0x6C};
const Bytes kCode1Swapped{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0x6D, 0xCA};
const Bytes kRefused{0x07, 0x86, 0x02, 0x43, 0x2E};

// A stream with every outcome. Five exchanges fail (no answer, bad CRC, cut short, only another
// request's answer, the request itself back); the noise and the stale frame in front of the
// refusal are dropped, not failures.
const std::vector<Event> kEvents{
    {Tx, FrameOutcome::Request, kCode1},
    {Rx, FrameOutcome::NoAnswer, {}, 100},
    {Tx, FrameOutcome::Request, kCode1, -1, true},
    {Rx, FrameOutcome::BadCrc, kCode1Swapped, 100},
    {Tx, FrameOutcome::Request, kCode1, -1, true},
    {Rx, FrameOutcome::Incomplete, {0x07, 0x06, 0x0B, 0xB8}, 100, false, 0, 8},
    {Tx, FrameOutcome::Request, kCode1, -1, true},
    {Rx, FrameOutcome::Dropped, {0x55}, 3},
    {Rx, FrameOutcome::Dropped, kCode2, 12},
    {Rx, FrameOutcome::Exception, kRefused, 14, false, 2},
    {Rx, FrameOutcome::NoEcho, {}, 14},
    {Tx, FrameOutcome::Request, kStatusRead},
    {Rx, FrameOutcome::Mismatch, kCode1, 100},
    {Tx, FrameOutcome::Request, kStatusRead, -1, true},
    {Rx, FrameOutcome::OwnRequest, kStatusRead, 100},
    {Tx, FrameOutcome::Request, kStatusRead, -1, true},
    {Rx, FrameOutcome::Answered, kCode1, 9},
};

}  // namespace torvex::test
