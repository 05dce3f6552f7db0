#pragma once
// Strict mode on a pseudo-terminal: whether the master has set the line to the controller's own
// mode, as a UART at another speed or framing would see only garbage. The pseudo-terminal's two
// sides share the settings the master gave its end, but not all of them: the speed, the stop
// bits and odd, mark and space parity show; even parity reads as none and the data bits always
// as 8, so those are taken to agree.
#include <optional>
#include <string>

#include "sim/line_mode.h"

namespace torvex::sim {

class LineCheck {
 public:
  // `fd`: either side of the pseudo-terminal.
  LineCheck(int fd, const LineMode& own) : fd_(fd), own_(own) {}

  // Why a frame arriving now goes unheard, e.g. "wrong line mode: 9600,n,8,1 - answers only at
  // 115200,n,8,2"; nothing when the modes agree as far as they show (or cannot be read).
  std::optional<std::string> Mismatch() const;

 private:
  int fd_;
  LineMode own_;
};

}  // namespace torvex::sim
