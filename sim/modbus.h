#pragma once
// Modbus RTU building blocks the simulated controller shares: big-endian words, exception
// answers and a hex dump for traces. The CRC is the tool's own (src/modbus); the function codes
// and limits the controller checks are its own, so that it checks the tool.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "modbus/crc16.h"

namespace torvex::sim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kBroadcastAddress = 0;
// Address byte + at most 253 bytes of function and data + 2 CRC bytes.
inline constexpr std::size_t kMaxFrameSize = 256;
// Address, function and CRC: nothing shorter can be a frame.
inline constexpr std::size_t kMinFrameSize = 4;

enum Function : std::uint8_t {
  kReadHoldingRegisters = 3,
  kWriteSingleRegister = 6,
  kWriteMultipleRegisters = 16,
  kReadEeprom = 100,
  kWriteEeprom = 101,
};

enum ExceptionCode : std::uint8_t {
  kIllegalFunction = 1,
  kIllegalDataAddress = 2,
  kIllegalDataValue = 3,
};

using modbus::AppendCrc;
using modbus::CrcMatches;

inline std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

inline void AppendWord(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

inline Bytes ExceptionAnswer(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
  Bytes answer{address, static_cast<std::uint8_t>(function | 0x80), code};
  AppendCrc(answer);
  return answer;
}

// "07 03 0B B8": how engineers read frames.
inline std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

}  // namespace torvex::sim
