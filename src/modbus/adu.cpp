#include "modbus/adu.h"

#include "modbus/crc16.h"

namespace torvex::modbus {

std::optional<Adu> Adu::Parse(std::span<const std::uint8_t> frame) {
  if (frame.size() < kMinFrameSize || !CrcMatches(frame)) return std::nullopt;
  return Adu(frame[0], Pdu::FromBytes(frame.subspan(1, frame.size() - 1 - kCrcSize)));
}

std::vector<std::uint8_t> Adu::Bytes() const {
  std::vector<std::uint8_t> frame;
  frame.reserve(1 + pdu_.Size() + kCrcSize);
  frame.push_back(address_);
  frame.push_back(pdu_.Function());
  frame.insert(frame.end(), pdu_.Data().begin(), pdu_.Data().end());
  AppendCrc(frame);
  return frame;
}

}  // namespace torvex::modbus
