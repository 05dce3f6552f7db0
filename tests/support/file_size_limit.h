#pragma once
// A disk that fills up, for a test that cannot mount one: files may grow to `bytes` and no
// further (RLIMIT_FSIZE). A write past it is cut short and the next one refused with EFBIG, as
// a full disk cuts and refuses with ENOSPC; SIGXFSZ is ignored, so that the refusal is an error
// to handle rather than the end of the process.
#include <sys/resource.h>

#include <csignal>

namespace torvex::test {

class FileSizeLimit {
 public:
  // In this process until the object goes.
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // In a child process alone, between its fork and its exec (QProcess::setChildProcessModifier):
  // an ignored signal stays ignored in the program it runs.
  static void SetInChild(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = SIG_DFL;
};

}  // namespace torvex::test
