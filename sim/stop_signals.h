#pragma once
// SIGINT, SIGTERM and SIGHUP arrive as readable data on a descriptor, so the simulator waits
// for them and for its master in the same poll and never runs a handler in the middle of a
// write.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace torvex::sim {

class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set_, s);
    ::sigprocmask(SIG_BLOCK, &set_, &old_);
    fd_ = ::signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
  }
  ~StopSignals() {
    if (fd_ >= 0) ::close(fd_);
    ::sigprocmask(SIG_SETMASK, &old_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  // Negative when the signals cannot be watched.
  int Fd() const { return fd_; }
  // Takes the pending signal, so unblocking at the end does not deliver it again.
  void Take() {
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
  }

 private:
  sigset_t set_{}, old_{};
  int fd_ = -1;
};

}  // namespace torvex::sim
