#pragma once
// The port's mode string, such as "9600,n,8,2": speed, parity letter, data bits and stop bits,
// separated by commas. The text comes from the configuration file and from the operator, so
// the parser takes any text and says only "valid" or "not".
#include <optional>

#include <QString>

namespace torvex {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct PortMode {
  int speed = 0;  // bits per second
  Parity parity = Parity::None;
  int dataBits = 8;
  StopBits stopBits = StopBits::One;

  friend bool operator==(const PortMode&, const PortMode&) = default;
};

// Reads a mode string; nullopt for anything else. Rules:
// - exactly four fields; blanks around a field are ignored;
// - speed: a decimal number from the usual serial rates, 110 to 256000 as Windows drivers
//   offer them (with 28800), plus 230400, 460800 and 921600; other numbers are refused,
//   because Qt would take any number as a custom rate and fail only on real hardware, if at all;
// - parity: n, e, o, m, s (none, even, odd, mark, space), either case;
// - data bits: 5 to 8;
// - stop bits: 1, 1.5 or 2, where a UART makes 1.5 only with 5 data bits and 2 only with 6-8
//   (the same stop-bit setting means one or the other), so other pairs are refused.
std::optional<PortMode> ParsePortMode(const QString& text);

}  // namespace torvex
