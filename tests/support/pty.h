#pragma once
// Real pseudo-terminals for tests: the test holds the master side and the code under test opens
// the slave path like any serial device. Also a throw-away program directory with ports/comN
// links, as the tool and the simulator use them.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <QString>
#include <QTemporaryDir>

namespace torvex::test {

class Pty {
 public:
  Pty() {
    termios raw{};
    cfmakeraw(&raw);  // no echo, no line editing, no byte translation
    if (::openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
    slavePath_ = name;
  }
  ~Pty() { Vanish(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  QString SlaveQPath() const { return QString::fromStdString(slavePath_); }

  // Sends bytes towards whoever has the slave open.
  void Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw std::runtime_error("write to pty master failed");
      done += static_cast<std::size_t>(n);
    }
  }

  // Bytes written to the slave: waits until `count` have come or `timeout` has passed, and
  // returns what came. Runs no event loop: only bytes already handed to the device arrive.
  std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      std::uint8_t chunk[512];
      const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }

  // The line settings of the terminal, as the code under test set them. A pseudo-terminal
  // keeps speed, stop bits, PARODD and CMSPAR, but always reads back 8 data bits and PARENB off.
  termios Attributes() const {
    termios t{};
    ::tcgetattr(slave_, &t);
    return t;
  }
  void SetAttributes(const termios& t) { ::tcsetattr(slave_, TCSANOW, &t); }

  // The far end goes away, as when a simulator ends: readers of the slave see a hang-up.
  void Vanish() {
    // Our own slave descriptor keeps the master usable while the code under test has the slave
    // closed; it goes too, so that nothing of this terminal remains.
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// A program directory with its ports/ folder, for code that resolves COMn through ports/comN.
class ProgramDir {
 public:
  ProgramDir() {
    if (!dir_.isValid()) throw std::runtime_error("no temporary directory");
    std::filesystem::create_directory(PortsDir());
  }

  QString Path() const { return dir_.path(); }
  std::filesystem::path LinkPath(int number) const {
    return PortsDir() / ("com" + std::to_string(number));
  }

  // Points ports/comN at target, replacing an earlier link in one step, as a restarted
  // simulator moves it.
  void Bind(int number, const std::string& target) const {
    const auto temp = PortsDir() / (".com" + std::to_string(number) + ".new");
    std::filesystem::remove(temp);
    std::filesystem::create_symlink(target, temp);
    std::filesystem::rename(temp, LinkPath(number));
  }

  // COM2-COM16 lead nowhere (COM1 is the test's), so the settings dialog's scan never reaches
  // this machine's /dev/ttyS*.
  void BindOthersToNowhere() const {
    for (int n = 2; n <= 16; ++n) Bind(n, Path().toStdString() + "/absent/tty");
  }

 private:
  std::filesystem::path PortsDir() const {
    return std::filesystem::path(dir_.path().toStdString()) / "ports";
  }

  QTemporaryDir dir_;
};

}  // namespace torvex::test
