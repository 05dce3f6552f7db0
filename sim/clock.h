#pragma once
// The simulator's one clock: monotonic microseconds, so a change of the wall clock never
// moves a due answer.
#include <cstdint>
#include <ctime>

namespace torvex::sim {

inline std::int64_t NowMicros() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000 + ts.tv_nsec / 1000;
}

}  // namespace torvex::sim
