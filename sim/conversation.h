#pragma once
// One byte stream with the master: the serial line, or one client's TCP connection. What the
// master sends is cut into frames for the controller, and the answers wait in an output queue
// for their moment. A line and RTU over TCP are one kind (sim/rtu_conversation.h), Modbus TCP
// the other (sim/mbap_conversation.h).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/line_timing.h"
#include "sim/output_queue.h"
#include "sim/responder.h"

namespace torvex::sim {

// What the operator is told while the simulator runs (sim/console.h).
class Observer {
 public:
  virtual ~Observer() = default;
  // With --trace: a frame received ("<-") or bytes sent ("->") at `atUs`, with a note.
  virtual void Trace(const char* direction, std::span<const std::uint8_t> bytes, std::int64_t atUs,
                     const std::string& note) = 0;
  // A write changed the stored EEPROM.
  virtual void EepromChanged() = 0;
  // A line on standard error.
  virtual void Say(const std::string& message) = 0;
};

class Conversation {
 public:
  virtual ~Conversation() = default;
  Conversation(const Conversation&) = delete;
  Conversation& operator=(const Conversation&) = delete;

  // Bytes read at `nowUs`. Returns why the stream can no longer be cut into frames, when it
  // has lost its step; the connection is to be closed then.
  virtual std::optional<std::string> Receive(std::span<const std::uint8_t> bytes, std::int64_t nowUs) = 0;
  // Lets time pass up to `nowUs`: bytes the line has delivered, frames its silence has ended.
  virtual void Advance(std::int64_t nowUs) = 0;
  // The next moment Advance has work; nothing while only the master can move things on.
  virtual std::optional<std::int64_t> Deadline() const = 0;
  // Whether to read more now. A timed line that is behind takes no more until it has caught
  // up, as a device server's serial side does: the master is held back by its own stream
  // (TCP's window, the pseudo-terminal's buffer) instead of piling up bytes here.
  virtual bool WantsInput(std::int64_t) const { return true; }

  OutputQueue& Output() { return output_; }
  // From now on the connection closes once an answer has gone out (--close-after-answer).
  void CloseAfterEachAnswer() { closeAfterAnswer_ = true; }

 protected:
  // `charUs` paces the answers' bytes (0: each run goes whole); `pair`, when given, is the
  // half-duplex pair the answers occupy.
  Conversation(Responder& responder, Observer& observer, double charUs, HalfDuplexPair* pair)
      : responder_(responder), observer_(observer), pair_(pair), output_(charUs) {}

  // Traces the frame heard at `heardUs` and the runs that answer it, queues the runs and
  // reports a changed EEPROM.
  void Answer(std::span<const std::uint8_t> heard, std::int64_t heardUs, const Decision& decision,
              std::vector<Transmission> runs);

  Responder& responder_;
  Observer& observer_;
  HalfDuplexPair* pair_;

 private:
  OutputQueue output_;
  bool dropping_ = false;  // answers are being dropped; said once until one fits again
  bool closeAfterAnswer_ = false;
};

}  // namespace torvex::sim
