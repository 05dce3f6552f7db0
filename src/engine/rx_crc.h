#pragma once
// The CRC-16 of a received answer, computed over the receive buffer's cells.
#include <cstdint>

#include "engine/rx_buffer.h"

namespace torvex {

// CRC of RxBuffer cells 0..n inclusive, each cell taken as one byte.
std::uint16_t RxCrc(const RxBuffer& rxBuffer, int n);

}  // namespace torvex
