#pragma once
// The master's byte stream as Modbus RTU: on the serial line, or the same bytes on a TCP
// connection (RTU over TCP, as a serial device server passes them).
#include "sim/conversation.h"
#include "sim/line_check.h"
#include "sim/line_mode.h"
#include "sim/rtu_framer.h"

namespace torvex::sim {

class RtuConversation : public Conversation {
 public:
  // With `lineTiming` the bytes pass at the character time of `mode` both ways, an answer starts
  // no sooner than a frame gap after its request (the silence that ends a frame on a real line),
  // and the master's bytes that overlap an answer are counted on `pair`. With `check` (strict mode) a frame that
  // arrives while the master's line mode is not ours goes unheard.
  RtuConversation(Responder& responder, Observer& observer, const LineMode& mode, bool lineTiming,
                  RtuFramer::Carrier carrier, HalfDuplexPair* pair, const LineCheck* check = nullptr);

  std::optional<std::string> Receive(std::span<const std::uint8_t> bytes, std::int64_t nowUs) override;
  void Advance(std::int64_t nowUs) override;
  std::optional<std::int64_t> Deadline() const override;
  bool WantsInput(std::int64_t nowUs) const override;

 private:
  void Handle(const std::vector<Frame>& frames, std::int64_t nowUs);

  bool lineTiming_;
  std::int64_t gapUs_;
  RtuFramer framer_;
  InboundPacer inbound_;
  const LineCheck* check_;
};

}  // namespace torvex::sim
