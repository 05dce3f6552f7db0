#include "modbus/mbap.h"

#include "modbus/crc16.h"

namespace torvex::modbus {
namespace {

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void AppendWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word >> 8));
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

}  // namespace

std::vector<std::uint8_t> MbapFrame(std::uint16_t transaction, std::uint8_t unit, const Pdu& pdu) {
  std::vector<std::uint8_t> frame;
  frame.reserve(kMbapHeaderSize + pdu.Size());
  AppendWord(frame, transaction);
  AppendWord(frame, kModbusProtocol);
  AppendWord(frame, static_cast<std::uint16_t>(1 + pdu.Size()));
  frame.push_back(unit);
  frame.push_back(pdu.Function());
  frame.insert(frame.end(), pdu.Data().begin(), pdu.Data().end());
  return frame;
}

std::optional<MbapHeader> ParseMbapHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMbapHeaderSize) return std::nullopt;
  return MbapHeader{Word(bytes, 0), Word(bytes, 2), Word(bytes, 4), bytes[6]};
}

std::optional<std::size_t> MbapFrameLength(std::span<const std::uint8_t> bytes) {
  const std::optional<MbapHeader> header = ParseMbapHeader(bytes);
  if (!header) return 0;
  // The unit identifier and at least a function code; no more than a PDU beside the unit.
  if (header->protocol != kModbusProtocol || header->length < 2 ||
      header->length > 1 + kMaxTcpPduSize) {
    return std::nullopt;
  }
  return kMbapHeaderSize - 1 + header->length;
}

std::vector<std::uint8_t> RtuOfMbap(std::span<const std::uint8_t> frame) {
  if (frame.size() < kMbapHeaderSize + 1) return {};
  std::vector<std::uint8_t> rtu(frame.begin() + kMbapHeaderSize - 1, frame.end());
  AppendCrc(rtu);
  return rtu;
}

}  // namespace torvex::modbus
