#include "search/probe.h"

#include "decode/display_rules.h"
#include "decode/register_map.h"
#include "engine/line_timing.h"
#include "modbus/adu.h"
#include "modbus/expected_answer.h"
#include "modbus/mbap.h"
#include "modbus/requests.h"

namespace torvex::search {
namespace {

constexpr std::uint16_t kVersionRegisters = 2;
// The EEPROM byte that holds the controller's slave address.
constexpr std::uint16_t kSlaveAddressByte = 0x60;
constexpr std::chrono::milliseconds kNetworkAllowance{100};

}  // namespace

modbus::Pdu ProbeRequest() {
  return modbus::ReadHoldingRegisters(reg::kProtocolVersion, kVersionRegisters);
}

modbus::Pdu IdentityRequest() { return modbus::ReadEeprom(kSlaveAddressByte, 1); }

std::chrono::microseconds ProbeWait(const QString& mode, std::chrono::milliseconds allowance,
                                    bool network, const modbus::Pdu& request) {
  const LineTiming timing = TimingOf(ParsePortMode(mode));
  const modbus::Adu adu(1, request);
  const std::size_t answerSize = modbus::ExpectedAnswer(adu).Length();
  auto wait = timing.Bytes(adu.Bytes().size() + answerSize) + timing.frameGap +
              std::chrono::microseconds(allowance);
  if (network) wait += kNetworkAllowance;
  return wait;
}

Scan ScanReply(std::span<const std::uint8_t> received, int address, const modbus::Pdu& request,
               LinkFraming framing, std::uint16_t transaction) {
  const modbus::ExpectedAnswer expected(modbus::Adu(static_cast<std::uint8_t>(address), request));
  return framing == LinkFraming::kMbap ? ScanMbapAnswer(received, expected, transaction)
                                       : ScanAnswer(received, expected, true);
}

std::optional<ProbeReply> ReplyOf(const Scan& scan, std::span<const std::uint8_t> received,
                                  LinkFraming framing) {
  const ScanPiece* answer = scan.Answer();
  if (!answer) return std::nullopt;
  std::span<const std::uint8_t> frame = received.subspan(answer->offset, answer->size);
  // Past a Modbus TCP header the PDU is where the serial frame has it behind the address; a
  // serial frame ends with its CRC.
  const bool mbap = framing == LinkFraming::kMbap;
  const std::size_t pdu = mbap ? modbus::kMbapHeaderSize : 1;
  const std::size_t end = frame.size() - (mbap ? 0 : 2);
  if (answer->kind == ScanPiece::Kind::kException) {
    const int code = frame[pdu + 1];
    if (code == modbus::kExceptionGatewayPathUnavailable) return ProbeReply{ProbeReply::Kind::kGatewayNoPath, code, {}};
    if (code == modbus::kExceptionGatewayTargetFailed) return ProbeReply{ProbeReply::Kind::kGatewayNoResponse, code, {}};
    return ProbeReply{ProbeReply::Kind::kException, code, {}};
  }
  return ProbeReply{ProbeReply::Kind::kAnswer, 0,
                    std::vector<std::uint8_t>(frame.begin() + static_cast<std::ptrdiff_t>(pdu + 1),
                                              frame.begin() + static_cast<std::ptrdiff_t>(end))};
}

bool NeedsIdentity(const std::optional<ProbeReply>& versions) {
  return versions && versions->kind == ProbeReply::Kind::kAnswer;
}

std::optional<ProbeFind> Verdict(const std::optional<ProbeReply>& versions,
                                 const std::optional<ProbeReply>& identity) {
  if (!versions) return std::nullopt;
  switch (versions->kind) {
    case ProbeReply::Kind::kGatewayNoPath:
    case ProbeReply::Kind::kGatewayNoResponse:
      return std::nullopt;
    case ProbeReply::Kind::kException:
      return ProbeFind{ProbeFind::Kind::kOtherDevice, 0, 0, versions->exceptionCode};
    case ProbeReply::Kind::kAnswer:
      break;
  }
  if (!identity || identity->kind != ProbeReply::Kind::kAnswer) {
    return ProbeFind{ProbeFind::Kind::kOtherDevice, 0, 0, 0};
  }
  // Byte count, then the two registers.
  const std::vector<std::uint8_t>& data = versions->data;
  const auto word = [&](std::size_t index) { return data[1 + 2 * index] << 8 | data[2 + 2 * index]; };
  return ProbeFind{ProbeFind::Kind::kTorvex, word(0), word(1), 0};
}

QString VersionText(int word) { return PlainVersionText(word); }

}  // namespace torvex::search
