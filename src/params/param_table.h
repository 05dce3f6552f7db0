#pragma once
// The controller's 49 EEPROM parameters: where each lies, how wide it is, and the factor
// between the stored integer and the number the operator sees. Entry i belongs to box
// txt_par(i).
#include <array>
#include <cstdint>

#include "paramfile/param_layout.h"

namespace torvex {

struct ParamEntry {
  std::uint16_t address = 0;  // EEPROM byte address of the first byte
  std::uint8_t width = 0;     // 1 (unsigned 0-255) or 2 (signed 16-bit, high byte first)
  double scale = 1;           // shown value = raw x scale
  friend bool operator==(const ParamEntry&, const ParamEntry&) = default;
};

inline constexpr int kParamCount = paramfile::kParamCount;
// The controller's own Modbus slave address; the only 1-byte entry, written last.
inline constexpr int kSlaveAddressParam = paramfile::kSlaveAddressParam;

using ParamTable = std::array<ParamEntry, kParamCount>;

// Fills the table from the parameters' layout (paramfile::Spot): two analog groups of 8
// calibration points (scale 0.1) and 16 sensor types (scale 1), 2 bytes each from address 0
// on, then the slave address at 96, 1 byte.
void InitParamTable(ParamTable& table);

// Raw limits of an entry of the given width: 0-255 for 1 byte, signed 16-bit otherwise.
struct RawBounds {
  std::int32_t min;
  std::int32_t max;
};
RawBounds RawBoundsForWidth(int width);

}  // namespace torvex
