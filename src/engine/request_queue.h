#pragma once
// The ring of pending Modbus requests. Operator commands and background polls are queued
// here and sent one per exchange tick; a request leaves only when a valid answer arrives. A
// request is kept as what it asks (function code and data); the sender adds the slave address
// and the CRC, and its answer reaches the decoders together with it.
#include <array>
#include <cstdint>

#include "modbus/pdu.h"

namespace torvex {

class RequestQueue {
 public:
  static constexpr int kSlots = 512;

  std::int16_t ReadIndex() const { return readIndex_; }
  std::int16_t WriteIndex() const { return writeIndex_; }
  bool IsEmpty() const { return readIndex_ == writeIndex_; }
  // 511 requests pending: one more commit would make the ring look empty.
  bool IsFull() const { return Next(writeIndex_) == readIndex_; }
  int PendingCount() const { return (writeIndex_ - readIndex_ + kSlots) % kSlots; }

  // The slot the next producer fills, at WriteIndex.
  modbus::Pdu& SlotToFill() { return slots_.at(static_cast<std::size_t>(writeIndex_)); }
  // The request in flight, at ReadIndex.
  const modbus::Pdu& Head() const { return slots_.at(static_cast<std::size_t>(readIndex_)); }
  const modbus::Pdu& Slot(int index) const { return slots_.at(static_cast<std::size_t>(index)); }

  // Makes the filled slot visible to the sender. Refused (false, nothing changes) when the
  // ring is full, so that a full ring never turns into an empty one.
  [[nodiscard]] bool CommitRequest();
  // Drops the answered request at the head; nothing on an empty ring. Only the reception
  // step calls it.
  void AdvanceReadIndex();

  // Requests are numbered from 1 in the order committed, and leave in that order: the request
  // committed as number n is the one whose answer is the n-th. A producer that wants its own
  // answers notes Committed() after queueing and waits for Answered() to reach it.
  std::uint64_t Committed() const { return committed_; }
  std::uint64_t Answered() const { return answered_; }

 private:
  static std::int16_t Next(std::int16_t index) {
    return static_cast<std::int16_t>(index + 1 == kSlots ? 0 : index + 1);
  }

  std::array<modbus::Pdu, kSlots> slots_{};
  std::int16_t readIndex_ = 0;
  std::int16_t writeIndex_ = 0;
  std::uint64_t committed_ = 0;
  std::uint64_t answered_ = 0;
};

}  // namespace torvex
