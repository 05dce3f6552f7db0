#include "engine/rx_crc.h"

#include <cassert>

#include "modbus/crc16.h"

namespace torvex {

std::uint16_t RxCrc(const RxBuffer& rxBuffer, int n) {
  assert(n >= 0 && n < static_cast<int>(rxBuffer.size()));
  std::uint16_t crc = modbus::kCrc16Init;
  for (int i = 0; i <= n; ++i) crc = modbus::Crc16Step(crc, static_cast<std::uint8_t>(rxBuffer[i]));
  return crc;
}

}  // namespace torvex
