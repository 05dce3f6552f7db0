#pragma once
// The last frames on the line, oldest overwritten first. Every frame gets a sequence number
// that never repeats, so a view can tell which frames are new and which have gone since it
// last looked without the ring telling it.
#include <cstdint>
#include <memory>

#include "monitor/frame_record.h"

namespace torvex {

class FrameRing {
 public:
  static constexpr std::size_t kDefaultCapacity = 10000;

  explicit FrameRing(std::size_t capacity = kDefaultCapacity)
      : capacity_(capacity), slots_(new FrameRecord[capacity]) {}

  std::size_t Capacity() const { return capacity_; }
  // Sequence numbers of the frames held: First() up to, not including, End().
  std::uint64_t First() const { return first_; }
  std::uint64_t End() const { return end_; }
  std::size_t Size() const { return static_cast<std::size_t>(end_ - first_); }
  // A frame held (First() <= sequence < End()).
  const FrameRecord& At(std::uint64_t sequence) const { return slots_[sequence % capacity_]; }

  // The slot of the next frame, overwriting the oldest when the ring is full.
  FrameRecord& Push() {
    FrameRecord& slot = slots_[end_ % capacity_];
    ++end_;
    if (end_ - first_ > capacity_) first_ = end_ - capacity_;
    return slot;
  }
  // Forgets every frame held; sequence numbers go on.
  void Clear() { first_ = end_; }

 private:
  std::size_t capacity_;
  // Left uninitialised: pages are touched only as frames arrive.
  std::unique_ptr<FrameRecord[]> slots_;
  std::uint64_t first_ = 0;
  std::uint64_t end_ = 0;
};

}  // namespace torvex
