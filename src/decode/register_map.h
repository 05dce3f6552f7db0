#pragma once
// The TORVEX-CPU holding registers the tool reads and writes, as addresses on the line, and
// the two blocks the background poll reads. The request producers take their addresses from
// here; the decoder takes the register numbers within an answer.

namespace torvex::reg {

// A run of registers read with one function-3 request.
struct Block {
  int start;  // address of the first register
  int count;  // registers

  // The byte count of its answer.
  constexpr int ByteCount() const { return 2 * count; }
  // Register number within the block's answer of the register at `address`.
  constexpr int Offset(int address) const { return address - start; }
  constexpr bool Holds(int address, int registers = 1) const {
    return address >= start && address + registers <= start + count;
  }
};

// The background poll writes its transaction counter here (function 6).
inline constexpr int kTransactionCode = 3000;

// Discrete outputs, read back and set as one pair: bit k of 3001 is output 16+k, bit k of
// 3002 is output k.
inline constexpr int kOutputsHigh = 3001;
inline constexpr int kOutputsLow = 3002;
inline constexpr Block kDiscreteOutputs{kOutputsHigh, 2};

// Analog outputs 0-7 (txt_dac 0-7): raw converter codes. Output 0 shares its address with
// discrete outputs 0-15; that is how the controller maps them.
inline constexpr int kAnalogOutputs = 8;
constexpr int AnalogOutput(int k) { return 3002 + k; }

// Per analog channel, 16 channels per group, signed 16-bit, scaled by the sensor type.
inline constexpr int kChannelsPerGroup = 16;
inline constexpr int kAin1Sensor = 3010;  // sensor values
inline constexpr int kAin2Sensor = 3026;
inline constexpr int kAin1Input = 3052;  // input values
inline constexpr int kAin2Input = 3068;

// Discrete inputs: bit k of 3042 is input 16+k, bit k of 3043 is input k.
inline constexpr int kInputsHigh = 3042;
inline constexpr int kInputsLow = 3043;
inline constexpr int kTemperature = 3044;  // signed, 0.5 °C per unit
inline constexpr int kEngineSpeed = 3045;  // unsigned 32-bit Hz, high word first (ДЗ3)
inline constexpr int kShaftSpeed = 3047;   // unsigned 32-bit Hz, high word first (ДЗ1, ДЗ2)
inline constexpr int kStatusWord = 3049;
inline constexpr int kProtocolVersion = 3050;  // high byte major, low byte minor
inline constexpr int kSoftwareVersion = 3051;

// Bits of the status word; the others are shown only in its hexadecimal dump.
inline constexpr int kTurningForward = 0x0001;
inline constexpr int kTurningBackward = 0x0002;
inline constexpr int kDirectionInvalid = 0x0200;
inline constexpr int kTemperatureSensorAbsent = 0x8000;

// The status poll: 3000-3089. The converter poll: 3084-3147, the 32 AIN1 converter
// channels then the 32 AIN2 ones, signed, 0.1 mV per unit.
inline constexpr Block kStatusBlock{3000, 90};
inline constexpr Block kAdcBlock{3084, 64};

// Register numbers within a status block answer.
namespace status {
inline constexpr int kAin1Sensor = kStatusBlock.Offset(reg::kAin1Sensor);
inline constexpr int kAin1Input = kStatusBlock.Offset(reg::kAin1Input);
inline constexpr int kInputsHigh = kStatusBlock.Offset(reg::kInputsHigh);
inline constexpr int kInputsLow = kStatusBlock.Offset(reg::kInputsLow);
inline constexpr int kTemperature = kStatusBlock.Offset(reg::kTemperature);
inline constexpr int kEngineSpeed = kStatusBlock.Offset(reg::kEngineSpeed);
inline constexpr int kShaftSpeed = kStatusBlock.Offset(reg::kShaftSpeed);
inline constexpr int kStatusWord = kStatusBlock.Offset(reg::kStatusWord);
inline constexpr int kProtocolVersion = kStatusBlock.Offset(reg::kProtocolVersion);
inline constexpr int kSoftwareVersion = kStatusBlock.Offset(reg::kSoftwareVersion);
}  // namespace status

// The decoder walks both groups of a kind as one run of 32 registers.
static_assert(kAin2Sensor == kAin1Sensor + kChannelsPerGroup);
static_assert(kAin2Input == kAin1Input + kChannelsPerGroup);
static_assert(kStatusBlock.Holds(kAin1Sensor, 2 * kChannelsPerGroup));
static_assert(kStatusBlock.Holds(kAin1Input, 2 * kChannelsPerGroup));
static_assert(kStatusBlock.Holds(kEngineSpeed, 2) && kStatusBlock.Holds(kShaftSpeed, 2));
static_assert(kStatusBlock.Holds(kSoftwareVersion));

}  // namespace torvex::reg
