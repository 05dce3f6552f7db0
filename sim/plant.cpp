#include "sim/plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "sim/sensors.h"

namespace torvex::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Draws from the seed the same way on every standard library (the std distributions do not).
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}
  double Uniform(double low, double high) {
    return low + (high - low) * static_cast<double>(engine_() >> 11) * 0x1.0p-53;
  }

 private:
  std::mt19937_64 engine_;
};

std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::int16_t Reading(double value) {
  return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768l, 32767l));
}

// Where the shaft is in its two-minute round: full ahead, slow down, stop, astern, stop, ahead.
// `shaft` is the signed fraction of the ahead or astern speed, `engine` the fraction between
// idle and cruise. Time zero lies in the middle of running ahead.
struct Manoeuvre {
  double shaft;
  double engine;
};
Manoeuvre ManoeuvreAt(double t_s) {
  constexpr double kRound_s = 120;
  const double u = std::fmod(t_s / kRound_s + 0.2, 1.0);
  auto ramp = [u](double from, double to) { return (u - from) / (to - from); };
  if (u < 0.40) return {1, 1};
  if (u < 0.47) return {1 - ramp(0.40, 0.47), 1 - ramp(0.40, 0.47)};
  if (u < 0.53) return {0, 0};
  if (u < 0.60) return {-ramp(0.53, 0.60), 0.5 * ramp(0.53, 0.60)};
  if (u < 0.75) return {-1, 0.5};
  if (u < 0.82) return {-(1 - ramp(0.75, 0.82)), 0.5 * (1 - ramp(0.75, 0.82))};
  if (u < 0.88) return {0, 0};
  return {ramp(0.88, 1.0), ramp(0.88, 1.0)};
}

// The board's temperature sensor drops out for nine seconds every two and a half minutes, as a
// loose connector does; never at time zero.
bool TemperatureSensorPresent(double t_s) {
  const double u = std::fmod(t_s / 150.0, 1.0);
  return u < 0.60 || u >= 0.66;
}

// Below this the two shaft sensors cannot tell the direction.
constexpr std::uint32_t kDirectionThreshold_hz = 30;

}  // namespace

double Plant::Drift::At(double t_s) const {
  static constexpr std::array<double, 3> kWeight{0.6, 0.3, 0.1};
  double x = 0;
  for (std::size_t k = 0; k < 3; ++k) x += kWeight[k] * std::sin(kTwoPi * t_s / period_s[k] + phase[k]);
  return x;
}

Plant::Plant(std::uint64_t seed, bool frozen) : seed_(seed), frozen_(frozen) {
  Draw draw(seed);
  auto drift = [&draw] {
    Drift d;
    d.period_s = {draw.Uniform(400, 900), draw.Uniform(120, 400), draw.Uniform(30, 120)};
    for (double& p : d.phase) p = draw.Uniform(0, kTwoPi);
    return d;
  };
  for (Channel& c : channels_) {
    c.drift = drift();
    c.rtd_celsius = draw.Uniform(20, 85);
    c.rtd_swing = draw.Uniform(1, 5);
    c.tc_celsius = draw.Uniform(200, 450);
    c.tc_swing = draw.Uniform(5, 20);
    c.loop_percent = draw.Uniform(20, 80);
    c.loop_swing = draw.Uniform(3, 12);
    c.contact_period_s = draw.Uniform(15, 90);
    c.contact_phase = draw.Uniform(0, 1);
    c.contact_duty = draw.Uniform(0.3, 0.7);
  }
  board_drift_ = drift();
  speed_drift_ = drift();
  board_celsius_ = draw.Uniform(28, 36);
  engine_idle_hz_ = draw.Uniform(550, 700);
  engine_cruise_hz_ = draw.Uniform(1500, 2200);
  shaft_ahead_hz_ = draw.Uniform(350, 450);
  shaft_astern_hz_ = draw.Uniform(150, 250);
}

double Plant::Noise(std::uint64_t stream, std::int64_t step) const {
  const std::uint64_t h = SplitMix(seed_ ^ SplitMix(stream) ^ SplitMix(static_cast<std::uint64_t>(step) + 0x5851F42D4C957F2Dull));
  return static_cast<double>(h >> 11) * 0x1.0p-52 - 1.0;
}

