#pragma once
// The Modbus function codes the tool and the TORVEX-CPU speak: three of the standard and the
// controller's own two for its EEPROM.
#include <cstdint>

namespace torvex::modbus {

enum class FunctionCode : std::uint8_t {
  kReadHoldingRegisters = 0x03,
  kWriteSingleRegister = 0x06,
  kWriteMultipleRegisters = 0x10,
  kReadEeprom = 100,   // controller-specific: read EEPROM bytes
  kWriteEeprom = 101,  // controller-specific: write EEPROM bytes
};

// Set in the function code of an answer that refuses the request (an exception answer).
inline constexpr std::uint8_t kExceptionFlag = 0x80;

// A gateway's exception codes: it has no path to the device (10), or the device behind it did
// not answer (11). Neither is the device's own refusal.
inline constexpr int kExceptionGatewayPathUnavailable = 0x0A;
inline constexpr int kExceptionGatewayTargetFailed = 0x0B;

constexpr bool IsGatewayException(int code) {
  return code == kExceptionGatewayPathUnavailable || code == kExceptionGatewayTargetFailed;
}

constexpr std::uint8_t Code(FunctionCode function) { return static_cast<std::uint8_t>(function); }

constexpr bool IsException(std::uint8_t function) { return (function & kExceptionFlag) != 0; }

}  // namespace torvex::modbus
