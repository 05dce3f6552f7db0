#include "sim/plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
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
Manoeuvre ManoeuvreAt(double seconds) {
  constexpr double kRoundSeconds = 120;
  const double u = std::fmod(seconds / kRoundSeconds + 0.2, 1.0);
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
bool TemperatureSensorPresent(double seconds) {
  const double u = std::fmod(seconds / 150.0, 1.0);
  return u < 0.60 || u >= 0.66;
}

// Below this the two shaft sensors cannot tell the direction.
constexpr std::uint32_t kDirectionThresholdHz = 30;

// The bench output wired to analog channel `c`, if any: its index among the current or the
// voltage outputs.
std::optional<std::size_t> WiredOutput(std::size_t c, std::size_t first, std::size_t count) {
  if (c < first || c >= first + count) return std::nullopt;
  return c - first;
}

}  // namespace

double Plant::Drift::At(double seconds) const {
  static constexpr std::array<double, 3> kWeight{0.6, 0.3, 0.1};
  double x = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    x += kWeight[k] * std::sin(kTwoPi * seconds / periodSeconds[k] + phase[k]);
  }
  return x;
}

Plant::Plant(std::uint64_t seed, bool frozen) : seed_(seed), frozen_(frozen) {
  Draw draw(seed);
  auto drift = [&draw] {
    Drift d;
    d.periodSeconds = {draw.Uniform(400, 900), draw.Uniform(120, 400), draw.Uniform(30, 120)};
    for (double& p : d.phase) p = draw.Uniform(0, kTwoPi);
    return d;
  };
  for (Channel& c : channels_) {
    c.drift = drift();
    c.rtdCelsius = draw.Uniform(20, 85);
    c.rtdSwing = draw.Uniform(1, 5);
    c.tcCelsius = draw.Uniform(200, 450);
    c.tcSwing = draw.Uniform(5, 20);
    c.loopPercent = draw.Uniform(20, 80);
    c.loopSwing = draw.Uniform(3, 12);
    c.contactPeriodSeconds = draw.Uniform(15, 90);
    c.contactPhase = draw.Uniform(0, 1);
    c.contactDuty = draw.Uniform(0.3, 0.7);
  }
  boardDrift_ = drift();
  speedDrift_ = drift();
  boardCelsius_ = draw.Uniform(28, 36);
  engineIdleHz_ = draw.Uniform(550, 700);
  engineCruiseHz_ = draw.Uniform(1500, 2200);
  shaftAheadHz_ = draw.Uniform(350, 450);
  shaftAsternHz_ = draw.Uniform(150, 250);
}

double Plant::Noise(std::uint64_t stream, std::int64_t step) const {
  const std::uint64_t h = SplitMix(seed_ ^ SplitMix(stream) ^ SplitMix(static_cast<std::uint64_t>(step) + 0x5851F42D4C957F2Dull));
  return static_cast<double>(h >> 11) * 0x1.0p-52 - 1.0;
}

