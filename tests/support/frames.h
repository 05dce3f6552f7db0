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

namespace torvex::test {

// What a prompt controller sends back to `request` (a whole frame, address first, CRC last):
// registers and EEPROM bytes read as zeros, writes echoed as the controller echoes them; any
// other function is echoed whole.
inline Bytes AnswerTo(const Bytes& request) {
  const Bytes body(request.begin(), request.end() - 2);
  Bytes answer{body.at(0), body.at(1)};
  switch (body[1]) {
    case 3: {
      const std::size_t count = static_cast<std::size_t>(body.at(4) << 8 | body.at(5));
      answer.push_back(static_cast<std::uint8_t>(2 * count));
      answer.insert(answer.end(), 2 * count, 0);
      break;
    }
    case 6:
    case 16: answer.insert(answer.end(), body.begin() + 2, body.begin() + 6); break;
    case 100:
      answer.insert(answer.end(), body.begin() + 2, body.begin() + 5);
      answer.insert(answer.end(), body.at(4), 0);
      break;
    default: answer = body; break;
  }
  return WithCrc(answer);
}

}  // namespace torvex::test
