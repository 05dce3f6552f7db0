#include "sim/output_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace torvex::sim {

bool OutputQueue::Schedule(std::int64_t due_us, Bytes bytes) {
  if (bytes.empty()) return true;
  if (pending_ + bytes.size() > kLimit) return false;
  // The line is one byte stream: nothing starts before the run ahead of it has ended.
  due_us = std::max(due_us, last_span_.second);
  if (!runs_.empty()) due_us = std::max(due_us, runs_.back().due_us);
  pending_ += bytes.size();
  const auto length = static_cast<std::int64_t>(std::llround(char_us_ * static_cast<double>(bytes.size())));
  last_span_ = {due_us, due_us + length};
  runs_.push_back({due_us, std::move(bytes)});
  return true;
}

std::int64_t OutputQueue::ByteDue(const Run& run, std::size_t index) const {
  if (char_us_ <= 0) return run.due_us;
  return run.due_us + static_cast<std::int64_t>(std::llround(char_us_ * static_cast<double>(index + 1)));
}

std::optional<std::int64_t> OutputQueue::NextDue() const {
  if (runs_.empty()) return std::nullopt;
  return ByteDue(runs_.front(), runs_.front().sent);
}

bool OutputQueue::HasDue(std::int64_t now_us) const {
  return !runs_.empty() && ByteDue(runs_.front(), runs_.front().sent) <= now_us;
}

bool OutputQueue::Flush(int fd, std::int64_t now_us) {
  while (HasDue(now_us)) {
    Run& run = runs_.front();
    std::size_t end = run.sent + 1;
    while (end < run.bytes.size() && ByteDue(run, end) <= now_us) ++end;
    const ssize_t n = ::write(fd, run.bytes.data() + run.sent, end - run.sent);
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
