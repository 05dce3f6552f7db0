#include "sim/responder.h"

namespace torvex::sim {

Responder::Responder(Controller controller, FaultPlan faults, std::uint64_t seed,
                     std::int64_t startUs)
    : controller_(std::move(controller)),
      faults_(std::move(faults)),
      startUs_(startUs),
      noise_(seed ^ 0x6E6F697365ull) {}

Decision Responder::Unheard(std::string why) {
  Decision d;
  ++stats_.received;
  ++stats_.ignored;
  d.echo = faults_.echo;  // the master's own adapter returns it in the master's mode
  d.verdict = std::move(why);
  return d;
}

Decision Responder::Decide(const Frame& frame, std::int64_t nowUs) {
  using Kind = Controller::Outcome::Kind;
  Decision d;
  ++stats_.received;
  // The line itself returns the frame, whatever becomes of it here.
  d.echo = faults_.echo;
  if (!frame.crcOk) {
    ++stats_.badCrc;
    d.verdict = "bad frame, dropped";
    return d;
  }
  const std::int64_t tMs = (nowUs - startUs_) / 1000;
  const std::uint8_t to = frame.bytes[0];
  const std::uint8_t function = frame.bytes[1];
  if (to != controller_.Address()) {
    if (to == kBroadcastAddress) {
      ++stats_.broadcast;
      d.eepromChanged = controller_.Handle(frame.bytes, tMs).eepromChanged;
      d.verdict = "broadcast, not answered";
    } else {
      ++stats_.ignored;
      d.verdict = "for another slave, ignored";
    }
    return d;
  }

  ++stats_.byFunction[function];
  const std::uint64_t request = ++requests_;
  if (Hits(faults_.silentEvery, request)) {
    ++stats_.silenced;
    d.verdict = "kept silent (--silent-every)";
    return d;
  }

  if (auto forced = faults_.exceptions.find(function); forced != faults_.exceptions.end()) {
    d.answer = ExceptionAnswer(controller_.Address(), function, forced->second);
    d.verdict = "refused (--exception)";
    ++stats_.refused;
  } else {
    Controller::Outcome outcome = controller_.Handle(frame.bytes, tMs);
    d.answer = std::move(outcome.answer);
    d.eepromChanged = outcome.eepromChanged;
    d.verdict = outcome.kind == Kind::kRefused ? "refused" : "answered";
    if (outcome.kind == Kind::kRefused) ++stats_.refused;
  }
  ++stats_.answered;

  d.dueUs = nowUs + std::int64_t{faults_.delayMs} * 1000;
  d.corrupt = Hits(faults_.corruptEvery, request);
  d.split = Hits(faults_.splitEvery, request);
  d.wrongTransaction = Hits(faults_.wrongTransactionEvery, request);
  if (Hits(faults_.noiseEvery, request)) {
    const std::size_t count = 1 + noise_() % 3;
    for (std::size_t k = 0; k < count; ++k) d.noise.push_back(static_cast<std::uint8_t>(noise_()));
  }
  return d;
}

}  // namespace torvex::sim
