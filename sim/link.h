#pragma once
// The simulator's end of the serial line: a pseudo-terminal (with an optional symbolic link to
// it, where the tool expects its COM port) or an existing serial device. Raw bytes, no echo,
// non-blocking.
#include <termios.h>

#include <stdexcept>
#include <string>

#include "sim/line_mode.h"

namespace torvex::sim {

class LinkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Link {
 public:
  // Throws LinkError. `linkPath` may be empty.
  static Link OpenPseudoTerminal(const std::string& linkPath, const LineMode& mode);
  static Link OpenDevice(const std::string& path, const LineMode& mode);

  Link(Link&& other) noexcept;
  Link& operator=(Link&&) = delete;
  Link(const Link&) = delete;
  // Closes the line, gives a device its old settings back and removes the symbolic link if it
  // still points at this pseudo-terminal (a newer simulator may have taken the name over).
  ~Link();

  int Fd() const { return fd_; }
  const std::string& Device() const { return device_; }
  const std::string& LinkPath() const { return linkPath_; }
  bool IsPseudoTerminal() const { return keeperFd_ >= 0; }

  // Clears an exclusive claim (TIOCEXCL) left on the pseudo-terminal. Qt takes one on open and
  // drops it on close; a tool that is killed never drops it, and as this side keeps the line
  // open, nobody but root could open it again until the simulator restarts.
  void ReleaseExclusiveClaim() const;

 private:
  Link() = default;

  int fd_ = -1;
  // The pseudo-terminal's other side, held open so the line stays up while the tool is not
  // connected (without it every poll would report a hang-up).
  int keeperFd_ = -1;
  std::string device_;
  std::string linkPath_;
  bool restore_ = false;
  termios saved_{};
};

}  // namespace torvex::sim
