#pragma once
// Answers waiting for their moment on the line. A serial line carries one byte stream, so runs
// go out in the order they were scheduled: a run never overtakes an earlier one, even when it
// is due sooner (an answer behind a delayed tail waits for the tail).
#include <cstdint>
#include <deque>
#include <optional>

#include "sim/modbus.h"

namespace torvex::sim {

class OutputQueue {
 public:
  // Beyond this much unsent output (nobody reads the line) new runs are dropped.
  static constexpr std::size_t kLimit = 64 * 1024;

  // Returns false when the run was dropped because the queue is full.
  bool Schedule(std::int64_t due_us, Bytes bytes);
  // The moment the next run becomes due; nothing when all is sent.
  std::optional<std::int64_t> NextDue() const;
  bool HasDue(std::int64_t now_us) const;
  // Writes what is due to the non-blocking `fd`, as far as it takes it. Returns false on a
  // write error other than a full buffer.
  bool Flush(int fd, std::int64_t now_us);

 private:
  struct Run {
    std::int64_t due_us;
    Bytes bytes;
    std::size_t sent = 0;
  };
  std::deque<Run> runs_;
  std::size_t pending_ = 0;
};

}  // namespace torvex::sim
