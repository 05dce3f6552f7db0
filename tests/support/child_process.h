#pragma once
// Checks that must run in a process of their own: another program holding a device, or a user
// without the test's rights. The child's exit code is its verdict.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace torvex::test {

// The user a child turns into to lose the test's rights: nobody.
inline constexpr uid_t kNobody = 65534;

// Runs check in a child process and returns its exit code (-1 when it did not end normally).
// With asOtherUser, the child first becomes nobody when the test runs as root, for whom file
// permissions do not apply; a test run by another user stays that user, who has no rights to
// root's files anyway.
inline int RunInChild(const std::function<int()>& check, bool asOtherUser = false) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (asOtherUser && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        ::_exit(126);
      }
    }
    ::_exit(check());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Closes every descriptor the child inherited except those given, so that it holds only what
// it opens itself (a forked child would otherwise hold the test's pseudo-terminals too).
inline void CloseInheritedExcept(const std::vector<int>& keep) {
  for (int fd = 3; fd < 1024; ++fd) {
    bool kept = false;
    for (int k : keep) kept = kept || k == fd;
    if (!kept) ::close(fd);
  }
}

}  // namespace torvex::test
