#include "decode/poll_schedule.h"

#include "decode/register_map.h"
#include "modbus/requests.h"

namespace torvex {

modbus::Pdu PollSchedule::Next() {
  if (codePhase_) {
    codePhase_ = false;
    transactionCode_ = transactionCode_ >= kMaxTransactionCode ? 0 : transactionCode_ + 1;
    return modbus::WriteSingleRegister(reg::kTransactionCode,
                                       static_cast<std::uint16_t>(transactionCode_));
  }
  codePhase_ = true;
  adcPhase_ = !adcPhase_;
  const reg::Block block = adcPhase_ ? reg::kAdcBlock : reg::kStatusBlock;
  return modbus::ReadHoldingRegisters(static_cast<std::uint16_t>(block.start),
                                      static_cast<std::uint16_t>(block.count));
}

}  // namespace torvex
