#pragma once
// Another program, for tests: a child process that sets something up (opens a device, takes a
// lock), says it is ready and keeps it until the test lets it go.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "support/child_process.h"

namespace torvex::test {

class HoldingChild {
 public:
  // setup runs in the child with only the descriptors it opens itself and those in keep; it
  // returns whether it worked.
  explicit HoldingChild(const std::function<bool()>& setup, std::vector<int> keep = {}) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      keep.push_back(ready[1]);
      keep.push_back(release[0]);
      CloseInheritedExcept(keep);
      const char ok = setup() ? '1' : '0';
      (void)::write(ready[1], &ok, 1);
      char dummy;
      (void)::read(release[0], &dummy, 1);  // returns when the test closes its end
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char ok = 0;
    ready_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
  }
  ~HoldingChild() { Release(); }
  HoldingChild(const HoldingChild&) = delete;
  HoldingChild& operator=(const HoldingChild&) = delete;

  bool Ready() const { return ready_; }
  pid_t Pid() const { return pid_; }
  // Lets go and waits for the child to end.
  void Release() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool ready_ = false;
};

}  // namespace torvex::test
