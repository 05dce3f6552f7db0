#include "modbus/answer_length.h"

#include "modbus/adu.h"
#include "modbus/function_code.h"

namespace torvex::modbus {
namespace {

struct Layout {
  std::size_t header = 0;  // 0: a function of unknown layout
  bool counted = false;    // the header's last byte counts the data bytes behind it
};

Layout LayoutOf(std::uint8_t function) {
  switch (static_cast<FunctionCode>(function)) {
    case FunctionCode::kReadHoldingRegisters: return {kRegisterAnswerHeader, true};
    case FunctionCode::kWriteSingleRegister:
    case FunctionCode::kWriteMultipleRegisters: return {kWriteAnswerHeader, false};
    case FunctionCode::kReadEeprom:
    case FunctionCode::kWriteEeprom: return {kEepromAnswerHeader, true};
  }
  return {};
}

}  // namespace

std::size_t AnswerLength(std::uint8_t function, std::size_t dataBytes) {
  const Layout layout = LayoutOf(function);
  if (layout.header == 0) return 0;
  return layout.header + (layout.counted ? dataBytes : 0) + kCrcSize;
}

std::size_t AnswerFrameLength(std::span<const std::uint8_t> head) {
  if (head.size() < 2) return 0;
  const std::uint8_t function = head[1];
  if (IsException(function)) return kExceptionAnswerSize;
  const Layout layout = LayoutOf(function);
  if (!layout.counted) return AnswerLength(function, 0);
  if (head.size() < layout.header) return 0;
  return AnswerLength(function, head[layout.header - 1]);
}

}  // namespace torvex::modbus
