#pragma once
// Frames as tests write them: the bytes before the CRC, completed by WithCrc.
#include <cstdint>
#include <vector>

#include "modbus/crc16.h"

namespace torvex::test {

using Bytes = std::vector<std::uint8_t>;

// The frame followed by its CRC, low byte first.
inline Bytes WithCrc(Bytes frame) {
  modbus::AppendCrc(frame);
  return frame;
}

}  // namespace torvex::test
