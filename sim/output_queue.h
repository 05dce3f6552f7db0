#pragma once
// Answers waiting for their moment on the line. A serial line carries one byte stream, so runs
// go out in the order they were scheduled: a run never overtakes an earlier one, even when it
// is due sooner (an answer behind a delayed tail waits for the tail). With a character time
// (--line-timing) each byte goes out when its character would have passed on a real line, one
// after the other, as a controller's UART sends them, and reaches the master's computer as its
// adapter hands bytes on: what has come in, once a millisecond (a USB adapter's frame; a UART's
// receive FIFO holds a few characters, about as long at the usual speeds).
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

#include "sim/modbus.h"

namespace torvex::sim {

class OutputQueue {
 public:
  // Beyond this much unsent output (nobody reads the line) new runs are dropped.
  static constexpr std::size_t kLimit = 64 * 1024;
  // With a character time, bytes are handed on at whole multiples of this.
  static constexpr std::int64_t kHandOverUs = 1000;

  // `charUs` 0: a run goes out whole at its moment.
  explicit OutputQueue(double charUs = 0) : charUs_(charUs) {}

  // Returns false when the run was dropped because the queue is full. With `closeAfter` the
  // connection is to be closed once the run has gone out whole (Closing).
  bool Schedule(std::int64_t dueUs, Bytes bytes, bool closeAfter = false);
  // When the last run scheduled is on the line: from its due moment (or the end of the run
  // before it) to the end of its last character.
  std::pair<std::int64_t, std::int64_t> LastSpan() const { return lastSpan_; }
  // The moment the next byte becomes due; nothing when all is sent.
  std::optional<std::int64_t> NextDue() const;
  bool HasDue(std::int64_t nowUs) const;
  // Writes what is due to the non-blocking `fd`, as far as it takes it. Returns false on a
  // write error other than a full buffer.
  // Nothing more is written once a run marked `closeAfter` has gone out.
  bool Flush(int fd, std::int64_t nowUs);
  // A run marked `closeAfter` has gone out whole: the connection is to be closed now.
  bool Closing() const { return closing_; }

 private:
  struct Run {
    std::int64_t dueUs;
    Bytes bytes;
    std::size_t sent = 0;
    bool closeAfter = false;
  };
  // When byte `index` of the run may go: the whole run at once without a character time.
  std::int64_t ByteDue(const Run& run, std::size_t index) const;

  double charUs_;
  std::pair<std::int64_t, std::int64_t> lastSpan_{0, 0};
  std::deque<Run> runs_;
  std::size_t pending_ = 0;
  bool closing_ = false;
};

}  // namespace torvex::sim
