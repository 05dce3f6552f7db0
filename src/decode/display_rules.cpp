#include "decode/display_rules.h"

#include "decode/controls.h"
#include "decode/numeric.h"
#include "decode/register_map.h"

namespace torvex {
namespace {

ControlRef Grid(int index) { return {Control::lbl_u, index}; }

void ShowUnknown(MainView& view, int index) { view.SetText(Grid(index), QStringLiteral("?")); }

QString DirectionText(int statusWord) {
  switch (ShaftDirection(statusWord)) {
    case Direction::kForward: return QStringLiteral("Вперед");
    case Direction::kBackward: return QStringLiteral("Назад");
    case Direction::kUnknown: break;
  }
  return QStringLiteral("?");
}

}  // namespace

void ShowSensorValue(MainView& view, int channel, SensorType type, int value) {
  const ControlRef label = Grid(channel);
  if (type == SensorType::kDiscrete) {
    view.SetText(label, DiscreteOn(value) ? QStringLiteral("Вкл") : QStringLiteral("Откл"));
  } else if (const auto rule = SensorRule(channel, type)) {
    ShowReading(view, label, value, rule->decimals, rule->scale, rule->unit);
  } else {
    ShowUnknown(view, channel);
  }
}

void ShowInputValue(MainView& view, int channel, SensorType type, int value) {
  const ControlRef label = Grid(kAnalogChannels + channel);
  if (const auto rule = InputRule(channel, type)) {
    ShowReading(view, label, value, rule->decimals, rule->scale, rule->unit);
  } else {
    ShowUnknown(view, kAnalogChannels + channel);
  }
}

void ShowConverterReading(MainView& view, int index, int raw) {
  // The unit stands in the frame caption, not in the cell.
  ShowReading(view, Grid(index), raw, kConverterRule.decimals, kConverterRule.scale, QString());
}

void ShowOutputsReadBack(MainView& view, int first, int bits) {
  for (int k = 0; k < 16; ++k) view.SetChecked({Control::chk_out, first + k}, (bits >> k) & 1);
}

void ShowDiscreteInputs(MainView& view, int first, int bits) {
  for (int k = 0; k < 16; ++k) view.SetOpaque({Control::lbl_eds, first + k}, (bits >> k) & 1);
}

QString VersionText(int word) {
  const int major = GetByte(word, 1);
  const int minor = GetByte(word, 0);
  return FormatReading(major, 0, 1, QString()) +
         (minor > 9 ? QStringLiteral(".") : QStringLiteral(".0")) +
         FormatReading(minor, 0, 1, QString());
}

QString PlainVersionText(int word) { return VersionText(word).remove(u' '); }

void ShowVersion(MainView& view, ControlRef label, int word) {
  view.SetText(label, VersionText(word));
}

void ShowTemperature(MainView& view, int raw, int statusWord) {
  const ControlRef label{Control::lbl_ds18b20};
  if (TemperatureSensorAbsent(statusWord)) {
    view.SetText(label, QStringLiteral("Не подключен"));
  } else {
    ShowReading(view, label, raw, kTemperatureRule.decimals, kTemperatureRule.scale,
                kTemperatureRule.unit);
  }
}

void ShowSpeed(MainView& view, ControlRef label, double hertz) {
  ShowReading(view, label, hertz, kSpeedRule.decimals, kSpeedRule.scale, kSpeedRule.unit);
}

void ShowDirection(MainView& view, int statusWord) {
  view.SetText({Control::lbl_dir}, DirectionText(statusWord));
}

void ShowStatusWord(MainView& view, int statusWord) {
  view.SetText({Control::lbl_st_flt}, QStringLiteral("ST_FLT  ") + FormatHex(statusWord, 4));
}

}  // namespace torvex
