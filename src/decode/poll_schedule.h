#pragma once
// What the tool asks the controller when the operator asks for nothing: a cycle of four
// requests that keeps every value of the window fresh, the converter block, a transaction-code
// write, the status block and another code write. The exchange asks for the next one whenever
// its queue is empty.
#include <cstdint>

#include "modbus/pdu.h"

namespace torvex {

class PollSchedule {
 public:
  static constexpr std::int32_t kMaxTransactionCode = 65534;

  // The next background request; a code write takes the next transaction code (after 65534
  // comes 0).
  modbus::Pdu Next();
  // The code of the last code write handed out; 0 before the first.
  std::int32_t TransactionCode() const { return transactionCode_; }

 private:
  bool codePhase_ = false;
  bool adcPhase_ = false;
  std::int32_t transactionCode_ = 0;
};

}  // namespace torvex
