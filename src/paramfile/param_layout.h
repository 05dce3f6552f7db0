#pragma once
// The controller's 49 EEPROM parameters as bytes: where each lies in the 97-byte image, how
// wide it is, what it is called and how its value reads. Plain C++, no Qt: the tool and the
// simulator both read and write parameter files with it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace torvex::paramfile {

inline constexpr int kParamCount = 49;
inline constexpr std::size_t kImageSize = 97;
// The controller's own Modbus slave address: the only 1-byte parameter, the last one.
inline constexpr int kSlaveAddressParam = 48;

// The EEPROM from byte 0 to byte 96.
using ParamImage = std::array<std::uint8_t, kImageSize>;

struct ParamSpot {
  std::uint16_t address;  // first byte in the EEPROM
  std::uint8_t width;     // 1: unsigned 0-255; 2: signed 16-bit, high byte first
  bool tenths;            // the value shown is the stored integer / 10 (calibration points)
};

// Per analog group (AIN1 at byte 0, AIN2 at byte 48): eight calibration points, then the
// sensor types of inputs 0-15; the slave address at byte 96.
constexpr ParamSpot Spot(int index) {
  if (index == kSlaveAddressParam) return {96, 1, false};
  return {static_cast<std::uint16_t>(2 * index), 2, index % 24 < 8};
}

// The parameter whose first byte is at `address`; -1 when none starts there.
int ParamStartingAt(std::size_t address);

// "AIN1 Pt100, точка 1", "AIN2. Тип датчика, вход 15", "Адрес Modbus" (UTF-8).
std::string Caption(int index);

// The stored integer of a parameter.
std::int32_t Raw(const ParamImage& image, int index);
// The value as written in a file: the shortest decimal with a point ("12.3", "12", "-0.5"),
// a sensor type followed by its meaning ("3 (Pt1000)").
std::string ValueText(std::int32_t raw, int index);

// The parameters whose bytes differ, in index order.
std::vector<int> Differences(const ParamImage& a, const ParamImage& b);

// Slave addresses a controller can be given: 0 is the broadcast, 248-255 are reserved.
inline constexpr int kFirstSlaveAddress = 1;
inline constexpr int kLastSlaveAddress = 247;

}  // namespace torvex::paramfile