PlantReadings Plant::Sample(std::int64_t tMs, const std::array<int, kAnalogChannels>& types,
                            const BenchOutputs& outputs) const {
  if (frozen_) tMs = 0;
  const double seconds = static_cast<double>(tMs) / 1000.0;
  const std::int64_t step = tMs / 100;
  PlantReadings r;

  const double board = boardCelsius_ + 2.5 * boardDrift_.At(seconds) + 0.25 * Noise(1000, step);
  // The thermocouples' cold junction sits on the board beside the temperature sensor.
  const double coldJunction = board;

  for (std::size_t c = 0; c < kAnalogChannels; ++c) {
    const Channel& ch = channels_[c];
    const std::size_t input = c % 16;
    const bool even = input % 2 == 0;
    const std::size_t signal = (c / 16) * 32 + input;
    const std::size_t reference = signal + 16;
    auto noise = [&](std::uint64_t k) { return Noise(8 * c + k, step); };
    // A channel wired to an output reads it exactly while the plant is frozen.
    auto wiredNoise = [&](std::uint64_t k) { return frozen_ ? 0.0 : noise(k); };
    const double x = ch.drift.At(seconds);

    double sensor = 0, value = 0;
    double signalMv = 0.3 * noise(6), referenceMv = 0.3 * noise(7);  // an open input
    switch (types[c]) {
      case kSensorPt100:
      case kSensorPt1000: {
        const bool pt100 = types[c] == kSensorPt100;
        const double celsius = ch.rtdCelsius + ch.rtdSwing * x + 0.05 * noise(0);
        const double ohms = PlatinumResistance(pt100 ? 100 : 1000, celsius);
        const double excitationMa = pt100 ? 0.5 : 0.1;
        const double sensorMv = ohms * excitationMa;
        const double unit = pt100 ? 100 : 10;  // Pt100 in hundredths, Pt1000 in tenths
        sensor = even ? ohms * unit : celsius * 10;
        value = even ? sensorMv * unit : ohms * unit;
        signalMv = sensorMv;
        // The same current through the reference resistor (2 kOhm or 10 kOhm): 1 V.
        referenceMv = 1000 + 0.2 * noise(1);
        break;
      }
      case kSensorThermocouple: {
        double celsius = 0, emfMv = 0;
        if (const auto k = WiredOutput(c, kFirstDividerChannel, kVoltageOutputs)) {
          // The output's voltage through the 200:1 divider stands in for the thermocouple.
          emfMv = outputs.volts[*k] * 1000 / 200 + 0.004 * wiredNoise(0);
          celsius = TypeKCelsius(emfMv + TypeKMillivolts(coldJunction));
        } else {
          celsius = ch.tcCelsius + ch.tcSwing * x + 0.3 * noise(0);
          emfMv = TypeKMillivolts(celsius) - TypeKMillivolts(coldJunction);
        }
        sensor = celsius * 10;
        value = emfMv * 500;
        signalMv = emfMv;
        referenceMv = coldJunction * 10;  // a 10 mV/degC cold-junction sensor
        break;
      }
      case kSensorCurrentLoop: {
        double percent = 0, milliamps = 0;
        if (const auto k = WiredOutput(c, kFirstCurrentLoopChannel, kCurrentOutputs)) {
          // The output drives the loop; outside 4-20 mA it reads out of span, as it flows.
          milliamps = outputs.milliamps[*k] + 0.003 * wiredNoise(0);
          percent = (milliamps - 4) / 0.16;
        } else {
          percent = std::clamp(ch.loopPercent + ch.loopSwing * x + 0.05 * noise(0), 0.0, 100.0);
          milliamps = 4 + 0.16 * percent;
        }
        sensor = percent * 100;
        value = milliamps * 1000;
        signalMv = milliamps * 150;  // across the 150 Ohm shunt
        break;
      }
      case kSensorDiscrete: {
        const double phase = std::fmod(seconds / ch.contactPeriodSeconds + ch.contactPhase, 1.0);
        const bool closed = phase < ch.contactDuty;
        // 24 V through a 1:10 divider when closed, leakage when open.
        const double voltsMv = closed ? 2400 + 5 * noise(0) : 0.8 + 0.5 * noise(0);
        sensor = closed ? 1 : 0;
        value = voltsMv * 10;
        signalMv = voltsMv;
        break;
      }
      default:
        break;  // switched off: nothing is computed, the converter sees an open input
    }
    r.sensor[c] = Reading(sensor);
    r.input[c] = Reading(value);
    r.converter[signal] = Reading(signalMv * 10);
    r.converter[reference] = Reading(referenceMv * 10);
  }

  r.discreteInputs = outputs.discrete;

  const bool present = TemperatureSensorPresent(seconds);
  r.boardTemperature = present ? Reading(board * 2) : 0;

  const Manoeuvre m = ManoeuvreAt(seconds);
  const double speedFactor = 1 + 0.015 * speedDrift_.At(seconds);
  const double engine = (engineIdleHz_ + (engineCruiseHz_ - engineIdleHz_) * m.engine) *
                            speedFactor + 3 * Noise(1001, step);
  double shaft = m.shaft * (m.shaft >= 0 ? shaftAheadHz_ : shaftAsternHz_) * speedFactor;
  if (m.shaft != 0) shaft += (shaft > 0 ? 1 : -1) * std::abs(Noise(1002, step));
  r.engineHz = static_cast<std::uint32_t>(std::lround(engine));
  r.shaftHz = static_cast<std::uint32_t>(std::lround(std::abs(shaft)));

  if (r.shaftHz == 0) r.status = 0;
  else if (r.shaftHz < kDirectionThresholdHz) r.status = kDirectionInvalid;
  else r.status = shaft > 0 ? kShaftAhead : kShaftAstern;
  if (!present) r.status |= kTemperatureSensorAbsent;
  return r;
}

}  // namespace torvex::sim
