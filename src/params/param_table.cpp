#include "params/param_table.h"

namespace torvex {

void InitParamTable(ParamTable& table) {
  constexpr int kPerGroup = 24;
  constexpr int kCalibrationPoints = 8;
  for (int group = 0; group < 2; ++group) {
    for (int k = 0; k < kPerGroup; ++k) {
      const int i = kPerGroup * group + k;
      table.at(static_cast<std::size_t>(i)) = {static_cast<std::uint16_t>(2 * i), 2,
                                               k < kCalibrationPoints ? 0.1 : 1.0};
    }
  }
  table.at(kSlaveAddressParam) = {96, 1, 1.0};
}

RawBounds RawBoundsForWidth(int width) {
  if (width == 1) return {0, 255};
  return {-32768, 32767};
}

}  // namespace torvex
