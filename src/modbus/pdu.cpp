#include "modbus/pdu.h"

namespace torvex::modbus {

Pdu Pdu::FromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {};
  return {bytes.front(), std::vector<std::uint8_t>(bytes.begin() + 1, bytes.end())};
}

std::vector<std::uint8_t> Pdu::Bytes() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(Size());
  bytes.push_back(function_);
  bytes.insert(bytes.end(), data_.begin(), data_.end());
  return bytes;
}

}  // namespace torvex::modbus
