#pragma once
// The master's byte stream as Modbus TCP: requests cut by their MBAP headers, each handed to
// the controller as the frame a gateway would put on its line, the answers sent back as MBAP
// frames with the request's transaction identifier and unit.
#include "sim/conversation.h"
#include "sim/gateway.h"
#include "sim/mbap_answers.h"
#include "sim/mbap_framer.h"

namespace torvex::sim {

class MbapConversation : public Conversation {
 public:
  // `lineCharUs` > 0: a line of that character time stands behind the gateway
  // (--line-timing), and each answer waits for the exchange to have crossed it. With
  // `gateway.on` the exchanges queue for that line one at a time, and the gateway answers
  // those the controller leaves unanswered.
  MbapConversation(Responder& responder, Observer& observer, double lineCharUs,
                   std::int64_t lineGapUs = 0, GatewayPlan gateway = {});

  std::optional<std::string> Receive(std::span<const std::uint8_t> bytes, std::int64_t nowUs) override;
  void Advance(std::int64_t) override {}
  std::optional<std::int64_t> Deadline() const override { return std::nullopt; }
  bool WantsInput(std::int64_t nowUs) const override;

 private:
  void Handle(const MbapRequest& request, std::int64_t nowUs);

  bool lineTiming_;
  GatewayPlan gateway_;
  MbapFramer framer_;
  GatewayLine line_;
  MbapAnswers answers_;
};

}  // namespace torvex::sim