PlantReadings Plant::Sample(std::int64_t t_ms, const std::array<int, kAnalogChannels>& types) const {
  if (frozen_) t_ms = 0;
  const double t_s = static_cast<double>(t_ms) / 1000.0;
  const std::int64_t step = t_ms / 100;
  PlantReadings r;

  const double board = board_celsius_ + 2.5 * board_drift_.At(t_s) + 0.25 * Noise(1000, step);
  // The thermocouples' cold junction sits on the board beside the temperature sensor.
  const double cold_junction = board;

  for (std::size_t c = 0; c < kAnalogChannels; ++c) {
    const Channel& ch = channels_[c];
    const std::size_t input = c % 16;
    const bool even = input % 2 == 0;
    const std::size_t signal = (c / 16) * 32 + input;
    const std::size_t reference = signal + 16;
    auto noise = [&](std::uint64_t k) { return Noise(8 * c + k, step); };
    const double x = ch.drift.At(t_s);

    double sensor = 0, value = 0;
    double signal_mv = 0.3 * noise(6), reference_mv = 0.3 * noise(7);  // an open input
    switch (types[c]) {
      case kSensorPt100:
      case kSensorPt1000: {
        const bool pt100 = types[c] == kSensorPt100;
        const double celsius = ch.rtd_celsius + ch.rtd_swing * x + 0.05 * noise(0);
        const double ohms = PlatinumResistance(pt100 ? 100 : 1000, celsius);
        const double excitation_ma = pt100 ? 0.5 : 0.1;
        const double sensor_mv = ohms * excitation_ma;
        const double unit = pt100 ? 100 : 10;  // Pt100 in hundredths, Pt1000 in tenths
        sensor = even ? ohms * unit : celsius * 10;
        value = even ? sensor_mv * unit : ohms * unit;
        signal_mv = sensor_mv;
        // The same current through the reference resistor (2 kOhm or 10 kOhm): 1 V.
        reference_mv = 1000 + 0.2 * noise(1);
        break;
      }
      case kSensorThermocouple: {
        const double celsius = ch.tc_celsius + ch.tc_swing * x + 0.3 * noise(0);
        const double emf_mv = TypeKMillivolts(celsius) - TypeKMillivolts(cold_junction);
        sensor = celsius * 10;
        value = emf_mv * 500;
        signal_mv = emf_mv;
        reference_mv = cold_junction * 10;  // a 10 mV/degC cold-junction sensor
        break;
      }
      case kSensorCurrentLoop: {
        const double percent = std::clamp(ch.loop_percent + ch.loop_swing * x + 0.05 * noise(0), 0.0, 100.0);
        const double milliamps = 4 + 0.16 * percent;
        sensor = percent * 100;
        value = milliamps * 1000;
        signal_mv = milliamps * 150;  // across the 150 Ohm shunt
        break;
      }
      case kSensorDiscrete: {
        const double phase = std::fmod(t_s / ch.contact_period_s + ch.contact_phase, 1.0);
        const bool closed = phase < ch.contact_duty;
        // 24 V through a 1:10 divider when closed, leakage when open.
        const double volts_mv = closed ? 2400 + 5 * noise(0) : 0.8 + 0.5 * noise(0);
        sensor = closed ? 1 : 0;
        value = volts_mv * 10;
        signal_mv = volts_mv;
        break;
      }
      default:
        break;  // switched off: nothing is computed, the converter sees an open input
    }
    r.sensor[c] = Reading(sensor);
    r.input[c] = Reading(value);
    r.converter[signal] = Reading(signal_mv * 10);
    r.converter[reference] = Reading(reference_mv * 10);
  }

  const bool present = TemperatureSensorPresent(t_s);
  r.board_temperature = present ? Reading(board * 2) : 0;

  const Manoeuvre m = ManoeuvreAt(t_s);
  const double speed_factor = 1 + 0.015 * speed_drift_.At(t_s);
  const double engine = (engine_idle_hz_ + (engine_cruise_hz_ - engine_idle_hz_) * m.engine) *
                            speed_factor + 3 * Noise(1001, step);
  double shaft = m.shaft * (m.shaft >= 0 ? shaft_ahead_hz_ : shaft_astern_hz_) * speed_factor;
  if (m.shaft != 0) shaft += (shaft > 0 ? 1 : -1) * std::abs(Noise(1002, step));
  r.engine_hz = static_cast<std::uint32_t>(std::lround(engine));
  r.shaft_hz = static_cast<std::uint32_t>(std::lround(std::abs(shaft)));

  if (r.shaft_hz == 0) r.status = 0;
  else if (r.shaft_hz < kDirectionThreshold_hz) r.status = kDirectionInvalid;
  else r.status = shaft > 0 ? kShaftAhead : kShaftAstern;
  if (!present) r.status |= kTemperatureSensorAbsent;
  return r;
}

}  // namespace torvex::sim
