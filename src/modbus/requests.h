#pragma once
// Every request the tool sends, as a PDU; the sender adds the slave address and the CRC (Adu).
// Register numbers are the zero-based addresses sent on the line.
//
//   discrete outputs read-back   ReadHoldingRegisters(3001, 2)
//   discrete outputs write       WriteMultipleRegisters(3001, {outputs 16-31, outputs 0-15})
//   analog output k              WriteMultipleRegisters(3002 + k, {code})
//   background poll              ReadHoldingRegisters(3084, 64), WriteSingleRegister(3000, code),
//                                ReadHoldingRegisters(3000, 90)
//   EEPROM parameters            ReadEeprom(address, n), WriteEeprom(address, bytes)
#include <cstdint>
#include <span>
#include <vector>

#include "modbus/pdu.h"

namespace torvex::modbus {

// Function 3: first register, number of registers.
Pdu ReadHoldingRegisters(std::uint16_t start, std::uint16_t count);
// Function 6: register, value.
Pdu WriteSingleRegister(std::uint16_t address, std::uint16_t value);
// Function 16: first register, number of registers, byte count, the values high byte first.
Pdu WriteMultipleRegisters(std::uint16_t start, const std::vector<std::uint16_t>& values);
// Function 100: start address, number n of EEPROM bytes.
Pdu ReadEeprom(std::uint16_t address, std::uint8_t count);
// Function 101: start address, number n of bytes, the n bytes.
Pdu WriteEeprom(std::uint16_t address, std::span<const std::uint8_t> bytes);

}  // namespace torvex::modbus
