#pragma once
// CRC-16/MODBUS: init 0xFFFF, reflected polynomial 0xA001, no final XOR. On the line the low
// byte goes first and the CRC covers every byte before it, the address included.
#include <cstdint>
#include <span>
#include <vector>

namespace torvex::modbus {

// Folds one byte into a running CRC: eight shift steps, no table.
constexpr std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                     : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

inline constexpr std::uint16_t kCrc16Init = 0xFFFF;

constexpr std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = kCrc16Init;
  for (std::uint8_t b : bytes) crc = Crc16Step(crc, b);
  return crc;
}

// Appends the CRC of everything in the frame, low byte first.
void AppendCrc(std::vector<std::uint8_t>& frame);

// Whether the frame ends with the CRC of everything before it. Fewer than 3 bytes never match.
bool CrcMatches(std::span<const std::uint8_t> frame);

}  // namespace torvex::modbus
