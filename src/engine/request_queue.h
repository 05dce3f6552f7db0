#pragma once
// The ring of pending Modbus requests. Operator commands and background polls are queued
// here and sent one per exchange tick; a request leaves only when a valid answer arrives.
#include <array>
#include <cstdint>

namespace torvex {

struct QueueSlot {
  // The request as it goes on the line, without its CRC. Byte 0 is never sent: the sender
  // puts the selected slave address in its place.
  std::array<std::uint8_t, 261> bytes{};
  // Index of the request's last byte: length including the address byte, minus 1.
  std::int32_t lastIndex = 0;
};

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
  QueueSlot& SlotToFill() { return slots_.at(static_cast<std::size_t>(writeIndex_)); }
  // The request in flight, at ReadIndex.
  const QueueSlot& Head() const { return slots_.at(static_cast<std::size_t>(readIndex_)); }
  const QueueSlot& Slot(int index) const { return slots_.at(static_cast<std::size_t>(index)); }

  // Makes the filled slot visible to the sender. Refused (false, nothing changes) when the
  // ring is full, so that a full ring never turns into an empty one.
  [[nodiscard]] bool CommitRequest();
  // Drops the answered request at the head; nothing on an empty ring. Only the reception
  // step calls it.
  void AdvanceReadIndex();

 private:
  static std::int16_t Next(std::int16_t index) {
    return static_cast<std::int16_t>(index + 1 == kSlots ? 0 : index + 1);
  }

  std::array<QueueSlot, kSlots> slots_{};
  std::int16_t readIndex_ = 0;
  std::int16_t writeIndex_ = 0;
};

}  // namespace torvex
