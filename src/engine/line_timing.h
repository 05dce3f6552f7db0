#pragma once
// How long bytes take on the serial line at the port's mode, so that an exchange waits as long
// as its line needs and a request leaves only into a silent line.
#include <chrono>
#include <cstddef>
#include <optional>

#include "platform/port_mode.h"

namespace torvex {

struct LineTiming {
  // One character: start bit, data bits, parity bit, stop bits (11 bits at 8N2).
  std::chrono::microseconds character{0};
  // The silence that ends a frame: 3.5 characters, 1750 us above 19200 baud as RTU fixes it.
  std::chrono::microseconds frameGap{0};

  std::chrono::microseconds Bytes(std::size_t count) const {
    return character * static_cast<std::chrono::microseconds::rep>(count);
  }
};

// The timing of a port in `mode`. Without a valid mode the line counts as instant: the
// exchange then waits as on the fastest line, one tick.
LineTiming TimingOf(const std::optional<PortMode>& mode);

}  // namespace torvex
