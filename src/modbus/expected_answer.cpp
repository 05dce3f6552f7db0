#include "modbus/expected_answer.h"

#include <algorithm>

namespace torvex::modbus {
namespace {

// Request data fields that the answer repeats, from the start of the data.
constexpr std::size_t kEchoedRegisterFields = 4;  // register/first (2), value/count (2)
constexpr std::size_t kEchoedEepromFields = 3;    // start (2), n

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
  const std::size_t header = 1 + 1;  // address, function code
  static_assert(kEepromAnswerHeader == 2 + kEchoedEepromFields);
  switch (static_cast<FunctionCode>(function_)) {
    case FunctionCode::kReadHoldingRegisters:
      if (data.size() >= 4) {
        const std::size_t count = ToSize(data[2]) << 8 | data[3];
        head_.push_back(static_cast<std::uint8_t>(2 * count));
        length_ = header + 1 + 2 * count + kCrcSize;
      }
      break;
    case FunctionCode::kWriteSingleRegister:
    case FunctionCode::kWriteMultipleRegisters:
      echo(kEchoedRegisterFields);
      length_ = header + kEchoedRegisterFields + kCrcSize;
      break;
    case FunctionCode::kReadEeprom:
    case FunctionCode::kWriteEeprom:
      if (data.size() >= kEchoedEepromFields) {
        echo(kEchoedEepromFields);
        length_ = kEepromAnswerHeader + ToSize(data[2]) + kCrcSize;
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
