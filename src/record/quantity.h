#pragma once
// The measured quantities of the controller as numbers: what a sample carries for each, its
// unit at that moment, and the names the file and the trends window give them. The numbers
// follow decode's rules, so they are the window's numbers.
#include <array>
#include <optional>
#include <vector>

#include <QString>

#include "record/sample.h"

namespace torvex::record {

// The state of a discrete sensor ("Откл"/"Вкл" in the window) as 0 or 1.
inline const QString kOnOffUnit = QStringLiteral("Откл/Вкл");
// The shaft's direction ("Вперед"/"Назад" in the window) as 1 or -1.
inline const QString kDirectionUnit = QStringLiteral("вперед 1 / назад -1");

// A measured value: `number` is the raw value times its scale; `decimals` is how many the
// window shows.
struct Value {
  double number;
  int decimals;
  QString unit;
};

enum class Measure {
  kSensor,       // index: channel 0-31 (AIN1 channel j is j, AIN2 channel j is 16+j)
  kInput,        // index: channel 0-31
  kConverter,    // index: 0-63 (AIN1 converter channels 0-31, then AIN2's)
  kTemperature,  // the board's sensor
  kEngineSpeed,  // ДЗ3
  kShaftSpeed,   // ДЗ1, ДЗ2
  kDirection,    // the shaft's direction: 1 forward, -1 astern; none where the window shows "?"
};

struct Quantity {
  Measure measure;
  int index = 0;
  friend bool operator==(const Quantity&, const Quantity&) = default;
};

// Whether samples of this kind carry the quantity (status or converter answers).
bool CarriedByStatus(Quantity quantity);

// The quantity's value in the sample; none when the sample is of the other kind, the
// channel's type is unknown ("?") or the temperature sensor is absent.
std::optional<Value> ValueOf(const Sample& sample, Quantity quantity);
std::optional<Value> ValueOf(const StatusSample& sample, Quantity quantity);
std::optional<Value> ValueOf(const ConverterSample& sample, Quantity quantity);

// Reads one quantity out of many samples, as ValueOf does, with the rule of each sensor type
// looked up once: for the trends, which read a day of samples at a time.
class QuantityReader {
 public:
  struct Reading {
    double number;
    int unit;  // index into Units()
  };

  explicit QuantityReader(Quantity quantity);
  std::optional<Reading> operator()(const StatusSample& sample) const;
  std::optional<Reading> operator()(const ConverterSample& sample) const;
  const std::vector<QString>& Units() const { return units_; }

 private:
  struct Rule {
    bool known = false;
    bool onOff = false;
    double scale = 0;
    int unit = 0;
  };
  Rule RuleOf(const std::optional<ReadingRule>& rule) const;

  Quantity quantity_;
  std::vector<QString> units_;
  std::array<Rule, 6> byType_{};  // by SensorType
  Rule fixed_{};                  // quantities without a sensor type
};

// "AIN1.0 датчик", "AIN2.15 вход", "АЦП AIN1.31", "Температура", "Двигатель ДЗ3",
// "Гребной вал", "Направление вала".
QString QuantityName(Quantity quantity);

// Every quantity that can be plotted, in the order of the trends window's list: AIN1 channels
// (sensor, input), AIN2 channels, converter inputs, temperature, speeds, the shaft's direction.
std::vector<Quantity> AllQuantities();

// The units a quantity can take under any sensor type, in a fixed order.
std::vector<QString> PossibleUnits(Quantity quantity);

}  // namespace torvex::record
