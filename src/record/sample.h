#pragma once
// A value sample: what one decoded status or converter answer measured, with the moment it
// was decoded. Registers are kept raw and compact (a day of samples stays in memory); the
// numbers, units and texts come from decode's rules through record/quantity.h.
#include <array>
#include <cstdint>
#include <variant>

#include "decode/readings.h"

namespace torvex::record {

inline constexpr int kConverterReadings = 64;  // AIN1 converter channels 0-31, then AIN2
inline constexpr int kDiscreteCount = 32;

// From a status answer (function 3, 180 bytes).
struct StatusSample {
  std::array<std::int16_t, kAnalogChannels> sensor;  // raw sensor values, channel order
  std::array<std::int16_t, kAnalogChannels> input;   // raw input values
  // The type each channel had in its parameter box at that moment, as the window read it.
  std::array<SensorType, kAnalogChannels> types;
  std::int16_t temperature;  // 0.5 °C per unit
  std::uint16_t statusWord;
  std::uint32_t engineSpeed;  // Hz (ДЗ3)
  std::uint32_t shaftSpeed;   // Hz (ДЗ1, ДЗ2)
  std::uint32_t inputs;       // bit i = discrete input i
  std::uint32_t outputs;      // bit i = discrete output i
  std::uint16_t protocolVersion;  // high byte major, low byte minor
  std::uint16_t softwareVersion;
};

// From a converter answer (the 64 registers from 3084), 0.1 mV per unit.
struct ConverterSample {
  std::array<std::int16_t, kConverterReadings> readings;
};

struct Sample {
  std::int64_t time;  // milliseconds since the epoch (UTC)
  std::variant<StatusSample, ConverterSample> values;
};

}  // namespace torvex::record
