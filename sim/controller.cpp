#include "sim/controller.h"

#include <algorithm>
#include <utility>

namespace torvex::sim {
namespace {

constexpr std::size_t kMaxReadRegisters = 125;
constexpr std::size_t kMaxWriteRegisters = 123;
constexpr std::size_t kMaxEepromTransfer = 40;

// Offsets into the register image.
constexpr std::size_t kSensorValues = 10;
constexpr std::size_t kDiscreteInputsHigh = 42;
constexpr std::size_t kDiscreteInputsLow = 43;
constexpr std::size_t kTemperature = 44;
constexpr std::size_t kEngineSpeed = 45;
constexpr std::size_t kShaftSpeed = 47;
constexpr std::size_t kStatusWord = 49;
constexpr std::size_t kProtocol = 50;
constexpr std::size_t kSoftware = 51;
constexpr std::size_t kInputValues = 52;
constexpr std::size_t kConverter = 84;
// Written registers: discrete outputs 16-31 and 0-15; analog output k at 2 + k, so analog
// output 0 shares its register with discrete outputs 0-15, as on the controller.
constexpr std::size_t kDiscreteOutputsHigh = 1;
constexpr std::size_t kDiscreteOutputsLow = 2;
constexpr std::size_t kAnalogOutputs = 2;

// The output stages: 4-20 mA from a 16-bit code, 0-10 V from a 12-bit one (a larger code
// drives the converter to its top).
constexpr double kMilliampsPerCode = 0.00024414;
constexpr double kVoltsPerCode = 0.002442;
constexpr std::uint16_t kLargestVoltageCode = 4095;

bool Writable(std::size_t first, std::size_t count) {
  return first >= kFirstRegister && first + count - 1 <= kLastWritableRegister;
}

}  // namespace

Controller::Controller(Eeprom eeprom, Plant plant, std::uint8_t address, UnitFaults faults)
    : eeprom_(eeprom), plant_(plant), address_(address), faults_(std::move(faults)) {}

BenchOutputs Controller::Outputs() const {
  BenchOutputs out;
  out.discrete = std::uint32_t{written_[kDiscreteOutputsHigh]} << 16 | written_[kDiscreteOutputsLow];
  auto share = [this](std::size_t output) { return 1 + faults_.analogErrorPercent[output] / 100; };
  for (std::size_t k = 0; k < kCurrentOutputs; ++k) {
    out.milliamps[k] = (4 + written_[kAnalogOutputs + k] * kMilliampsPerCode) * share(k);
  }
  for (std::size_t k = 0; k < kVoltageOutputs; ++k) {
    const std::size_t output = kCurrentOutputs + k;
    const std::uint16_t code = std::min(written_[kAnalogOutputs + output], kLargestVoltageCode);
    out.volts[k] = code * kVoltsPerCode * share(output);
  }
  return out;
}

std::uint32_t Controller::DiscreteInputs(std::uint32_t terminals) const {
  // Joined inputs share their voltage, also along a chain of shorts.
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& [a, b] : faults_.shortedInputs) {
      const std::uint32_t pair = (1u << a) | (1u << b);
      if ((terminals & pair) != 0 && (terminals & pair) != pair) {
        terminals |= pair;
        changed = true;
      }
    }
  }
  return terminals & ~faults_.stuckInputs;
}

RegisterImage Controller::Registers(std::int64_t tMs) const {
  RegisterImage image{};
  std::copy(written_.begin(), written_.end(), image.begin());
  const PlantReadings r = plant_.Sample(tMs, eeprom_.SensorTypes(), Outputs());
  for (std::size_t c = 0; c < kAnalogChannels; ++c) {
    image[kSensorValues + c] = static_cast<std::uint16_t>(r.sensor[c]);
    image[kInputValues + c] = static_cast<std::uint16_t>(r.input[c]);
  }
  const std::uint32_t inputs = DiscreteInputs(r.discreteInputs);
  image[kDiscreteInputsHigh] = static_cast<std::uint16_t>(inputs >> 16);
  image[kDiscreteInputsLow] = static_cast<std::uint16_t>(inputs & 0xFFFF);
  image[kTemperature] = static_cast<std::uint16_t>(r.boardTemperature);
  image[kEngineSpeed] = static_cast<std::uint16_t>(r.engineHz >> 16);
  image[kEngineSpeed + 1] = static_cast<std::uint16_t>(r.engineHz & 0xFFFF);
  image[kShaftSpeed] = static_cast<std::uint16_t>(r.shaftHz >> 16);
  image[kShaftSpeed + 1] = static_cast<std::uint16_t>(r.shaftHz & 0xFFFF);
  image[kStatusWord] = r.status;
  image[kProtocol] = kProtocolVersion;
  image[kSoftware] = kSoftwareVersion;
  for (std::size_t k = 0; k < r.converter.size(); ++k) {
    image[kConverter + k] = static_cast<std::uint16_t>(r.converter[k]);
  }
  return image;
}

