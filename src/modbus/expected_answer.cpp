#include "modbus/expected_answer.h"

#include <algorithm>

namespace torvex::modbus {
namespace {

// Request data bytes that the answer repeats behind its address and function code, from the
// start of the data.
constexpr std::size_t kAddressAndFunction = 2;
constexpr std::size_t kEchoedRegisterFields = kWriteAnswerHeader - kAddressAndFunction;
constexpr std::size_t kEchoedEepromFields = kEepromAnswerHeader - kAddressAndFunction;

std::size_t ToSize(std::uint8_t byte) { return byte; }

}  // namespace

ExpectedAnswer::ExpectedAnswer(const Adu& request)
    : address_(request.Address()), function_(request.GetPdu().Function()) {
  const std::vector<std::uint8_t>& data = request.GetPdu().Data();
  head_ = {address_, function_};
  const auto echo = [&](std::size_t fields) {
    const std::size_t n = std::min(fields, data.size());
    head_.insert(head_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
  };
  switch (static_cast<FunctionCode>(function_)) {
    case FunctionCode::kReadHoldingRegisters:
      if (data.size() >= 4) {
        const std::size_t count = ToSize(data[2]) << 8 | data[3];
        head_.push_back(static_cast<std::uint8_t>(2 * count));
        length_ = AnswerLength(function_, 2 * count);
      }
      break;
    case FunctionCode::kWriteSingleRegister:
    case FunctionCode::kWriteMultipleRegisters:
      echo(kEchoedRegisterFields);
      length_ = AnswerLength(function_, 0);
      break;
    case FunctionCode::kReadEeprom:
    case FunctionCode::kWriteEeprom:
      if (data.size() >= kEchoedEepromFields) {
        echo(kEchoedEepromFields);
        length_ = AnswerLength(function_, data[2]);
      }
      break;
  }
}

AnswerMatch ExpectedAnswer::Matches(std::span<const std::uint8_t> answer) const {
  if (answer.empty()) return AnswerMatch::kIncomplete;
  if (answer[0] != address_ || !AnswerExpected()) return AnswerMatch::kNotThisRequest;
  if (answer.size() == 1) return AnswerMatch::kIncomplete;
  if (answer[1] == (function_ | kExceptionFlag)) {
    if (answer.size() < kExceptionAnswerSize) return AnswerMatch::kIncomplete;
    return answer.size() == kExceptionAnswerSize ? AnswerMatch::kException
                                                 : AnswerMatch::kNotThisRequest;
  }
  if (length_ == 0 || answer.size() > length_) return AnswerMatch::kNotThisRequest;
  const std::size_t compared = std::min(answer.size(), head_.size());
  if (!std::equal(head_.begin(), head_.begin() + static_cast<std::ptrdiff_t>(compared),
                  answer.begin())) {
    return AnswerMatch::kNotThisRequest;
  }
  return answer.size() == length_ ? AnswerMatch::kAnswer : AnswerMatch::kIncomplete;
}

}  // namespace torvex::modbus
