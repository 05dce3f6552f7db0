#pragma once
// The controller's parameter memory: 97 bytes. Bytes 0-95 are 48 signed 16-bit parameters,
// high byte first (per group AIN1 at 0, AIN2 at 48: eight calibration points, then the sensor
// types of inputs 0-15); byte 96 is the controller's own Modbus address.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace torvex::sim {

inline constexpr std::size_t kEepromSize = 97;
inline constexpr std::size_t kAddressByte = 96;
inline constexpr std::size_t kAnalogChannels = 32;  // AIN1 inputs 0-15, then AIN2 inputs 0-15

enum SensorType : int {
  kSensorOff = 0,
  kSensorDiscrete = 1,
  kSensorPt100 = 2,
  kSensorPt1000 = 3,
  kSensorThermocouple = 4,  // type K
  kSensorCurrentLoop = 5,   // 4-20 mA
};

class Eeprom {
 public:
  // Sensible factory contents: every sensor type in use, calibration points, address 7.
  static Eeprom Defaults();

  const std::array<std::uint8_t, kEepromSize>& Bytes() const { return bytes_; }
  std::span<const std::uint8_t> Read(std::size_t start, std::size_t count) const;
  // Stores `data` from `start` on; returns whether any byte changed. The range must fit.
  bool Write(std::size_t start, std::span<const std::uint8_t> data);

  std::int16_t Word(std::size_t address) const;
  // Sensor type code of analog channel 0-31 as stored (any value; unknown ones read as off).
  int SensorTypeOf(std::size_t channel) const;
  std::array<int, kAnalogChannels> SensorTypes() const;
  std::uint8_t ModbusAddress() const { return bytes_[kAddressByte]; }

  friend bool operator==(const Eeprom&, const Eeprom&) = default;

 private:
  std::array<std::uint8_t, kEepromSize> bytes_{};
};

// EEPROM address of the sensor type of analog channel 0-31.
constexpr std::size_t SensorTypeAddress(std::size_t channel) {
  return (channel < 16 ? 16 : 64) + 2 * (channel % 16);
}

}  // namespace torvex::sim
