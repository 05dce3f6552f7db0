#include "sim/responder.h"

namespace torvex::sim {

Responder::Responder(Controller controller, FaultPlan faults, std::uint64_t seed,
                     std::int64_t start_us)
    : controller_(std::move(controller)),
      faults_(std::move(faults)),
      start_us_(start_us),
      noise_(seed ^ 0x6E6F697365ull) {}

Responder::Reply Responder::OnFrame(const Frame& frame, std::int64_t now_us) {
  using Kind = Controller::Outcome::Kind;
  Reply reply;
  ++stats_.received;
  // The line itself returns the frame, whatever becomes of it here.
  if (faults_.echo) reply.transmissions.push_back({now_us, frame.bytes});
  if (!frame.crc_ok) {
    ++stats_.bad_crc;
    reply.verdict = "bad frame, dropped";
    return reply;
  }
  const std::int64_t t_ms = (now_us - start_us_) / 1000;
  const std::uint8_t to = frame.bytes[0];
  const std::uint8_t function = frame.bytes[1];
  if (to != controller_.address()) {
    if (to == kBroadcastAddress) {
      ++stats_.broadcast;
      reply.eeprom_changed = controller_.Handle(frame.bytes, t_ms).eeprom_changed;
      reply.verdict = "broadcast, not answered";
    } else {
      ++stats_.ignored;
      reply.verdict = "for another slave, ignored";
    }
    return reply;
  }

  ++stats_.by_function[function];
  const std::uint64_t request = ++requests_;
  if (Hits(faults_.silent_every, request)) {
    ++stats_.silenced;
    reply.verdict = "kept silent (--silent-every)";
    return reply;
  }

  Bytes answer;
  if (auto forced = faults_.exceptions.find(function); forced != faults_.exceptions.end()) {
    answer = ExceptionAnswer(controller_.address(), function, forced->second);
    reply.verdict = "refused (--exception)";
    ++stats_.refused;
  } else {
    Controller::Outcome outcome = controller_.Handle(frame.bytes, t_ms);
    answer = std::move(outcome.answer);
    reply.eeprom_changed = outcome.eeprom_changed;
    reply.verdict = outcome.kind == Kind::kRefused ? "refused" : "answered";
    if (outcome.kind == Kind::kRefused) ++stats_.refused;
  }
  ++stats_.answered;

  if (Hits(faults_.corrupt_every, request)) {
    answer.back() ^= 0xFF;
    reply.verdict += ", CRC spoiled";
  }
  if (Hits(faults_.noise_every, request)) {
    const std::size_t count = 1 + noise_() % 3;
    Bytes noisy;
    for (std::size_t k = 0; k < count; ++k) noisy.push_back(static_cast<std::uint8_t>(noise_()));
    answer.insert(answer.begin(), noisy.begin(), noisy.end());
    reply.verdict += ", noise before it";
  }
  const std::int64_t due = now_us + std::int64_t{faults_.delay_ms} * 1000;
  if (Hits(faults_.split_every, request)) {
    const auto half = static_cast<std::ptrdiff_t>(answer.size() / 2);
    reply.transmissions.push_back({due, Bytes(answer.begin(), answer.begin() + half)});
    reply.transmissions.push_back({due + kSplitPause_us, Bytes(answer.begin() + half, answer.end())});
    reply.verdict += ", split";
  } else {
    reply.transmissions.push_back({due, std::move(answer)});
  }
  return reply;
}

}  // namespace torvex::sim
