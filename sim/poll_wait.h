#pragma once
// Waiting in the simulator's loops: until a descriptor is ready or the earliest due moment.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <span>

namespace torvex::sim {

// Makes `wake` the earlier of itself and `t`.
inline void Earliest(std::optional<std::int64_t>& wake, std::optional<std::int64_t> t) {
  if (t && (!wake || *t < *wake)) wake = t;
}

// Polls `fds` until one is ready or `wake` (nothing: no limit); `nowUs` is the time now.
// False when polling failed (errno says why); an interrupted wait counts as a wake-up.
inline bool PollUntil(std::span<pollfd> fds, std::optional<std::int64_t> wake, std::int64_t nowUs) {
  timespec timeout{};
  if (wake) {
    const std::int64_t waitUs = std::max<std::int64_t>(*wake - nowUs, 0);
    timeout.tv_sec = waitUs / 1'000'000;
    timeout.tv_nsec = (waitUs % 1'000'000) * 1000;
  }
  if (::ppoll(fds.data(), fds.size(), wake ? &timeout : nullptr, nullptr) >= 0) return true;
  if (errno == EINTR) {
    for (pollfd& p : fds) p.revents = 0;
    return true;
  }
  return false;
}

}  // namespace torvex::sim
