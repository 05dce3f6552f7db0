#include "monitor/exchange_trace.h"

#include <algorithm>
#include <utility>

#include <QDateTime>

#include "monitor/exchange_log.h"

namespace torvex {

ExchangeTrace::ExchangeTrace(std::size_t capacity, WallClock clock)
    : capacity_(capacity), ring_(capacity + std::max<std::size_t>(1, capacity / 10)), clock_(std::move(clock)) {}

void ExchangeTrace::WatchFrom(std::uint64_t sequence, std::function<void()> beforeOverwrite) {
  watchedFrom_ = sequence;
  beforeOverwrite_ = std::move(beforeOverwrite);
}

void ExchangeTrace::OnFrame(const FrameEvent& event) {
  Count(event);
  if (paused_ && !log_) return;

  if (!paused_ && beforeOverwrite_ && ring_.Size() == ring_.Capacity() &&
      ring_.First() >= watchedFrom_) {
    // The handler may watch again from a later frame: take it out before calling it.
    const auto handler = std::exchange(beforeOverwrite_, nullptr);
    handler();
  }
  FrameRecord& r = paused_ ? scratch_ : ring_.Push();
  r.wallMs = clock_ ? clock_() : QDateTime::currentMSecsSinceEpoch();
  r.direction = event.direction;
  r.outcome = event.outcome;
  r.resend = event.resend;
  r.mbap = event.framing == LinkFraming::kMbap;
  r.exceptionCode = static_cast<std::int16_t>(event.exceptionCode);
  r.sinceRequestMs = static_cast<std::int32_t>(event.sinceRequest.count());
  r.expectedSize = static_cast<std::uint16_t>(std::min<std::size_t>(event.expectedSize, 0xFFFF));
  r.size = static_cast<std::uint16_t>(std::min(event.bytes.size(), FrameRecord::kMaxBytes));
  std::copy_n(event.bytes.begin(), r.size, r.bytes.begin());
  // A received frame keeps the head of the request it is told against.
  r.requestSize = 0;
  if (event.direction == FrameDirection::Rx) {
    r.requestSize = static_cast<std::uint8_t>(std::min(event.request.size(), r.request.size()));
    std::copy_n(event.request.begin(), r.requestSize, r.request.begin());
  }
  if (log_) log_->Write(r);
}

void ExchangeTrace::Count(const FrameEvent& event) {
  if (IsError(event.outcome)) ++counters_.errors;
  switch (event.outcome) {
    case FrameOutcome::Request:
      ++counters_.requests;
      if (event.resend) ++counters_.resends;
      counters_.answerWaitMs = event.answerWait.count();
      counters_.answerWaitSource = event.answerWaitSource;
      break;
    case FrameOutcome::Answered: ++counters_.answers; break;
    case FrameOutcome::Exception:
      ++counters_.answers;
      ++counters_.exceptions;
      break;
    case FrameOutcome::NoAnswer:
    case FrameOutcome::GatewayNoAnswer:  // the gateway says what silence says
    case FrameOutcome::GatewayNoPath:
      ++counters_.noAnswer;
      break;
    case FrameOutcome::BadCrc: ++counters_.badCrc; break;
    case FrameOutcome::Incomplete: ++counters_.incomplete; break;
    case FrameOutcome::Mismatch: ++counters_.mismatch; break;
    case FrameOutcome::OwnRequest: ++counters_.ownRequest; break;
    case FrameOutcome::Dropped: ++counters_.dropped; break;
    case FrameOutcome::Echo:    // expected: the request seen coming back, no exchange lost
    case FrameOutcome::NoEcho:  // a note on the adapter, not an exchange
    case FrameOutcome::AnswersTooLate:
      break;
  }
}

void ExchangeTrace::Clear() {
  ring_.Clear();
  counters_ = {};
}

}  // namespace torvex
