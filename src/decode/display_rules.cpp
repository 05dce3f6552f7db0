#include "decode/display_rules.h"

#include <cmath>

#include "decode/controls.h"
#include "decode/numeric.h"
#include "decode/register_map.h"

namespace torvex {
namespace {

// Parameter boxes holding the sensor types of AIN1 and AIN2 channel 0.
constexpr int kAin1TypeBox = 8;
constexpr int kAin2TypeBox = 32;

ControlRef Grid(int index) { return {Control::lbl_u, index}; }

bool Even(int channel) { return channel % 2 == 0; }

void ShowUnknown(MainView& view, int index) { view.SetText(Grid(index), QStringLiteral("?")); }

QString DirectionText(int statusWord) {
  if (statusWord & reg::kDirectionInvalid) return QStringLiteral("?");
  if (statusWord & reg::kTurningForward) return QStringLiteral("Вперед");
  if (statusWord & reg::kTurningBackward) return QStringLiteral("Назад");
  return QStringLiteral("?");
}

}  // namespace

SensorType ChannelSensorType(const MainView& view, int channel) {
  const int box = channel < reg::kChannelsPerGroup
                      ? kAin1TypeBox + channel
                      : kAin2TypeBox + channel - reg::kChannelsPerGroup;
  const double type = ParseNumber(view.Text({Control::txt_par, box}));
  if (type >= 1 && type <= 5 && type == std::trunc(type)) {
    return static_cast<SensorType>(static_cast<int>(type));
  }
  return SensorType::kUnknown;
}

// Even channels of the resistance sensors carry resistance and bridge voltage, odd ones the
// temperature and resistance of the same sensor.
void ShowSensorValue(MainView& view, int channel, SensorType type, int value) {
  const ControlRef label = Grid(channel);
  switch (type) {
    case SensorType::kDiscrete:
      view.SetText(label, value == 0 ? QStringLiteral("Откл") : QStringLiteral("Вкл"));
      return;
    case SensorType::kPt100:
      if (Even(channel)) ShowReading(view, label, value, 2, 0.01, QStringLiteral("Ом"));
      else ShowReading(view, label, value, 1, 0.1, QStringLiteral("°C"));
      return;
    case SensorType::kPt1000:
      ShowReading(view, label, value, 1, 0.1,
                  Even(channel) ? QStringLiteral("Ом") : QStringLiteral("°C"));
      return;
    case SensorType::kThermocouple:
      ShowReading(view, label, value, 1, 0.1, QStringLiteral("°C"));
      return;
    case SensorType::kCurrentLoop:
      ShowReading(view, label, value, 2, 0.01, QStringLiteral("%"));
      return;
    case SensorType::kUnknown:
      break;
  }
  ShowUnknown(view, channel);
}

void ShowInputValue(MainView& view, int channel, SensorType type, int value) {
  const ControlRef label = Grid(kAnalogChannels + channel);
  const QString inputUnit = Even(channel) ? QStringLiteral("мВ") : QStringLiteral("Ом");
  switch (type) {
    case SensorType::kDiscrete:
      ShowReading(view, label, value, 1, 0.1, QStringLiteral("мВ"));
      return;
    case SensorType::kPt100:
      ShowReading(view, label, value, 2, 0.01, inputUnit);
      return;
    case SensorType::kPt1000:
      ShowReading(view, label, value, 1, 0.1, inputUnit);
      return;
    case SensorType::kThermocouple:
      ShowReading(view, label, value, 3, 0.002, QStringLiteral("мВ"));
      return;
    case SensorType::kCurrentLoop:
      ShowReading(view, label, value, 3, 0.001, QStringLiteral("мА"));
      return;
    case SensorType::kUnknown:
      break;
  }
  ShowUnknown(view, kAnalogChannels + channel);
}

void ShowConverterReading(MainView& view, int index, int raw) {
  ShowReading(view, Grid(index), raw, 2, 0.1, QString());
}

void ShowOutputsReadBack(MainView& view, int first, int bits) {
  for (int k = 0; k < 16; ++k) view.SetChecked({Control::chk_out, first + k}, (bits >> k) & 1);
}

void ShowDiscreteInputs(MainView& view, int first, int bits) {
  for (int k = 0; k < 16; ++k) view.SetOpaque({Control::lbl_eds, first + k}, (bits >> k) & 1);
}

void ShowVersion(MainView& view, ControlRef label, int word) {
  const int major = GetByte(word, 1);
  const int minor = GetByte(word, 0);
  view.SetText(label, FormatReading(major, 0, 1, QString()) +
                          (minor > 9 ? QStringLiteral(".") : QStringLiteral(".0")) +
                          FormatReading(minor, 0, 1, QString()));
}

void ShowTemperature(MainView& view, int raw, int statusWord) {
  const ControlRef label{Control::lbl_ds18b20};
  if (statusWord & reg::kTemperatureSensorAbsent) {
    view.SetText(label, QStringLiteral("Не подключен"));
  } else {
    ShowReading(view, label, raw, 10, 0.5, QStringLiteral("°C"));
  }
}

void ShowSpeed(MainView& view, ControlRef label, double hertz) {
  ShowReading(view, label, hertz, 1, 1, QStringLiteral("Гц"));
}

void ShowDirection(MainView& view, int statusWord) {
  view.SetText({Control::lbl_dir}, DirectionText(statusWord));
}

void ShowStatusWord(MainView& view, int statusWord) {
  view.SetText({Control::lbl_st_flt}, QStringLiteral("ST_FLT  ") + FormatHex(statusWord, 4));
}

}  // namespace torvex
