#pragma once
// What the controller's measured registers mean as numbers: the scale, decimals and unit of
// each analog channel under its sensor type, of the converter readings, the temperature and
// the speeds, and the direction in the status word. The main window and the recorder both
// read the registers through these rules, so a file never disagrees with the window.
#include <array>
#include <cstdint>
#include <optional>

#include <QString>

namespace torvex {

// The 32 analog channels: AIN1 channel j is channel j, AIN2 channel j is channel 16+j.
// lbl_u(c) shows channel c's sensor value, lbl_u(32+c) its input value.
inline constexpr int kAnalogChannels = 32;

// The sensor type codes of the parameter boxes; anything else shows "?".
enum class SensorType : std::uint8_t { kUnknown, kDiscrete, kPt100, kPt1000, kThermocouple, kCurrentLoop };

// The sensor type of every channel, as the parameters set them now.
using ChannelTypes = std::array<SensorType, kAnalogChannels>;

// The type a parameter box's text sets: only a number exactly equal to 1-5 is a type, so
// "2", "2 " and "2,0" are a Pt100 and "2,5" or "x" are unknown.
SensorType SensorTypeFromText(const QString& text);

// How a raw register value becomes a number: raw x scale, rounded to `decimals`, in `unit`.
struct ReadingRule {
  double scale;
  int decimals;
  QString unit;
};

// The units of the channels, as the window writes them.
namespace unit {
inline const QString kOhm = QStringLiteral("Ом");
inline const QString kCelsius = QStringLiteral("°C");
inline const QString kMillivolt = QStringLiteral("мВ");
inline const QString kMilliampere = QStringLiteral("мА");
inline const QString kPercent = QStringLiteral("%");
inline const QString kHertz = QStringLiteral("Гц");
}  // namespace unit

// The sensor value of a channel as a number. None for a discrete sensor (shown as
// "Откл"/"Вкл") and for an unknown type ("?").
std::optional<ReadingRule> SensorRule(int channel, SensorType type);
// The input value of a channel; none for an unknown type.
std::optional<ReadingRule> InputRule(int channel, SensorType type);

// A discrete sensor is on for any nonzero value, negative ones included.
inline bool DiscreteOn(int value) { return value != 0; }

// The converter readings: 0.1 mV per unit, two decimals (unit in the grid's caption).
inline const ReadingRule kConverterRule{0.1, 2, unit::kMillivolt};
// The board's temperature sensor: 0.5 °C per unit.
inline const ReadingRule kTemperatureRule{0.5, 10, unit::kCelsius};
// Both speeds: whole hertz, shown with up to one decimal.
inline const ReadingRule kSpeedRule{1, 1, unit::kHertz};

// The propeller shaft's direction from the status word: an invalid direction wins over
// forward, forward over backward; neither bit set is unknown too.
enum class Direction { kUnknown, kForward, kBackward };
Direction ShaftDirection(int statusWord);
// Whether the status word says the board's temperature sensor is absent.
bool TemperatureSensorAbsent(int statusWord);

}  // namespace torvex
