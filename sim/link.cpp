#include "sim/link.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "sim/text.h"

namespace torvex::sim {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

std::optional<speed_t> SpeedConstant(int baud) {
  static constexpr std::array<std::pair<int, speed_t>, 30> kSpeeds{{
      {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
      {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
      {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
      {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
      {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
      {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000}}};
  for (const auto& [rate, constant] : kSpeeds) {
    if (rate == baud) return constant;
  }
  return std::nullopt;
}

// Raw bytes in both directions; the mode's framing where the driver has it. A pseudo-terminal
// has no real line, so what it cannot express is skipped there rather than refused.
void ApplyMode(int fd, const LineMode& mode, bool strict, const std::string& name) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) throw LinkError("cannot read the settings of " + name + ": " + ErrnoText());
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[mode.dataBits - 5];
  switch (mode.parity) {
    case 'e': t.c_cflag |= PARENB; break;
    case 'o': t.c_cflag |= PARENB | PARODD; break;
    case 'm': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 's': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (mode.stopHalfBits == 4) t.c_cflag |= CSTOPB;
  if (mode.stopHalfBits == 3 && strict) {
    throw LinkError(name + ": 1.5 stop bits cannot be set on this device");
  }
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (const auto speed = SpeedConstant(mode.baud)) {
    ::cfsetispeed(&t, *speed);
    ::cfsetospeed(&t, *speed);
  } else if (strict) {
    throw LinkError(name + ": speed " + Dec(mode.baud) + " is not a standard rate");
  }
  if (::tcsetattr(fd, TCSANOW, &t) != 0) {
    throw LinkError("cannot set " + ToString(mode) + " on " + name + ": " + ErrnoText());
  }
}

// Points `linkPath` at `target` in one step, replacing an old symbolic link but no other file.
void MakeSymlink(const std::string& target, const std::string& linkPath) {
  namespace fs = std::filesystem;
  const fs::path path(linkPath);
  std::error_code ec;
  if (path.has_parent_path()) {
    fs::create_directories(path.parent_path(), ec);
    if (ec) throw LinkError("cannot create the directory of " + linkPath + ": " + ec.message());
  }
  const auto status = fs::symlink_status(path, ec);
  if (fs::exists(status) && !fs::is_symlink(status)) {
    throw LinkError(linkPath + " exists and is not a symbolic link; not replacing it");
  }
  const std::string temporary = linkPath + ".new" + Dec(::getpid());
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), linkPath.c_str()) != 0) {
    const std::string error = ErrnoText();
    ::unlink(temporary.c_str());
    throw LinkError("cannot make the link " + linkPath + ": " + error);
  }
}

}  // namespace

Link Link::OpenPseudoTerminal(const std::string& linkPath, const LineMode& mode) {
  Link link;
  link.fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (link.fd_ < 0) throw LinkError("cannot open a pseudo-terminal: " + ErrnoText());
  char name[PATH_MAX];
  if (::grantpt(link.fd_) != 0 || ::unlockpt(link.fd_) != 0 ||
      ::ptsname_r(link.fd_, name, sizeof name) != 0) {
    throw LinkError("cannot set up the pseudo-terminal: " + ErrnoText());
  }
  ::fcntl(link.fd_, F_SETFL, ::fcntl(link.fd_, F_GETFL) | O_NONBLOCK);
  link.device_ = name;
  link.keeperFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (link.keeperFd_ < 0) throw LinkError("cannot open " + link.device_ + ": " + ErrnoText());
  // The line discipline sits on this side: raw here means no echo and no byte translation for
  // whoever opens it, before and after the tool sets its own mode.
  ApplyMode(link.keeperFd_, mode, false, link.device_);
  if (!linkPath.empty()) {
    MakeSymlink(link.device_, linkPath);
    link.linkPath_ = linkPath;
  }
  return link;
}

Link Link::OpenDevice(const std::string& path, const LineMode& mode) {
  Link link;
  link.fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (link.fd_ < 0) throw LinkError("cannot open " + path + ": " + ErrnoText());
  link.device_ = path;
  if (!::isatty(link.fd_)) throw LinkError(path + " is not a serial device");
  if (::ioctl(link.fd_, TIOCEXCL) != 0) throw LinkError("cannot take " + path + " for itself: " + ErrnoText());
  if (::tcgetattr(link.fd_, &link.saved_) == 0) link.restore_ = true;
  ApplyMode(link.fd_, mode, true, path);
  ::tcflush(link.fd_, TCIOFLUSH);
  return link;
}

void Link::ReleaseExclusiveClaim() const {
  if (keeperFd_ >= 0) ::ioctl(keeperFd_, TIOCNXCL);
}

Link::Link(Link&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      keeperFd_(std::exchange(other.keeperFd_, -1)),
      device_(std::move(other.device_)),
      linkPath_(std::move(other.linkPath_)),
      restore_(std::exchange(other.restore_, false)),
      saved_(other.saved_) {
  other.linkPath_.clear();
}

Link::~Link() {
  if (!linkPath_.empty()) {
    std::error_code ec;
    if (std::filesystem::read_symlink(linkPath_, ec) == device_ && !ec) ::unlink(linkPath_.c_str());
  }
  if (fd_ >= 0) {
    if (restore_) ::tcsetattr(fd_, TCSANOW, &saved_);
    ::close(fd_);
  }
  if (keeperFd_ >= 0) ::close(keeperFd_);
}

}  // namespace torvex::sim
