#include "engine/crc16.h"

#include <cassert>

namespace torvex {

std::uint16_t TxCrc(const std::vector<std::uint8_t>& TxFrame, int n) {
  assert(n >= 0 && n < static_cast<int>(TxFrame.size()));
  return Crc16(std::span(TxFrame).first(static_cast<std::size_t>(n) + 1));
}

std::uint16_t RxCrc(const RxBuffer& RxBuffer, int n) {
  assert(n >= 0 && n < static_cast<int>(RxBuffer.size()));
  std::uint16_t crc = 0xFFFF;
  for (int i = 0; i <= n; ++i) crc = Crc16Step(crc, static_cast<std::uint8_t>(RxBuffer[i]));
  return crc;
}

}  // namespace torvex
