#include "record/quantity.h"

#include <algorithm>

#include "decode/register_map.h"

namespace torvex::record {
namespace {

constexpr SensorType kTypes[] = {SensorType::kDiscrete, SensorType::kPt100, SensorType::kPt1000,
                                 SensorType::kThermocouple, SensorType::kCurrentLoop};

// The shaft's direction as its number: forward 1, astern -1, none when unknown.
std::optional<double> DirectionNumber(int statusWord) {
  switch (ShaftDirection(statusWord)) {
    case Direction::kForward: return 1.0;
    case Direction::kBackward: return -1.0;
    case Direction::kUnknown: break;
  }
  return std::nullopt;
}

Value Scaled(double raw, const ReadingRule& rule) {
  return {raw * rule.scale, rule.decimals, rule.unit};
}

QString Channel(int channel) {
  const int group = channel / reg::kChannelsPerGroup;
  return QStringLiteral("AIN%1.%2").arg(group + 1).arg(channel % reg::kChannelsPerGroup);
}

}  // namespace

bool CarriedByStatus(Quantity quantity) { return quantity.measure != Measure::kConverter; }

std::optional<Value> ValueOf(const StatusSample& s, Quantity q) {
  switch (q.measure) {
    case Measure::kSensor: {
      const SensorType type = s.types[q.index];
      const int raw = s.sensor[q.index];
      if (type == SensorType::kDiscrete) return Value{DiscreteOn(raw) ? 1.0 : 0.0, 0, kOnOffUnit};
      if (const auto rule = SensorRule(q.index, type)) return Scaled(raw, *rule);
      return std::nullopt;
    }
    case Measure::kInput:
      if (const auto rule = InputRule(q.index, s.types[q.index])) {
        return Scaled(s.input[q.index], *rule);
      }
      return std::nullopt;
    case Measure::kTemperature:
      if (TemperatureSensorAbsent(s.statusWord)) return std::nullopt;
      return Scaled(s.temperature, kTemperatureRule);
    case Measure::kEngineSpeed:
      return Scaled(s.engineSpeed, kSpeedRule);
    case Measure::kShaftSpeed:
      return Scaled(s.shaftSpeed, kSpeedRule);
    case Measure::kDirection:
      if (const auto number = DirectionNumber(s.statusWord)) return Value{*number, 0, kDirectionUnit};
      return std::nullopt;
    case Measure::kConverter:
      break;
  }
  return std::nullopt;
}

std::optional<Value> ValueOf(const ConverterSample& s, Quantity q) {
  if (q.measure != Measure::kConverter) return std::nullopt;
  return Scaled(s.readings[q.index], kConverterRule);
}

std::optional<Value> ValueOf(const Sample& sample, Quantity quantity) {
  return std::visit([&](const auto& values) { return ValueOf(values, quantity); },
                    sample.values);
}

QuantityReader::QuantityReader(Quantity quantity)
    : quantity_(quantity), units_(PossibleUnits(quantity)) {
  for (SensorType type : kTypes) {
    Rule& rule = byType_[static_cast<std::size_t>(type)];
    if (quantity.measure == Measure::kSensor) {
      if (type == SensorType::kDiscrete) {
        rule = RuleOf(ReadingRule{1, 0, kOnOffUnit});
        rule.onOff = true;
      } else {
        rule = RuleOf(SensorRule(quantity.index, type));
      }
    } else if (quantity.measure == Measure::kInput) {
      rule = RuleOf(InputRule(quantity.index, type));
    }
  }
  switch (quantity.measure) {
    case Measure::kConverter: fixed_ = RuleOf(kConverterRule); break;
    case Measure::kTemperature: fixed_ = RuleOf(kTemperatureRule); break;
    case Measure::kEngineSpeed:
    case Measure::kShaftSpeed: fixed_ = RuleOf(kSpeedRule); break;
    case Measure::kDirection: fixed_ = RuleOf(ReadingRule{1, 0, kDirectionUnit}); break;
    case Measure::kSensor:
    case Measure::kInput: break;
  }
}

QuantityReader::Rule QuantityReader::RuleOf(const std::optional<ReadingRule>& rule) const {
  if (!rule) return {};
  const auto unit = std::find(units_.begin(), units_.end(), rule->unit);
  return {true, false, rule->scale, static_cast<int>(unit - units_.begin())};
}

std::optional<QuantityReader::Reading> QuantityReader::operator()(const StatusSample& s) const {
  const int i = quantity_.index;
  switch (quantity_.measure) {
    case Measure::kSensor: {
      const Rule& rule = byType_[static_cast<std::size_t>(s.types[i])];
      if (!rule.known) return std::nullopt;
      if (rule.onOff) return Reading{DiscreteOn(s.sensor[i]) ? 1.0 : 0.0, rule.unit};
      return Reading{s.sensor[i] * rule.scale, rule.unit};
    }
    case Measure::kInput: {
      const Rule& rule = byType_[static_cast<std::size_t>(s.types[i])];
      if (!rule.known) return std::nullopt;
      return Reading{s.input[i] * rule.scale, rule.unit};
    }
    case Measure::kTemperature:
      if (TemperatureSensorAbsent(s.statusWord)) return std::nullopt;
      return Reading{s.temperature * fixed_.scale, fixed_.unit};
    case Measure::kEngineSpeed: return Reading{s.engineSpeed * fixed_.scale, fixed_.unit};
    case Measure::kShaftSpeed: return Reading{s.shaftSpeed * fixed_.scale, fixed_.unit};
    case Measure::kDirection:
      if (const auto number = DirectionNumber(s.statusWord)) return Reading{*number, fixed_.unit};
      return std::nullopt;
    case Measure::kConverter: break;
  }
  return std::nullopt;
}

std::optional<QuantityReader::Reading> QuantityReader::operator()(
    const ConverterSample& s) const {
  if (quantity_.measure != Measure::kConverter) return std::nullopt;
  return Reading{s.readings[quantity_.index] * fixed_.scale, fixed_.unit};
}

QString QuantityName(Quantity q) {
  switch (q.measure) {
    case Measure::kSensor: return Channel(q.index) + QStringLiteral(" датчик");
    case Measure::kInput: return Channel(q.index) + QStringLiteral(" вход");
    case Measure::kConverter: {
      const int perGroup = kConverterReadings / 2;
      return QStringLiteral("АЦП AIN%1.%2").arg(q.index / perGroup + 1).arg(q.index % perGroup);
    }
    case Measure::kTemperature: return QStringLiteral("Температура");
    case Measure::kEngineSpeed: return QStringLiteral("Двигатель ДЗ3");
    case Measure::kShaftSpeed: return QStringLiteral("Гребной вал");
    case Measure::kDirection: return QStringLiteral("Направление вала");
  }
  return {};
}

std::vector<Quantity> AllQuantities() {
  std::vector<Quantity> all;
  for (int c = 0; c < kAnalogChannels; ++c) {
    all.push_back({Measure::kSensor, c});
    all.push_back({Measure::kInput, c});
  }
  for (int n = 0; n < kConverterReadings; ++n) all.push_back({Measure::kConverter, n});
  all.push_back({Measure::kTemperature});
  all.push_back({Measure::kEngineSpeed});
  all.push_back({Measure::kShaftSpeed});
  all.push_back({Measure::kDirection});
  return all;
}

std::vector<QString> PossibleUnits(Quantity q) {
  std::vector<QString> units;
  const auto add = [&units](const QString& unit) {
    if (std::find(units.begin(), units.end(), unit) == units.end()) units.push_back(unit);
  };
  switch (q.measure) {
    case Measure::kSensor:
      for (SensorType type : kTypes) {
        if (type == SensorType::kDiscrete) add(kOnOffUnit);
        else if (const auto rule = SensorRule(q.index, type)) add(rule->unit);
      }
      break;
    case Measure::kInput:
      for (SensorType type : kTypes) {
        if (const auto rule = InputRule(q.index, type)) add(rule->unit);
      }
      break;
    case Measure::kConverter: add(kConverterRule.unit); break;
    case Measure::kTemperature: add(kTemperatureRule.unit); break;
    case Measure::kEngineSpeed:
    case Measure::kShaftSpeed: add(kSpeedRule.unit); break;
    case Measure::kDirection: add(kDirectionUnit); break;
  }
  return units;
}

}  // namespace torvex::record
