#include "sim/output_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace torvex::sim {

bool OutputQueue::Schedule(std::int64_t dueUs, Bytes bytes, bool closeAfter) {
  if (bytes.empty()) return true;
  if (pending_ + bytes.size() > kLimit) return false;
  // The line is one byte stream: nothing starts before the run ahead of it has ended.
  dueUs = std::max(dueUs, lastSpan_.second);
  if (!runs_.empty()) dueUs = std::max(dueUs, runs_.back().dueUs);
  pending_ += bytes.size();
  const auto length = static_cast<std::int64_t>(std::llround(charUs_ * static_cast<double>(bytes.size())));
  lastSpan_ = {dueUs, dueUs + length};
  runs_.push_back({dueUs, std::move(bytes), 0, closeAfter});
  return true;
}

std::int64_t OutputQueue::ByteDue(const Run& run, std::size_t index) const {
  if (charUs_ <= 0) return run.dueUs;
  const std::int64_t passed =
      run.dueUs + static_cast<std::int64_t>(std::llround(charUs_ * static_cast<double>(index + 1)));
  return (passed + kHandOverUs - 1) / kHandOverUs * kHandOverUs;
}

std::optional<std::int64_t> OutputQueue::NextDue() const {
  if (runs_.empty()) return std::nullopt;
  return ByteDue(runs_.front(), runs_.front().sent);
}

bool OutputQueue::HasDue(std::int64_t nowUs) const {
  return !runs_.empty() && ByteDue(runs_.front(), runs_.front().sent) <= nowUs;
}

bool OutputQueue::Flush(int fd, std::int64_t nowUs) {
  while (!closing_ && HasDue(nowUs)) {
    Run& run = runs_.front();
    std::size_t end = run.sent + 1;
    while (end < run.bytes.size() && ByteDue(run, end) <= nowUs) ++end;
    const ssize_t n = ::write(fd, run.bytes.data() + run.sent, end - run.sent);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    run.sent += static_cast<std::size_t>(n);
    pending_ -= static_cast<std::size_t>(n);
    if (run.sent == run.bytes.size()) {
      closing_ = run.closeAfter;
      runs_.pop_front();
    }
  }
  return true;
}

}  // namespace torvex::sim
