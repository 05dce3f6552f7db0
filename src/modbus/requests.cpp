#include "modbus/requests.h"

#include <cassert>

namespace torvex::modbus {
namespace {

void AppendWord(std::vector<std::uint8_t>& data, std::uint16_t word) {
  data.push_back(static_cast<std::uint8_t>(word >> 8));
  data.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

std::vector<std::uint8_t> Words(std::uint16_t first, std::uint16_t second) {
  std::vector<std::uint8_t> data;
  AppendWord(data, first);
  AppendWord(data, second);
  return data;
}

}  // namespace

Pdu ReadHoldingRegisters(std::uint16_t start, std::uint16_t count) {
  return {FunctionCode::kReadHoldingRegisters, Words(start, count)};
}

Pdu WriteSingleRegister(std::uint16_t address, std::uint16_t value) {
  return {FunctionCode::kWriteSingleRegister, Words(address, value)};
}

Pdu WriteMultipleRegisters(std::uint16_t start, const std::vector<std::uint16_t>& values) {
  assert(values.size() <= 123);  // a byte count beyond 246 would not fit one frame
  std::vector<std::uint8_t> data = Words(start, static_cast<std::uint16_t>(values.size()));
  data.push_back(static_cast<std::uint8_t>(2 * values.size()));
  for (std::uint16_t value : values) AppendWord(data, value);
  return {FunctionCode::kWriteMultipleRegisters, std::move(data)};
}

Pdu ReadEeprom(std::uint16_t address, std::uint8_t count) {
  std::vector<std::uint8_t> data;
  AppendWord(data, address);
  data.push_back(count);
  return {FunctionCode::kReadEeprom, std::move(data)};
}

Pdu WriteEeprom(std::uint16_t address, std::span<const std::uint8_t> bytes) {
  assert(bytes.size() <= 255);
  std::vector<std::uint8_t> data;
  AppendWord(data, address);
  data.push_back(static_cast<std::uint8_t>(bytes.size()));
  data.insert(data.end(), bytes.begin(), bytes.end());
  return {FunctionCode::kWriteEeprom, std::move(data)};
}

}  // namespace torvex::modbus
