#include "paramfile/param_layout.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace torvex::paramfile {
namespace {

constexpr int kGroupParams = 24;
constexpr int kCalibrationPoints = 8;
// The rows of the calibration blocks, as the window captions them.
constexpr std::string_view kSensorRows[4] = {"Pt100", "Pt1000", "ТХА", "4-20мА"};
// The legend of the sensor-type codes.
constexpr std::string_view kSensorTypes[6] = {"отключен", "дискретный", "Pt100",
                                               "Pt1000",   "ТХА",        "4-20 мА"};

std::string Dec(std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

int ParamStartingAt(std::size_t address) {
  if (address == Spot(kSlaveAddressParam).address) return kSlaveAddressParam;
  if (address % 2 != 0 || address >= Spot(kSlaveAddressParam).address) return -1;
  return static_cast<int>(address / 2);
}

std::string Caption(int index) {
  if (index == kSlaveAddressParam) return "Адрес Modbus";
  const std::string group = index < kGroupParams ? "AIN1" : "AIN2";
  const int k = index % kGroupParams;
  if (k < kCalibrationPoints) {
    return group + " " + std::string(kSensorRows[k / 2]) + ", точка " + Dec(k % 2 + 1);
  }
  return group + ". Тип датчика, вход " + Dec(k - kCalibrationPoints);
}

std::int32_t Raw(const ParamImage& image, int index) {
  const ParamSpot spot = Spot(index);
  if (spot.width == 1) return image[spot.address];
  return static_cast<std::int16_t>(image[spot.address] << 8 | image[spot.address + 1]);
}

std::string ValueText(std::int32_t raw, int index) {
  const ParamSpot spot = Spot(index);
  if (spot.tenths) {
    const std::int64_t magnitude = std::llabs(raw);
    std::string text = (raw < 0 ? "-" : "") + Dec(magnitude / 10);
    if (magnitude % 10 != 0) text += "." + Dec(magnitude % 10);
    return text;
  }
  std::string text = Dec(raw);
  const bool sensorType = index != kSlaveAddressParam;
  if (sensorType && raw >= 0 && raw < static_cast<std::int32_t>(std::size(kSensorTypes))) {
    text += " (" + std::string(kSensorTypes[raw]) + ")";
  }
  return text;
}

std::vector<int> Differences(const ParamImage& a, const ParamImage& b) {
  std::vector<int> differing;
  for (int i = 0; i < kParamCount; ++i) {
    if (Raw(a, i) != Raw(b, i)) differing.push_back(i);
  }
  return differing;
}

}  // namespace torvex::paramfile