Controller::Outcome Controller::Handle(std::span<const std::uint8_t> frame, std::int64_t tMs) {
  using Kind = Outcome::Kind;
  if (frame.size() < kMinFrameSize || !CrcMatches(frame)) return {Kind::kBadFrame, {}};
  const std::uint8_t to = frame[0];
  if (to != address_ && to != kBroadcastAddress) return {Kind::kNotForUs, {}};

  if (to == kBroadcastAddress) {
    // Only writes make sense to everybody at once, and nobody may answer them.
    const std::uint8_t f = frame[1];
    if (f != kWriteSingleRegister && f != kWriteMultipleRegisters && f != kWriteEeprom) {
      return {Kind::kBroadcast, {}};
    }
    const Result result = Execute(frame, tMs);
    return {Kind::kBroadcast, {}, result.eepromChanged};
  }

  const Result result = Execute(frame, tMs);
  if (result.exception != 0) {
    return {Kind::kRefused, ExceptionAnswer(address_, frame[1], result.exception)};
  }
  Bytes answer;
  answer.reserve(1 + result.pdu.size() + 2);
  answer.push_back(address_);
  answer.insert(answer.end(), result.pdu.begin(), result.pdu.end());
  AppendCrc(answer);
  return {Kind::kAnswered, std::move(answer), result.eepromChanged};
}

Controller::Result Controller::Execute(std::span<const std::uint8_t> frame, std::int64_t tMs) {
  switch (frame[1]) {
    case kReadHoldingRegisters: return ReadRegisters(frame, tMs);
    case kWriteSingleRegister: return WriteRegister(frame);
    case kWriteMultipleRegisters: return WriteRegisters(frame);
    case kReadEeprom: return ReadEeprom(frame);
    case kWriteEeprom: return WriteEeprom(frame);
    default: return {{}, kIllegalFunction};
  }
}

// 03: first register, count.
Controller::Result Controller::ReadRegisters(std::span<const std::uint8_t> frame, std::int64_t tMs) const {
  if (frame.size() != 8) return {{}, kIllegalDataValue};
  const std::size_t first = WordAt(frame, 2);
  const std::size_t count = WordAt(frame, 4);
  if (count == 0 || count > kMaxReadRegisters) return {{}, kIllegalDataValue};
  if (first < kFirstRegister || first + count - 1 > kLastRegister) return {{}, kIllegalDataAddress};
  const RegisterImage image = Registers(tMs);
  Bytes pdu{kReadHoldingRegisters, static_cast<std::uint8_t>(2 * count)};
  for (std::size_t k = 0; k < count; ++k) AppendWord(pdu, image[first - kFirstRegister + k]);
  return {std::move(pdu)};
}

// 06: register, value; the answer echoes the request.
Controller::Result Controller::WriteRegister(std::span<const std::uint8_t> frame) {
  if (frame.size() != 8) return {{}, kIllegalDataValue};
  const std::size_t reg = WordAt(frame, 2);
  if (!Writable(reg, 1)) return {{}, kIllegalDataAddress};
  written_[reg - kFirstRegister] = WordAt(frame, 4);
  return {Bytes(frame.begin() + 1, frame.begin() + 6)};
}

// 16: first register, count, byte count, values; the answer repeats first register and count.
Controller::Result Controller::WriteRegisters(std::span<const std::uint8_t> frame) {
  if (frame.size() < 9) return {{}, kIllegalDataValue};
  const std::size_t first = WordAt(frame, 2);
  const std::size_t count = WordAt(frame, 4);
  const std::size_t byteCount = frame[6];
  if (count == 0 || count > kMaxWriteRegisters || byteCount != 2 * count ||
      frame.size() != 9 + byteCount) {
    return {{}, kIllegalDataValue};
  }
  if (!Writable(first, count)) return {{}, kIllegalDataAddress};
  for (std::size_t k = 0; k < count; ++k) written_[first - kFirstRegister + k] = WordAt(frame, 7 + 2 * k);
  return {Bytes(frame.begin() + 1, frame.begin() + 6)};
}

// 100: EEPROM start address, n; the answer carries the n bytes stored from there on.
Controller::Result Controller::ReadEeprom(std::span<const std::uint8_t> frame) const {
  if (frame.size() != 7) return {{}, kIllegalDataValue};
  const std::size_t start = WordAt(frame, 2);
  const std::size_t n = frame[4];
  if (n == 0 || n > kMaxEepromTransfer) return {{}, kIllegalDataValue};
  if (start + n > kEepromSize) return {{}, kIllegalDataAddress};
  Bytes pdu(frame.begin() + 1, frame.begin() + 5);
  const auto stored = eeprom_.Read(start, n);
  pdu.insert(pdu.end(), stored.begin(), stored.end());
  return {std::move(pdu)};
}

// 101: EEPROM start address, n, n bytes; the answer carries the bytes now stored, so the
// master sees what really landed in the EEPROM.
Controller::Result Controller::WriteEeprom(std::span<const std::uint8_t> frame) {
  if (frame.size() < 7) return {{}, kIllegalDataValue};
  const std::size_t start = WordAt(frame, 2);
  const std::size_t n = frame[4];
  if (n == 0 || n > kMaxEepromTransfer || frame.size() != 7 + n) return {{}, kIllegalDataValue};
  if (start + n > kEepromSize) return {{}, kIllegalDataAddress};
  const bool changed = eeprom_.Write(start, frame.subspan(5, n));
  Bytes pdu(frame.begin() + 1, frame.begin() + 5);
  const auto stored = eeprom_.Read(start, n);
  pdu.insert(pdu.end(), stored.begin(), stored.end());
  return {std::move(pdu), 0, changed};
}

}  // namespace torvex::sim
