#pragma once
// The living plant behind the controller's inputs: temperatures, current loops and contacts on
// the 32 analog channels, the board temperature, an engine and a propeller shaft that goes
// ahead, stops and goes astern. Every value is a function of the seed, the time and what the
// controller drives onto its outputs, so a run is reproducible and nothing needs a timer while
// nobody asks.
//
// The controller stands on the standard loop-back test bench, wired for good:
//   - discrete output k (0-31) -> discrete input k;
//   - current output k (0-3, analog output k) -> the current loop of AIN2 input 10+k: while that
//     channel's sensor type is 4-20 mA, its loop current is the output's current;
//   - voltage output k (0-3, analog output 4+k) -> a 200:1 divider -> AIN2 input 6+k: while that
//     channel's sensor type is type K, its thermocouple EMF is the output's voltage / 200
//     (10 V -> 50 mV) and its temperature what that EMF means against the cold junction.
// A wired channel of any other type reads as its type says, like every other channel.
#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/eeprom.h"

namespace torvex::sim {

// Status word bits the tool reads.
inline constexpr std::uint16_t kShaftAhead = 1u << 0;
inline constexpr std::uint16_t kShaftAstern = 1u << 1;
inline constexpr std::uint16_t kDirectionInvalid = 1u << 9;
inline constexpr std::uint16_t kTemperatureSensorAbsent = 1u << 15;

inline constexpr std::size_t kCurrentOutputs = 4;  // analog outputs 0-3, 4-20 mA
inline constexpr std::size_t kVoltageOutputs = 4;  // analog outputs 4-7, 0-10 V
// Analog channels the bench wires to the first current and the first voltage output.
inline constexpr std::size_t kFirstCurrentLoopChannel = 16 + 10;
inline constexpr std::size_t kFirstDividerChannel = 16 + 6;

// What the controller drives onto the bench at one moment, as it leaves the terminals.
struct BenchOutputs {
  std::uint32_t discrete = 0;  // bit k: discrete output k on
  std::array<double, kCurrentOutputs> milliamps{4, 4, 4, 4};
  std::array<double, kVoltageOutputs> volts{};
};

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
  std::uint32_t discreteInputs = 0;  // bit k: discrete input k sees voltage
  std::int16_t boardTemperature = 0;  // 0.5 degC; 0 while the sensor is absent
  std::uint32_t engineHz = 0;
  std::uint32_t shaftHz = 0;
  std::uint16_t status = 0;
};

class Plant {
 public:
  // `frozen` holds every value at its time-zero state.
  Plant(std::uint64_t seed, bool frozen);

  // Readings at `tMs` milliseconds after start, for the given sensor type of each channel and
  // what the controller drives onto the bench.
  PlantReadings Sample(std::int64_t tMs, const std::array<int, kAnalogChannels>& types,
                       const BenchOutputs& outputs) const;

 private:
  // A slow drift in [-1, 1]: three sinusoids with incommensurate periods of minutes.
  struct Drift {
    std::array<double, 3> periodSeconds{}, phase{};
    double At(double seconds) const;
  };
  struct Channel {
    Drift drift;
    double rtdCelsius = 0, rtdSwing = 0;        // resistance thermometers
    double tcCelsius = 0, tcSwing = 0;          // thermocouples
    double loopPercent = 0, loopSwing = 0;      // current loops
    double contactPeriodSeconds = 0, contactPhase = 0, contactDuty = 0;
  };

  // Small measurement noise in [-1, 1], fixed within each 100 ms step.
  double Noise(std::uint64_t stream, std::int64_t step) const;

  std::uint64_t seed_;
  bool frozen_;
  std::array<Channel, kAnalogChannels> channels_{};
  Drift boardDrift_, speedDrift_;
  double boardCelsius_ = 0;
  double engineIdleHz_ = 0, engineCruiseHz_ = 0;
  double shaftAheadHz_ = 0, shaftAsternHz_ = 0;
};

}  // namespace torvex::sim
