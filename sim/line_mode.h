#pragma once
// The line's mode string ("115200,n,8,2"): speed, parity, data bits, stop bits. It sets the
// serial device and the silence that ends a frame.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvex::sim {

struct LineMode {
  int baud = 115200;
  char parity = 'n';     // n, e, o, m (mark) or s (space)
  int dataBits = 8;      // 5-8
  int stopHalfBits = 4;  // stop bits times two: 2, 3 (1.5 stop bits) or 4

  // Bits on the wire per character: start, data, parity, stop.
  double CharacterBits() const;
};

// Case-insensitive; the empty text and anything malformed give nothing.
std::optional<LineMode> ParseLineMode(std::string_view text);
std::string ToString(const LineMode& mode);

// Silence that ends a frame: 3.5 character times, fixed at 1750 us above 19200 baud as RTU
// prescribes, so fast lines are not cut by ordinary jitter between bytes.
std::int64_t FrameGapMicros(const LineMode& mode);

}  // namespace torvex::sim
