#pragma once
// The receive buffer as the decoders see it: one answer per exchange tick, one byte per cell.
#include <array>
#include <cstdint>

#include "modbus/function_code.h"
#include "modbus/pdu.h"

namespace torvex {

// 261 cells (0-260), each holding one received byte 0-255. The current answer starts at
// cell 0; cells beyond it keep what older answers left there.
using RxBuffer = std::array<std::int32_t, 261>;

// A valid answer handed to a decoder: the buffer, how many of its cells this tick filled, and
// the request it answers, by which it is told what it carries.
struct RxAnswer {
  const RxBuffer& cells;
  int count;
  const modbus::Pdu& request;
  // The request's number in the order of the ring (RequestQueue::Committed); 0: not from it.
  std::uint64_t serial = 0;
};

// Whether the answer is the controller's exception answer (its code in cell 2).
inline bool IsExceptionAnswer(const RxAnswer& answer) {
  return answer.count > 2 && modbus::IsException(static_cast<std::uint8_t>(answer.cells[1]));
}

}  // namespace torvex
