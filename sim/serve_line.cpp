#include <poll.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "sim/clock.h"
#include "sim/poll_wait.h"
#include "sim/serve.h"

namespace torvex::sim {
namespace {

// The tool sends every 100 ms while it runs; this much silence means it has let go of the line.
constexpr std::int64_t kToolGoneUs = 500'000;

}  // namespace

int ServeLine(Link& link, Conversation& line, StopSignals& stop, Observer& observer) {
  std::array<std::uint8_t, 4096> buffer{};
  std::optional<std::int64_t> releaseClaimAt;  // armed by traffic on a pseudo-terminal
  for (;;) {
    std::int64_t now = NowMicros();
    if (releaseClaimAt && now >= *releaseClaimAt) {
      link.ReleaseExclusiveClaim();
      releaseClaimAt.reset();
    }
    const bool writing = line.Output().HasDue(now);
    std::optional<std::int64_t> wake = line.Deadline();
    if (!writing) Earliest(wake, line.Output().NextDue());
    Earliest(wake, releaseClaimAt);
    const bool reading = line.WantsInput(now);
    pollfd fds[2] = {{link.Fd(), static_cast<short>((reading ? POLLIN : 0) | (writing ? POLLOUT : 0)), 0},
                     {stop.Fd(), POLLIN, 0}};
    if (!PollUntil(fds, wake, now)) {
      observer.Say(std::string("waiting for the line failed: ") + std::strerror(errno));
      return 1;
    }
    if (fds[1].revents & POLLIN) {
      stop.Take();
      return 0;
    }

    now = NowMicros();
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(link.Fd(), buffer.data(), buffer.size());
      if (n > 0) {
        if (link.IsPseudoTerminal()) releaseClaimAt = now + kToolGoneUs;
        line.Receive(std::span(buffer.data(), static_cast<std::size_t>(n)), now);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        observer.Say(std::string("the line is gone: ") + (n == 0 ? "end of file" : std::strerror(errno)));
        return 1;
      }
    } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      observer.Say("the line is gone (" + link.Device() + ")");
      return 1;
    }
    line.Advance(now);
    if (!line.Output().Flush(link.Fd(), now)) {
      observer.Say(std::string("writing to the line failed: ") + std::strerror(errno));
      return 1;
    }
  }
}

}  // namespace torvex::sim
