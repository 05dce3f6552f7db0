#include "sim/mbap_conversation.h"

#include "sim/text.h"

namespace torvex::sim {
namespace {

// How far ahead the line behind the gateway may be booked before no more requests are read.
constexpr std::int64_t kLineBacklogUs = 2'000'000;

}  // namespace

MbapConversation::MbapConversation(Responder& responder, Observer& observer, double lineCharUs,
                                   std::int64_t lineGapUs, GatewayPlan gateway)
    : Conversation(responder, observer, 0, nullptr),
      lineTiming_(lineCharUs > 0),
      gateway_(gateway),
      line_(lineCharUs, lineGapUs) {}

std::optional<std::string> MbapConversation::Receive(std::span<const std::uint8_t> bytes,
                                                     std::int64_t nowUs) {
  MbapFramer::Result result = framer_.Feed(bytes);
  for (const MbapRequest& request : result.requests) Handle(request, nowUs);
  if (result.lostStep) observer_.Trace("<-", bytes, nowUs, "lost step: " + *result.lostStep);
  return result.lostStep;
}

bool MbapConversation::WantsInput(std::int64_t nowUs) const {
  return !(lineTiming_ || gateway_.on) || line_.FreeUs() - nowUs < kLineBacklogUs;
}

void MbapConversation::Handle(const MbapRequest& request, std::int64_t nowUs) {
  const Frame frame = RtuFrame(request);
  const std::uint8_t function = frame.bytes[1];
  const bool broadcast = request.unit == kBroadcastAddress;
  const bool elsewhere = !broadcast && request.unit != responder_.GetController().Address();

  if (gateway_.on && gateway_.noPath && elsewhere) {
    // The gateway knows no such unit and puts nothing on its line.
    Decision decision;
    decision.answer = ExceptionAnswer(request.unit, function, kGatewayPathUnavailable);
    decision.dueUs = nowUs;
    decision.verdict = "no path to unit " + Dec(request.unit) + ": the gateway answers exception 10";
    responder_.GatewayAnswered();
    std::vector<Transmission> runs = answers_.For(request, decision, nowUs, nowUs);
    Answer(request.adu, nowUs, decision, std::move(runs));
    return;
  }

  // A gateway passes on one exchange at a time, as does the line behind it.
  const bool queued = lineTiming_ || gateway_.on;
  const std::int64_t heardUs = queued ? line_.Request(frame.bytes.size(), nowUs) : nowUs;
  Decision decision = responder_.Decide(frame, heardUs);
  std::int64_t dueUs = decision.dueUs;
  const std::int64_t giveUpUs = heardUs + std::int64_t{gateway_.timeoutMs} * 1000;
  if (gateway_.on && !broadcast && (decision.answer.empty() || decision.dueUs > giveUpUs)) {
    // Nothing came within the gateway's serial timeout; a late answer is dropped by it.
    decision.answer = ExceptionAnswer(request.unit, function, kGatewayTargetFailed);
    decision.corrupt = decision.split = decision.wrongTransaction = false;
    decision.noise.clear();
    decision.verdict += "; the gateway answers exception 11 after its " + Dec(gateway_.timeoutMs) + " ms";
    responder_.GatewayAnswered();
    line_.Hold(giveUpUs);
    dueUs = giveUpUs;
  } else if (queued && !decision.answer.empty()) {
    dueUs = line_.Answer(decision.answer.size(), decision.dueUs);
  }
  std::vector<Transmission> runs = answers_.For(request, decision, nowUs, dueUs);
  Answer(request.adu, nowUs, decision, std::move(runs));
}

}  // namespace torvex::sim
