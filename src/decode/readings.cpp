#include "decode/readings.h"

#include <cmath>

#include "decode/numeric.h"
#include "decode/register_map.h"

namespace torvex {
namespace {

// Even channels of the resistance sensors carry resistance and bridge voltage, odd ones the
// temperature and resistance of the same sensor.
struct TypeRules {
  SensorType type;
  std::optional<ReadingRule> sensorEven, sensorOdd;
  ReadingRule inputEven, inputOdd;
};

const TypeRules kRules[] = {
    {SensorType::kDiscrete, std::nullopt, std::nullopt,  //
     {0.1, 1, unit::kMillivolt}, {0.1, 1, unit::kMillivolt}},
    {SensorType::kPt100, ReadingRule{0.01, 2, unit::kOhm}, ReadingRule{0.1, 1, unit::kCelsius},
     {0.01, 2, unit::kMillivolt}, {0.01, 2, unit::kOhm}},
    {SensorType::kPt1000, ReadingRule{0.1, 1, unit::kOhm}, ReadingRule{0.1, 1, unit::kCelsius},
     {0.1, 1, unit::kMillivolt}, {0.1, 1, unit::kOhm}},
    {SensorType::kThermocouple, ReadingRule{0.1, 1, unit::kCelsius},
     ReadingRule{0.1, 1, unit::kCelsius}, {0.002, 3, unit::kMillivolt},
     {0.002, 3, unit::kMillivolt}},
    {SensorType::kCurrentLoop, ReadingRule{0.01, 2, unit::kPercent},
     ReadingRule{0.01, 2, unit::kPercent}, {0.001, 3, unit::kMilliampere},
     {0.001, 3, unit::kMilliampere}},
};

const TypeRules* Find(SensorType type) {
  for (const TypeRules& rules : kRules) {
    if (rules.type == type) return &rules;
  }
  return nullptr;
}

bool Even(int channel) { return channel % 2 == 0; }

}  // namespace

std::optional<ReadingRule> SensorRule(int channel, SensorType type) {
  const TypeRules* rules = Find(type);
  if (!rules) return std::nullopt;
  return Even(channel) ? rules->sensorEven : rules->sensorOdd;
}

std::optional<ReadingRule> InputRule(int channel, SensorType type) {
  const TypeRules* rules = Find(type);
  if (!rules) return std::nullopt;
  return Even(channel) ? rules->inputEven : rules->inputOdd;
}

Direction ShaftDirection(int statusWord) {
  if (statusWord & reg::kDirectionInvalid) return Direction::kUnknown;
  if (statusWord & reg::kTurningForward) return Direction::kForward;
  if (statusWord & reg::kTurningBackward) return Direction::kBackward;
  return Direction::kUnknown;
}

bool TemperatureSensorAbsent(int statusWord) {
  return (statusWord & reg::kTemperatureSensorAbsent) != 0;
}

SensorType SensorTypeFromText(const QString& text) {
  const double type = ParseNumber(text);
  if (type >= 1 && type <= 5 && type == std::trunc(type)) {
    return static_cast<SensorType>(static_cast<int>(type));
  }
  return SensorType::kUnknown;
}

}  // namespace torvex
