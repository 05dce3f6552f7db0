#include "sim/line_check.h"

// termios2 for the exact speed, also one set by number rather than by a B constant; it and
// <termios.h> cannot be included together.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace torvex::sim {

std::optional<std::string> LineCheck::Mismatch() const {
  termios2 t{};
  if (::ioctl(fd_, TCGETS2, &t) != 0) return std::nullopt;

  // The master's mode in the fields that show; the others as our own.
  LineMode seen = own_;
  seen.baud = static_cast<int>(t.c_ospeed);
  const bool twoStopBits = (t.c_cflag & CSTOPB) != 0;
  if (twoStopBits != (own_.stopHalfBits == 4)) seen.stopHalfBits = twoStopBits ? 4 : 2;
  // The kernel drops PARENB on a pseudo-terminal but keeps PARODD and CMSPAR.
  const char parity = (t.c_cflag & CMSPAR) ? ((t.c_cflag & PARODD) ? 'm' : 's')
                      : (t.c_cflag & PARODD) ? 'o'
                                             : 'n';
  if (parity != (own_.parity == 'e' ? 'n' : own_.parity)) seen.parity = parity;

  const std::string heard = ToString(seen), ours = ToString(own_);
  if (heard == ours) return std::nullopt;
  return "wrong line mode: " + heard + " - answers only at " + ours;
}

}  // namespace torvex::sim
