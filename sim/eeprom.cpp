#include "sim/eeprom.h"

#include <algorithm>
#include <cassert>

namespace torvex::sim {
namespace {

// Reference readings of each sensor kind at its two calibration points (0 and 100 degC; 4 and
// 20 mA), in tenths: Pt100 100.0/138.5 Ohm, Pt1000 1000.0/1385.0 Ohm, type K 0.0/4.1 mV.
constexpr std::array<std::int16_t, 8> kCalibration{1000, 1385, 10000, 13850, 0, 41, 40, 200};

// A demo bench: both parities of every resistance thermometer, thermocouples, current loops,
// contacts and a few inputs switched off.
constexpr std::array<std::int16_t, 16> kAin1Types{2, 2, 3, 3, 4, 4, 5, 5, 1, 1, 1, 1, 5, 5, 0, 0};
constexpr std::array<std::int16_t, 16> kAin2Types{2, 2, 2, 2, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 1, 0};

constexpr std::uint8_t kDefaultAddress = 7;

}  // namespace

Eeprom Eeprom::Defaults() {
  Eeprom e;
  auto put = [&e](std::size_t address, std::int16_t value) {
    const auto raw = static_cast<std::uint16_t>(value);
    e.bytes_[address] = static_cast<std::uint8_t>(raw >> 8);
    e.bytes_[address + 1] = static_cast<std::uint8_t>(raw & 0xFF);
  };
  for (std::size_t group = 0; group < 2; ++group) {
    const std::size_t base = 48 * group;
    for (std::size_t k = 0; k < kCalibration.size(); ++k) put(base + 2 * k, kCalibration[k]);
    const auto& types = group == 0 ? kAin1Types : kAin2Types;
    for (std::size_t input = 0; input < 16; ++input) put(base + 16 + 2 * input, types[input]);
  }
  e.bytes_[kAddressByte] = kDefaultAddress;
  return e;
}

std::span<const std::uint8_t> Eeprom::Read(std::size_t start, std::size_t count) const {
  assert(start + count <= kEepromSize);
  return std::span(bytes_).subspan(start, count);
}

bool Eeprom::Write(std::size_t start, std::span<const std::uint8_t> data) {
  assert(start + data.size() <= kEepromSize);
  const bool changed = !std::equal(data.begin(), data.end(), bytes_.begin() + start);
  std::copy(data.begin(), data.end(), bytes_.begin() + start);
  return changed;
}

std::int16_t Eeprom::Word(std::size_t address) const {
  assert(address + 1 < kEepromSize);
  return static_cast<std::int16_t>(bytes_[address] << 8 | bytes_[address + 1]);
}

int Eeprom::SensorTypeOf(std::size_t channel) const {
  assert(channel < kAnalogChannels);
  return Word(SensorTypeAddress(channel));
}

std::array<int, kAnalogChannels> Eeprom::SensorTypes() const {
  std::array<int, kAnalogChannels> types{};
  for (std::size_t c = 0; c < kAnalogChannels; ++c) types[c] = SensorTypeOf(c);
  return types;
}

}  // namespace torvex::sim
