#include "sim/output_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace torvex::sim {

bool OutputQueue::Schedule(std::int64_t due_us, Bytes bytes) {
  if (bytes.empty()) return true;
  if (pending_ + bytes.size() > kLimit) return false;
  if (!runs_.empty()) due_us = std::max(due_us, runs_.back().due_us);
  pending_ += bytes.size();
  runs_.push_back({due_us, std::move(bytes)});
  return true;
}

std::optional<std::int64_t> OutputQueue::NextDue() const {
  if (runs_.empty()) return std::nullopt;
  return runs_.front().due_us;
}

bool OutputQueue::HasDue(std::int64_t now_us) const {
  return !runs_.empty() && runs_.front().due_us <= now_us;
}

bool OutputQueue::Flush(int fd, std::int64_t now_us) {
  while (HasDue(now_us)) {
    Run& run = runs_.front();
    const ssize_t n = ::write(fd, run.bytes.data() + run.sent, run.bytes.size() - run.sent);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    run.sent += static_cast<std::size_t>(n);
    pending_ -= static_cast<std::size_t>(n);
    if (run.sent == run.bytes.size()) runs_.pop_front();
  }
  return true;
}

}  // namespace torvex::sim
