#pragma once
// How long an answer is, from the request that asks for it (ExpectedAnswer) and from the first
// bytes of a frame on the line (to step over a late answer to an earlier request): one layout
// per function, so that both ways give the same length.
//
//   function   answer                                                 length
//   3          address, 3, byte count, the registers                  5 + byte count
//   6, 16      address, function, register or first, value or count  8
//   100, 101   address, function, start (2), n, the n bytes           7 + n
//   refused    address, function | 0x80, exception code               5
// Every length counts the address and the two CRC bytes.
#include <cstddef>
#include <cstdint>
#include <span>

namespace torvex::modbus {

inline constexpr std::size_t kExceptionAnswerSize = 5;
// What a register read answer (3) has before its registers: address, function code, byte count.
inline constexpr std::size_t kRegisterAnswerHeader = 3;
// A write answer (6, 16) is its header alone: address, function code, register or first
// register (2), value or count (2).
inline constexpr std::size_t kWriteAnswerHeader = 6;
// What an EEPROM answer (100, 101) has before its data bytes: address, function code, start
// address (2), n.
inline constexpr std::size_t kEepromAnswerHeader = 5;

// Whole length of the regular answer of `function` that carries `dataBytes` bytes behind its
// header (3: the registers' bytes; 100, 101: n; 6 and 16 carry none); 0 for a function of
// unknown layout.
std::size_t AnswerLength(std::uint8_t function, std::size_t dataBytes);

// Whole length of the answer frame that starts with `head`, by its own function code and the
// count in its header; 5 for an exception answer to any function; 0 when the bytes do not tell
// it (yet).
std::size_t AnswerFrameLength(std::span<const std::uint8_t> head);

}  // namespace torvex::modbus
