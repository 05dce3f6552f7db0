#include "sim/responder.h"

namespace torvex::sim {

Responder::Responder(Controller controller, FaultPlan faults, std::uint64_t seed,
                     std::int64_t startUs)
    : controller_(std::move(controller)),
      faults_(std::move(faults)),
      startUs_(startUs),
      noise_(seed ^ 0x6E6F697365ull) {}

Responder::Reply Responder::OnFrame(const Frame& frame, std::int64_t nowUs) {
  using Kind = Controller::Outcome::Kind;
  Reply reply;
  ++stats_.received;
  // The line itself returns the frame, whatever becomes of it here.
  if (faults_.echo) reply.transmissions.push_back({nowUs, frame.bytes});
  if (!frame.crcOk) {
    ++stats_.badCrc;
    reply.verdict = "bad frame, dropped";
    return reply;
  }
  const std::int64_t tMs = (nowUs - startUs_) / 1000;
  const std::uint8_t to = frame.bytes[0];
  const std::uint8_t function = frame.bytes[1];
  if (to != controller_.Address()) {
    if (to == kBroadcastAddress) {
      ++stats_.broadcast;
      reply.eepromChanged = controller_.Handle(frame.bytes, tMs).eepromChanged;
      reply.verdict = "broadcast, not answered";
    } else {
      ++stats_.ignored;
      reply.verdict = "for another slave, ignored";
    }
    return reply;
  }

  ++stats_.byFunction[function];
  const std::uint64_t request = ++requests_;
  if (Hits(faults_.silentEvery, request)) {
    ++stats_.silenced;
    reply.verdict = "kept silent (--silent-every)";
    return reply;
  }

  Bytes answer;
  if (auto forced = faults_.exceptions.find(function); forced != faults_.exceptions.end()) {
    answer = ExceptionAnswer(controller_.Address(), function, forced->second);
    reply.verdict = "refused (--exception)";
    ++stats_.refused;
  } else {
    Controller::Outcome outcome = controller_.Handle(frame.bytes, tMs);
    answer = std::move(outcome.answer);
    reply.eepromChanged = outcome.eepromChanged;
    reply.verdict = outcome.kind == Kind::kRefused ? "refused" : "answered";
    if (outcome.kind == Kind::kRefused) ++stats_.refused;
  }
  ++stats_.answered;

  if (Hits(faults_.corruptEvery, request)) {
    answer.back() ^= 0xFF;
    reply.verdict += ", CRC spoiled";
  }
  if (Hits(faults_.noiseEvery, request)) {
    const std::size_t count = 1 + noise_() % 3;
    Bytes noisy;
    for (std::size_t k = 0; k < count; ++k) noisy.push_back(static_cast<std::uint8_t>(noise_()));
    answer.insert(answer.begin(), noisy.begin(), noisy.end());
    reply.verdict += ", noise before it";
  }
  const std::int64_t due = nowUs + std::int64_t{faults_.delayMs} * 1000;
  if (Hits(faults_.splitEvery, request)) {
    const auto half = static_cast<std::ptrdiff_t>(answer.size() / 2);
    reply.transmissions.push_back({due, Bytes(answer.begin(), answer.begin() + half)});
    reply.transmissions.push_back({due + kSplitPauseUs, Bytes(answer.begin() + half, answer.end())});
    reply.verdict += ", split";
  } else {
    reply.transmissions.push_back({due, std::move(answer)});
  }
  return reply;
}

}  // namespace torvex::sim
