#include "record/sample_from_answer.h"

#include "decode/answer_registers.h"
#include "decode/register_map.h"

namespace torvex::record {
namespace {

std::uint32_t Pair(const AnswerRegisters& regs, int high, int low) {
  return static_cast<std::uint32_t>(regs.Word(high)) << 16 |
         static_cast<std::uint32_t>(regs.Word(low));
}

std::optional<StatusSample> Status(const AnswerRegisters& regs, const ChannelTypes& types) {
  if (!regs.Carries(0, reg::kStatusBlock.count)) return std::nullopt;
  using namespace reg::status;
  StatusSample s{};
  for (int c = 0; c < kAnalogChannels; ++c) {
    s.sensor[c] = static_cast<std::int16_t>(regs.SignedWord(kAin1Sensor + c));
    s.input[c] = static_cast<std::int16_t>(regs.SignedWord(kAin1Input + c));
    s.types[c] = types[static_cast<std::size_t>(c)];
  }
  s.temperature = static_cast<std::int16_t>(regs.SignedWord(kTemperature));
  s.statusWord = static_cast<std::uint16_t>(regs.Word(kStatusWord));
  s.engineSpeed = static_cast<std::uint32_t>(regs.DWord(kEngineSpeed));
  s.shaftSpeed = static_cast<std::uint32_t>(regs.DWord(kShaftSpeed));
  s.inputs = Pair(regs, kInputsHigh, kInputsLow);
  s.outputs = Pair(regs, reg::kStatusBlock.Offset(reg::kOutputsHigh),
                   reg::kStatusBlock.Offset(reg::kOutputsLow));
  s.protocolVersion = static_cast<std::uint16_t>(regs.Word(kProtocolVersion));
  s.softwareVersion = static_cast<std::uint16_t>(regs.Word(kSoftwareVersion));
  return s;
}

std::optional<ConverterSample> Converter(const AnswerRegisters& regs) {
  if (!regs.Carries(0, kConverterReadings)) return std::nullopt;
  ConverterSample s{};
  for (int n = 0; n < kConverterReadings; ++n) {
    s.readings[n] = static_cast<std::int16_t>(regs.SignedWord(n));
  }
  return s;
}

}  // namespace

std::optional<Sample> SampleFromAnswer(const RxAnswer& answer, const ChannelTypes& types,
                                       std::int64_t time) {
  const std::optional<AnswerRegisters> regs = ReadRegisters(answer);
  if (!regs) return std::nullopt;
  if (Reads(answer.request, reg::kStatusBlock)) {
    if (auto s = Status(*regs, types)) return Sample{time, *s};
  } else if (Reads(answer.request, reg::kAdcBlock)) {
    if (auto s = Converter(*regs)) return Sample{time, *s};
  }
  return std::nullopt;
}

}  // namespace torvex::record
