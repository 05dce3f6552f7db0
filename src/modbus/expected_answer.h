#pragma once
// The answer a request expects, to tell its answer from anything else on the line: the slave
// address, the function code (or its exception), the length, and the fields it echoes.
//
//   request                    the answer's head
//   3   first, count           address, 3, byte count 2 x count
//   6   register, value        the request echoed
//   16  first, count, values   address, 16, first, count
//   100 start, n               address, 100, start, n
//   101 start, n, bytes        address, 101, start, n
//   any refused                address, function | 0x80
// The whole lengths are AnswerLength's (answer_length.h).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "modbus/adu.h"
#include "modbus/answer_length.h"

namespace torvex::modbus {

enum class AnswerMatch {
  kAnswer,          // the whole answer to the request
  kException,       // the whole exception answer to the request
  kIncomplete,      // so far it fits; the rest has not arrived yet
  kNotThisRequest,  // cannot be the answer to the request
};

class ExpectedAnswer {
 public:
  explicit ExpectedAnswer(const Adu& request);

  // Whole length of the regular answer; 0 when the function is not one the tool sends.
  std::size_t Length() const { return length_; }
  std::uint8_t Function() const { return function_; }
  std::uint8_t Address() const { return address_; }
  // A broadcast is answered by no one.
  bool AnswerExpected() const { return address_ != kBroadcastAddress; }

  // Judges the bytes received so far by their address, function code, echoed fields and
  // length. The CRC is not looked at here: see CrcMatches.
  AnswerMatch Matches(std::span<const std::uint8_t> answer) const;

 private:
  std::uint8_t address_;
  std::uint8_t function_;
  std::size_t length_ = 0;
  // The answer's first bytes as they must be: address, function code, echoed fields.
  std::vector<std::uint8_t> head_;
};

}  // namespace torvex::modbus
