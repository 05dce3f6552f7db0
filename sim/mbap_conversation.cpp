#include "sim/mbap_conversation.h"

namespace torvex::sim {
namespace {

// How far ahead the line behind the gateway may be booked before no more requests are read.
constexpr std::int64_t kLineBacklogUs = 2'000'000;

}  // namespace

MbapConversation::MbapConversation(Responder& responder, Observer& observer, double lineCharUs,
                                   std::int64_t lineGapUs)
    : Conversation(responder, observer, 0, nullptr), lineTiming_(lineCharUs > 0), line_(lineCharUs, lineGapUs) {}

std::optional<std::string> MbapConversation::Receive(std::span<const std::uint8_t> bytes,
                                                     std::int64_t nowUs) {
  MbapFramer::Result result = framer_.Feed(bytes);
  for (const MbapRequest& request : result.requests) Handle(request, nowUs);
  if (result.lostStep) observer_.Trace("<-", bytes, nowUs, "lost step: " + *result.lostStep);
  return result.lostStep;
}

bool MbapConversation::WantsInput(std::int64_t nowUs) const {
  return !lineTiming_ || line_.FreeUs() - nowUs < kLineBacklogUs;
}

void MbapConversation::Handle(const MbapRequest& request, std::int64_t nowUs) {
  const Frame frame = RtuFrame(request);
  const std::int64_t heardUs = lineTiming_ ? line_.Request(frame.bytes.size(), nowUs) : nowUs;
  Decision decision = responder_.Decide(frame, heardUs);
  std::int64_t dueUs = decision.dueUs;
  if (lineTiming_ && !decision.answer.empty()) dueUs = line_.Answer(decision.answer.size(), decision.dueUs);
  std::vector<Transmission> runs = answers_.For(request, decision, nowUs, dueUs);
  Answer(request.adu, nowUs, decision, std::move(runs));
}

}  // namespace torvex::sim
