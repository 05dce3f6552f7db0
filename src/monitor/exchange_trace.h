#pragma once
// The trace of the exchange on the line: the observer of the engine that keeps what the
// exchange monitor and the exchange log read, the last frames in a ring, the counters, and
// each frame passed on to the log file. It turns the engine's events into records at once (one
// copy of the bytes, no allocation); a received frame keeps the head of the request the engine
// told it with, so that an answer can be told in words later.
#include <cstdint>
#include <functional>

#include "engine/exchange_observer.h"
#include "monitor/exchange_counters.h"
#include "monitor/frame_ring.h"

namespace torvex {

class ExchangeLogFile;

class ExchangeTrace : public ExchangeObserver {
 public:
  // Local wall clock in milliseconds since the epoch; tests give a fixed one.
  using WallClock = std::function<std::int64_t()>;

  // Keeps the last `capacity` frames for showing, in a ring a tenth larger: a view that takes
  // in new frames now and then can show `capacity` of them without the ring overwriting one
  // it shows before it next looks.
  explicit ExchangeTrace(std::size_t capacity = FrameRing::kDefaultCapacity,
                         WallClock clock = {});

  void OnFrame(const FrameEvent& event) override;

  const FrameRing& Ring() const { return ring_; }
  // How many of the newest frames a view shows.
  std::size_t Capacity() const { return capacity_; }
  // Called, once, when the ring is about to overwrite the frame `sequence` or a later one: a
  // view that shows that frame takes in what is new before it goes. Then given again by the
  // view for the frames it shows now.
  void WatchFrom(std::uint64_t sequence, std::function<void()> beforeOverwrite);
  const ExchangeCounters& Counters() const { return counters_; }
  // While paused, frames are counted and logged but not kept, so that what is kept stays
  // still to be read.
  void SetPaused(bool paused) { paused_ = paused; }
  bool Paused() const { return paused_; }
  // Forgets the frames kept and zeroes the counters.
  void Clear();
  void SetLog(ExchangeLogFile* log) { log_ = log; }

 private:
  void Count(const FrameEvent& event);

  std::size_t capacity_;
  FrameRing ring_;
  ExchangeCounters counters_;
  std::uint64_t watchedFrom_ = 0;
  std::function<void()> beforeOverwrite_;
  WallClock clock_;
  ExchangeLogFile* log_ = nullptr;
  bool paused_ = false;
  FrameRecord scratch_{};  // the record of a frame not kept (paused) but logged
};

}  // namespace torvex
