#include "sim/line_timing.h"

#include <algorithm>
#include <cmath>

namespace torvex::sim {
namespace {

// Spans older than this cannot overlap anything still to come.
constexpr std::int64_t kMemory_us = 5'000'000;

bool Overlap(std::int64_t a_from, std::int64_t a_to, std::int64_t b_from, std::int64_t b_to) {
  return a_from < b_to && b_from < a_to;
}

}  // namespace

double CharacterMicros(const LineMode& mode) { return mode.CharacterBits() * 1e6 / mode.baud; }

std::vector<std::pair<std::int64_t, std::int64_t>> InboundPacer::Receive(
    std::span<const std::uint8_t> bytes, std::int64_t now_us) {
  std::vector<std::pair<std::int64_t, std::int64_t>> spans;
  double start = std::max(static_cast<double>(now_us), last_end_us_);
  for (std::uint8_t byte : bytes) {
    const double end = start + char_us_;
    const auto from = static_cast<std::int64_t>(std::llround(start));
    const auto to = static_cast<std::int64_t>(std::llround(end));
    pending_.push_back({to, byte});
    spans.emplace_back(from, to);
    start = end;
  }
  last_end_us_ = std::max(last_end_us_, start);
  return spans;
}

std::vector<InboundPacer::Arrival> InboundPacer::TakeDue(std::int64_t now_us) {
  std::vector<Arrival> due;
  while (!pending_.empty() && pending_.front().at_us <= now_us) {
    due.push_back(pending_.front());
    pending_.pop_front();
  }
  return due;
}

std::optional<std::int64_t> InboundPacer::NextDue() const {
  if (pending_.empty()) return std::nullopt;
  return pending_.front().at_us;
}

void HalfDuplexPair::Answer(std::int64_t from_us, std::int64_t to_us) {
  Forget(from_us);
  for (Span& c : master_) {
    if (!c.counted && Overlap(c.from_us, c.to_us, from_us, to_us)) {
      c.counted = true;
      ++talked_over_;
    }
  }
  answers_.push_back({from_us, to_us});
}

void HalfDuplexPair::MasterCharacter(std::int64_t from_us, std::int64_t to_us) {
  Forget(from_us);
  Span c{from_us, to_us};
  for (const Span& a : answers_) {
    if (Overlap(from_us, to_us, a.from_us, a.to_us)) {
      c.counted = true;
      ++talked_over_;
      break;
    }
  }
  master_.push_back(c);
}

void HalfDuplexPair::Forget(std::int64_t now_us) {
  while (!answers_.empty() && answers_.front().to_us < now_us - kMemory_us) answers_.pop_front();
  while (!master_.empty() && master_.front().to_us < now_us - kMemory_us) master_.pop_front();
}

}  // namespace torvex::sim
