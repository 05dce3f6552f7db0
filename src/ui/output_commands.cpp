#include "ui/output_commands.h"

#include <array>

#include "decode/controls.h"
#include "decode/numeric.h"
#include "decode/register_map.h"
#include "modbus/requests.h"

namespace torvex {
namespace {

constexpr int kOutputs = 32;
constexpr int kCurrentOutputs = 4;  // txt_dac 0-3: 4-20 mA, 16-bit code; 4-7: 0-10 V, 12-bit

std::uint16_t Word(std::int32_t value) { return static_cast<std::uint16_t>(value); }

}  // namespace

void QueueOutputsRead(ModbusEngine& engine) {
  const reg::Block outputs = reg::kDiscreteOutputs;
  engine.QueueRequest(modbus::ReadHoldingRegisters(Word(outputs.start), Word(outputs.count)));
}

void QueueOutputsWrite(ModbusEngine& engine, const MainView& view) {
  std::uint32_t bits = 0;
  for (int i = 0; i < kOutputs; ++i) {
    if (view.IsChecked({Control::chk_out, i})) bits |= 1u << i;
  }
  const reg::Block outputs = reg::kDiscreteOutputs;  // outputs 16-31, then outputs 0-15
  engine.QueueRequest(modbus::WriteMultipleRegisters(
      Word(outputs.start),
      {static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits & 0xFFFF)}));
}

void QueueAnalogOutput(ModbusEngine& engine, const MainView& view, int k) {
  const ControlRef box{Control::txt_dac, k};
  const std::int32_t code = k < kCurrentOutputs
                                ? BoxToRawOffset(view, box, 0, 65535, 4, 0.00024414)
                                : TextToRaw(view.Text(box), 0, 4095, 0.002442);
  engine.QueueRequest(modbus::WriteMultipleRegisters(Word(reg::AnalogOutput(k)), {Word(code)}));
}

void ShowViewMode(MainView& view, int index) {
  const bool measuring = index == 1;
  view.SetText({Control::frm_ain}, measuring ? QStringLiteral("Аналоговые входы")
                                             : QStringLiteral("Аналоговые входы (на АЦП), мВ"));
  static const std::array<QString, 4> kMeasuring{"AIN1. Датчик", "AIN2. Датчик", "AIN1. Вход  ",
                                                 "AIN2. Вход  "};
  static const std::array<QString, 4> kConverter{"AIN1. АЦП 0-15 ", "AIN1. АЦП 16-31",
                                                 "AIN2. АЦП 0-15 ", "AIN2. АЦП 16-31"};
  for (int row = 0; row < 4; ++row) {
    view.SetText({Control::lbl_row, row}, measuring ? kMeasuring[row] : kConverter[row]);
  }
}

}  // namespace torvex
