#pragma once
// CRC-16/MODBUS: init 0xFFFF, reflected polynomial 0xA001, no final XOR. On the line the low
// byte goes first.
#include <cstdint>
#include <span>
#include <vector>

#include "decode/rx_buffer.h"

namespace torvex {

// Folds one byte into a running CRC: eight shift steps, no table.
constexpr std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                     : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

constexpr std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) crc = Crc16Step(crc, b);
  return crc;
}

// CRC of TxFrame bytes 0..n inclusive.
std::uint16_t TxCrc(const std::vector<std::uint8_t>& TxFrame, int n);
// CRC of RxBuffer cells 0..n inclusive, each cell taken as one byte.
std::uint16_t RxCrc(const RxBuffer& RxBuffer, int n);

}  // namespace torvex
