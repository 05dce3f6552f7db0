#include "params/param_table.h"

#include "paramfile/param_layout.h"

namespace torvex {

void InitParamTable(ParamTable& table) {
  for (int i = 0; i < kParamCount; ++i) {
    const paramfile::ParamSpot spot = paramfile::Spot(i);
    table.at(static_cast<std::size_t>(i)) = {spot.address, spot.width, spot.tenths ? 0.1 : 1.0};
  }
}

RawBounds RawBoundsForWidth(int width) {
  if (width == 1) return {0, 255};
  return {-32768, 32767};
}

}  // namespace torvex
