#include "engine/line_timing.h"

#include <cmath>

namespace torvex {
namespace {

constexpr int kRtuFixedGapAbove = 19200;
constexpr std::chrono::microseconds kRtuFixedGap{1750};

double StopBitCount(StopBits stopBits) {
  switch (stopBits) {
    case StopBits::One: return 1.0;
    case StopBits::OneAndHalf: return 1.5;
    case StopBits::Two: return 2.0;
  }
  return 1.0;
}

}  // namespace

LineTiming TimingOf(const std::optional<PortMode>& mode) {
  if (!mode || mode->speed <= 0) return {};
  const double bits = 1.0 + mode->dataBits + (mode->parity == Parity::None ? 0 : 1) +
                      StopBitCount(mode->stopBits);
  const double characterUs = bits * 1e6 / mode->speed;
  LineTiming timing;
  timing.character = std::chrono::microseconds(std::llround(characterUs));
  timing.frameGap = mode->speed > kRtuFixedGapAbove
                        ? kRtuFixedGap
                        : std::chrono::microseconds(std::llround(std::ceil(3.5 * characterUs)));
  return timing;
}

}  // namespace torvex
