#include "sim/line_timing.h"

#include <algorithm>
#include <cmath>

namespace torvex::sim {
namespace {

// Spans older than this cannot overlap anything still to come.
constexpr std::int64_t kMemoryUs = 5'000'000;

bool Overlap(std::int64_t aFrom, std::int64_t aTo, std::int64_t bFrom, std::int64_t bTo) {
  return aFrom < bTo && bFrom < aTo;
}

}  // namespace

double CharacterMicros(const LineMode& mode) { return mode.CharacterBits() * 1e6 / mode.baud; }

std::vector<std::pair<std::int64_t, std::int64_t>> InboundPacer::Receive(
    std::span<const std::uint8_t> bytes, std::int64_t nowUs) {
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  double start = std::max(static_cast<double>(nowUs), lastEndUs_);
  for (std::uint8_t byte : bytes) {
    const double end = start + charUs_;
    const auto from = static_cast<std::int64_t>(std::llround(start));
    const auto to = static_cast<std::int64_t>(std::llround(end));
    pending_.push_back({to, byte});
    spans.emplace_back(from, to);
    start = end;
  }
  lastEndUs_ = std::max(lastEndUs_, start);
  return spans;
}

std::vector<InboundPacer::Arrival> InboundPacer::TakeDue(std::int64_t nowUs) {
  std::vector<Arrival> due;
  while (!pending_.empty() && pending_.front().atUs <= nowUs) {
    due.push_back(pending_.front());
    pending_.pop_front();
  }
  return due;
}

std::optional<std::int64_t> InboundPacer::NextDue() const {
  if (pending_.empty()) return std::nullopt;
  return pending_.front().atUs;
}

std::int64_t GatewayLine::Crossing(std::size_t bytes) const {
  return static_cast<std::int64_t>(std::llround(charUs_ * static_cast<double>(bytes)));
}

std::int64_t GatewayLine::Request(std::size_t bytes, std::int64_t nowUs) {
  freeUs_ = std::max(nowUs, freeUs_) + Crossing(bytes) + gapUs_;
  return freeUs_;
}

std::int64_t GatewayLine::Answer(std::size_t bytes, std::int64_t startUs) {
  const std::int64_t endUs = std::max(startUs, freeUs_) + Crossing(bytes);
  freeUs_ = endUs + gapUs_;
  return endUs;
}

void HalfDuplexPair::Answer(std::int64_t fromUs, std::int64_t toUs) {
  Forget(fromUs);
  for (Span& c : master_) {
    if (!c.counted && Overlap(c.fromUs, c.toUs, fromUs, toUs)) {
      c.counted = true;
      ++talkedOver_;
    }
  }
  answers_.push_back({fromUs, toUs});
}

void HalfDuplexPair::MasterCharacter(std::int64_t fromUs, std::int64_t toUs) {
  Forget(fromUs);
  Span c{fromUs, toUs};
  for (const Span& a : answers_) {
    if (Overlap(fromUs, toUs, a.fromUs, a.toUs)) {
      c.counted = true;
      ++talkedOver_;
      break;
    }
  }
  master_.push_back(c);
}

void HalfDuplexPair::Forget(std::int64_t nowUs) {
  while (!answers_.empty() && answers_.front().toUs < nowUs - kMemoryUs) answers_.pop_front();
  while (!master_.empty() && master_.front().toUs < nowUs - kMemoryUs) master_.pop_front();
}

}  // namespace torvex::sim
