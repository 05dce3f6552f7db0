#include "search/probe.h"

#include "decode/display_rules.h"
#include "decode/register_map.h"
#include "engine/answer_scan.h"
#include "engine/line_timing.h"
#include "modbus/adu.h"
#include "modbus/expected_answer.h"
#include "modbus/mbap.h"
#include "modbus/requests.h"

namespace torvex::search {
namespace {

constexpr std::uint16_t kVersionRegisters = 2;
// Address, function, byte count, two registers, CRC.
constexpr std::size_t kAnswerSize = 3 + 2 * kVersionRegisters + 2;
constexpr std::chrono::milliseconds kNetworkAllowance{100};

}  // namespace

modbus::Pdu ProbeRequest() {
  return modbus::ReadHoldingRegisters(reg::kProtocolVersion, kVersionRegisters);
}

std::chrono::microseconds ProbeWait(const QString& mode, std::chrono::milliseconds allowance,
                                    bool network) {
  const LineTiming timing = TimingOf(ParsePortMode(mode));
  const std::size_t requestSize = modbus::Adu(1, ProbeRequest()).Bytes().size();
  auto wait = timing.Bytes(requestSize + kAnswerSize) + timing.frameGap +
              std::chrono::microseconds(allowance);
  if (network) wait += kNetworkAllowance;
  return wait;
}

std::optional<ProbeFind> JudgeProbe(std::span<const std::uint8_t> received, int address,
                                    LinkFraming framing, std::uint16_t transaction) {
  const modbus::ExpectedAnswer expected(
      modbus::Adu(static_cast<std::uint8_t>(address), ProbeRequest()));
  const Scan scan = framing == LinkFraming::kMbap
                        ? ScanMbapAnswer(received, expected, transaction)
                        : ScanAnswer(received, expected, true);
  const ScanPiece* answer = scan.Answer();
  if (!answer) return std::nullopt;
  std::span<const std::uint8_t> frame = received.subspan(answer->offset, answer->size);
  // Past a Modbus TCP header the PDU is where the serial frame has it behind the address.
  const std::size_t pdu = framing == LinkFraming::kMbap ? modbus::kMbapHeaderSize : 1;
  if (answer->kind == ScanPiece::Kind::kException) {
    return ProbeFind{ProbeFind::Kind::kOtherDevice, 0, 0, frame[pdu + 1]};
  }
  const auto word = [&](std::size_t index) {
    return frame[pdu + 2 + 2 * index] << 8 | frame[pdu + 3 + 2 * index];
  };
  return ProbeFind{ProbeFind::Kind::kTorvex, word(0), word(1), 0};
}

QString VersionText(int word) { return PlainVersionText(word); }

}  // namespace torvex::search
