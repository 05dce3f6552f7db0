#pragma once
// The living plant behind the controller's inputs: temperatures, current loops and contacts on
// the 32 analog channels, the board temperature, an engine and a propeller shaft that goes
// ahead, stops and goes astern. Every value is a function of the seed and the time alone, so a
// run is reproducible and nothing needs a timer while nobody asks.
#include <array>
#include <cstdint>

#include "sim/eeprom.h"

namespace torvex::sim {

// Status word bits the tool reads.
inline constexpr std::uint16_t kShaftAhead = 1u << 0;
inline constexpr std::uint16_t kShaftAstern = 1u << 1;
inline constexpr std::uint16_t kDirectionInvalid = 1u << 9;
inline constexpr std::uint16_t kTemperatureSensorAbsent = 1u << 15;

// What the inputs read at one moment, in the controller's register units.
struct PlantReadings {
  // Per analog channel (AIN1 inputs 0-15, then AIN2 inputs 0-15), by its sensor type:
  //                     sensor value                 input value
  //   discrete          0 off / 1 on                 input voltage, 0.1 mV
  //   Pt100, even       resistance, 0.01 Ohm         sensor voltage, 0.01 mV
  //   Pt100, odd        temperature, 0.1 degC        resistance, 0.01 Ohm
  //   Pt1000, even      resistance, 0.1 Ohm          sensor voltage, 0.1 mV
  //   Pt1000, odd       temperature, 0.1 degC        resistance, 0.1 Ohm
  //   type K            temperature, 0.1 degC        thermocouple EMF, 2 uV
  //   4-20 mA           percent of span, 0.01 %      loop current, 1 uA
  //   off or unknown    0                            0
  std::array<std::int16_t, kAnalogChannels> sensor{};
  std::array<std::int16_t, kAnalogChannels> input{};
  // Converter readings in 0.1 mV: AIN1 converter channels 0-31, then AIN2 0-31. Converter
  // channel k (0-15) measures input k's signal, channel 16+k its reference (the excitation of a
  // resistance thermometer, the cold-junction sensor of a thermocouple); unused ones read noise.
  std::array<std::int16_t, 2 * kAnalogChannels> converter{};
  std::int16_t board_temperature = 0;  // 0.5 degC; 0 while the sensor is absent
  std::uint32_t engine_hz = 0;
  std::uint32_t shaft_hz = 0;
  std::uint16_t status = 0;
};

class Plant {
 public:
  // `frozen` holds every value at its time-zero state.
  Plant(std::uint64_t seed, bool frozen);

  // Readings at `t_ms` milliseconds after start, for the given sensor type of each channel.
  PlantReadings Sample(std::int64_t t_ms, const std::array<int, kAnalogChannels>& types) const;

 private:
  // A slow drift in [-1, 1]: three sinusoids with incommensurate periods of minutes.
  struct Drift {
    std::array<double, 3> period_s{}, phase{};
    double At(double t_s) const;
  };
  struct Channel {
    Drift drift;
    double rtd_celsius = 0, rtd_swing = 0;      // resistance thermometers
    double tc_celsius = 0, tc_swing = 0;        // thermocouples
    double loop_percent = 0, loop_swing = 0;    // current loops
    double contact_period_s = 0, contact_phase = 0, contact_duty = 0;
  };

  // Small measurement noise in [-1, 1], fixed within each 100 ms step.
  double Noise(std::uint64_t stream, std::int64_t step) const;

  std::uint64_t seed_;
  bool frozen_;
  std::array<Channel, kAnalogChannels> channels_{};
  Drift board_drift_, speed_drift_;
  double board_celsius_ = 0;
  double engine_idle_hz_ = 0, engine_cruise_hz_ = 0;
  double shaft_ahead_hz_ = 0, shaft_astern_hz_ = 0;
};

}  // namespace torvex::sim
