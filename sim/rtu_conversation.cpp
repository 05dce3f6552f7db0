#include "sim/rtu_conversation.h"

#include "sim/rtu_answers.h"

namespace torvex::sim {
namespace {

// Bytes a timed line holds on their way before it reads more: seconds at the usual speeds.
constexpr std::size_t kInboundBacklog = 4096;

}  // namespace

RtuConversation::RtuConversation(Responder& responder, Observer& observer, const LineMode& mode,
                                 bool lineTiming, RtuFramer::Carrier carrier, HalfDuplexPair* pair,
                                 const LineCheck* check)
    : Conversation(responder, observer, lineTiming ? CharacterMicros(mode) : 0, pair),
      lineTiming_(lineTiming),
      gapUs_(FrameGapMicros(mode)),
      framer_(gapUs_, carrier),
      inbound_(lineTiming ? CharacterMicros(mode) : 0),
      check_(check) {}

std::optional<std::string> RtuConversation::Receive(std::span<const std::uint8_t> bytes,
                                                    std::int64_t nowUs) {
  if (lineTiming_) {
    for (const auto& [from, to] : inbound_.Receive(bytes, nowUs)) {
      if (pair_) pair_->MasterCharacter(from, to);
    }
  } else {
    Handle(framer_.Feed(bytes, nowUs), nowUs);
  }
  return std::nullopt;
}

void RtuConversation::Advance(std::int64_t nowUs) {
  // On a timed line each byte reaches the framer when its character has passed.
  for (const InboundPacer::Arrival& a : inbound_.TakeDue(nowUs)) {
    Handle(framer_.Feed(std::span(&a.byte, 1), a.atUs), a.atUs);
  }
  Handle(framer_.Expire(nowUs), nowUs);
}

std::optional<std::int64_t> RtuConversation::Deadline() const {
  const auto framer = framer_.Deadline();
  const auto inbound = inbound_.NextDue();
  if (framer && inbound) return std::min(*framer, *inbound);
  return framer ? framer : inbound;
}

bool RtuConversation::WantsInput(std::int64_t) const { return inbound_.Backlog() < kInboundBacklog; }

void RtuConversation::Handle(const std::vector<Frame>& frames, std::int64_t nowUs) {
  for (const Frame& frame : frames) {
    std::optional<std::string> misheard = check_ ? check_->Mismatch() : std::nullopt;
    Decision decision = misheard ? responder_.Unheard(std::move(*misheard)) : responder_.Decide(frame, nowUs);
    // On a real line the request is over once the line has been silent for a frame gap.
    const std::int64_t heardUs = lineTiming_ ? nowUs + gapUs_ : nowUs;
    if (lineTiming_) decision.dueUs += gapUs_;
    std::vector<Transmission> runs = RtuTransmissions(frame, decision, nowUs);  // an echo at once
    Answer(frame.bytes, heardUs, decision, std::move(runs));
  }
}

}  // namespace torvex::sim
