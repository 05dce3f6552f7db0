#include "decode/decode_response.h"

#include "decode/answer_registers.h"
#include "decode/display_rules.h"
#include "decode/numeric.h"
#include "decode/register_map.h"
#include "modbus/function_code.h"

namespace torvex {
namespace {

constexpr int kFunctionCell = 1;

// Elements of opt_view.
constexpr int kConverterView = 0;
constexpr int kMeasurementView = 1;

bool Arrived(const RxAnswer& answer, int cell) { return cell < OwnCells(answer); }

int Byte(const RxAnswer& answer, int cell) { return RxInteger(answer.cells, cell, 1); }

void ShowReadBack(const AnswerRegisters& regs, MainView& view) {
  const int high = reg::kDiscreteOutputs.Offset(reg::kOutputsHigh);
  const int low = reg::kDiscreteOutputs.Offset(reg::kOutputsLow);
  // The 32 boxes are set together, so the operator never sees half an old state.
  if (!regs.Carries(high) || !regs.Carries(low)) return;
  ShowOutputsReadBack(view, 16, regs.Word(high));
  ShowOutputsReadBack(view, 0, regs.Word(low));
}

void ShowAnalogChannels(const AnswerRegisters& regs, MainView& view, const ChannelTypes& types) {
  for (int c = 0; c < kAnalogChannels; ++c) {
    const int sensor = reg::status::kAin1Sensor + c;
    const int input = reg::status::kAin1Input + c;
    if (!regs.Carries(sensor) && !regs.Carries(input)) continue;
    const SensorType type = types[static_cast<std::size_t>(c)];
    if (regs.Carries(sensor)) ShowSensorValue(view, c, type, regs.SignedWord(sensor));
    if (regs.Carries(input)) ShowInputValue(view, c, type, regs.SignedWord(input));
  }
}

void ShowStatusBlock(const AnswerRegisters& regs, MainView& view, const ChannelTypes& types) {
  using namespace reg::status;
  if (regs.Carries(kProtocolVersion)) {
    ShowVersion(view, {Control::lbl_pr_ver}, regs.Word(kProtocolVersion));
  }
  if (regs.Carries(kSoftwareVersion)) {
    ShowVersion(view, {Control::lbl_sw_ver}, regs.Word(kSoftwareVersion));
  }
  if (regs.Carries(kInputsHigh)) ShowDiscreteInputs(view, 16, regs.Word(kInputsHigh));
  if (regs.Carries(kInputsLow)) ShowDiscreteInputs(view, 0, regs.Word(kInputsLow));
  if (view.IsChecked({Control::opt_view, kMeasurementView})) ShowAnalogChannels(regs, view, types);
  if (regs.Carries(kTemperature) && regs.Carries(kStatusWord)) {
    ShowTemperature(view, regs.SignedWord(kTemperature), regs.Word(kStatusWord));
  }
  if (regs.Carries(kEngineSpeed, 2)) {
    ShowSpeed(view, {Control::lbl_shaft}, regs.DWord(kEngineSpeed));
  }
  if (regs.Carries(kShaftSpeed, 2)) ShowSpeed(view, {Control::lbl_prop}, regs.DWord(kShaftSpeed));
  if (regs.Carries(kStatusWord)) {
    ShowDirection(view, regs.Word(kStatusWord));
    ShowStatusWord(view, regs.Word(kStatusWord));
  }
}

void ShowConverterBlock(const AnswerRegisters& regs, MainView& view) {
  if (!view.IsChecked({Control::opt_view, kConverterView})) return;
  for (int n = 0; n < reg::kAdcBlock.count && regs.Carries(n); ++n) {
    ShowConverterReading(view, n, regs.SignedWord(n));
  }
}

// The answer shows what its request asked for.
void DecodeRegisters(const RxAnswer& answer, MainView& view, const ChannelTypes& types) {
  const std::optional<AnswerRegisters> read = ReadRegisters(answer);
  if (!read) return;
  const AnswerRegisters& regs = *read;
  if (Reads(answer.request, reg::kDiscreteOutputs)) {
    ShowReadBack(regs, view);
  } else if (Reads(answer.request, reg::kStatusBlock)) {
    ShowStatusBlock(regs, view, types);
  } else if (Reads(answer.request, reg::kAdcBlock)) {
    ShowConverterBlock(regs, view);
  }
}

}  // namespace

void DecodeResponse(const RxAnswer& answer, MainView& view, const ChannelTypes& types,
                    const ParamAnswerHandler& onParamAnswer) {
  if (!Arrived(answer, kFunctionCell)) return;
  // An exception answer carries nothing to show: it is told with the exchange's outcome.
  const auto function = static_cast<std::uint8_t>(Byte(answer, kFunctionCell));
  if (function != answer.request.Function()) return;
  using modbus::FunctionCode;
  switch (static_cast<FunctionCode>(function)) {
    case FunctionCode::kReadHoldingRegisters:
      DecodeRegisters(answer, view, types);
      break;
    case FunctionCode::kReadEeprom:
    case FunctionCode::kWriteEeprom:
      if (onParamAnswer) onParamAnswer(answer);
      break;
    default:
      break;
  }
}

}  // namespace torvex
