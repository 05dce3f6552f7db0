#pragma once
// A half-duplex line at the real speed of its mode (--line-timing). A pseudo-terminal passes
// bytes at once whatever the mode; a real RS-485 pair carries one character at a time, in one
// direction at a time. Here the master's bytes reach the controller one character time apart,
// its answers leave the same way (OutputQueue), and every byte of the master that is on the
// pair while an answer is on it is counted: on a real pair both would be garbled.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "sim/line_mode.h"

namespace torvex::sim {

// Time one character takes on the line: start bit, data bits, parity, stop bits.
double CharacterMicros(const LineMode& mode);

// The master's bytes as a real line delivers them: each one character time after the one
// before, the first one character time after it was written.
class InboundPacer {
 public:
  explicit InboundPacer(double charUs) : charUs_(charUs) {}

  struct Arrival {
    std::int64_t atUs;  // when its stop bit has passed
    std::uint8_t byte;
  };

  // Bytes read from the device at `nowUs`. Returns, for each, the span of time its character
  // takes on the line.
  std::vector<std::pair<std::int64_t, std::int64_t>> Receive(std::span<const std::uint8_t> bytes,
                                                              std::int64_t nowUs);
  // The bytes whose character has passed by `nowUs`, in line order.
  std::vector<Arrival> TakeDue(std::int64_t nowUs);
  std::optional<std::int64_t> NextDue() const;
  // Bytes still on their way.
  std::size_t Backlog() const { return pending_.size(); }

 private:
  double charUs_;
  double lastEndUs_ = 0;
  std::deque<Arrival> pending_;
};

// The serial line behind a Modbus TCP gateway, at the speed of its mode: a request crosses it
// as its RTU frame, the controller answers, and the gateway sends the answer on once all of it
// has crossed back. The line carries one exchange at a time, so a request that comes while
// the line is busy waits for it; frames on it are `gapUs` of silence apart.
class GatewayLine {
 public:
  explicit GatewayLine(double charUs, std::int64_t gapUs = 0) : charUs_(charUs), gapUs_(gapUs) {}

  // A request whose RTU frame has `bytes` bytes reached the gateway at `nowUs`; returns when
  // the controller has heard all of it (and the silence that ends it).
  std::int64_t Request(std::size_t bytes, std::int64_t nowUs);
  // The controller starts an answer of `bytes` bytes at `startUs`; returns when the gateway has
  // all of it.
  std::int64_t Answer(std::size_t bytes, std::int64_t startUs);
  // The gateway waits on the line for an answer until `untilUs`; nothing else goes on it.
  void Hold(std::int64_t untilUs) { freeUs_ = std::max(freeUs_, untilUs); }
  // When the line may carry the next frame after what it has been given.
  std::int64_t FreeUs() const { return freeUs_; }

 private:
  std::int64_t Crossing(std::size_t bytes) const;

  double charUs_;
  std::int64_t gapUs_;
  std::int64_t freeUs_ = 0;  // when the line may carry the next frame
};

// Counts the master's characters that overlap the controller's answers on the pair.
class HalfDuplexPair {
 public:
  // An answer occupies the pair from `fromUs` to `toUs`.
  void Answer(std::int64_t fromUs, std::int64_t toUs);
  // One character of the master occupies it from `fromUs` to `toUs`.
  void MasterCharacter(std::int64_t fromUs, std::int64_t toUs);
  std::uint64_t TalkedOver() const { return talkedOver_; }

 private:
  struct Span {
    std::int64_t fromUs, toUs;
    bool counted = false;
  };
  void Forget(std::int64_t nowUs);

  std::deque<Span> answers_, master_;
  std::uint64_t talkedOver_ = 0;
};

}  // namespace torvex::sim
