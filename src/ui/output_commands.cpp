#include "ui/output_commands.h"

#include <array>

#include "decode/controls.h"
#include "decode/numeric.h"
#include "decode/register_map.h"

namespace torvex {
namespace {

constexpr int kOutputs = 32;
constexpr int kCurrentOutputs = 4;  // txt_dac 0-3: 4-20 mA, 16-bit code; 4-7: 0-10 V, 12-bit

std::uint8_t Byte(std::int32_t value, int n) { return static_cast<std::uint8_t>(GetByte(value, n)); }

}  // namespace

void QueueOutputsRead(ModbusEngine& engine) {
  const reg::Block outputs = reg::kDiscreteOutputs;
  const std::array<std::uint8_t, 5> request{0x03, Byte(outputs.start, 1), Byte(outputs.start, 0),
                                            Byte(outputs.count, 1), Byte(outputs.count, 0)};
  engine.QueueRequest(request);
}

void QueueOutputsWrite(ModbusEngine& engine, const MainView& view) {
  std::uint32_t bits = 0;
  for (int i = 0; i < kOutputs; ++i) {
    if (view.IsChecked({Control::chk_out, i})) bits |= 1u << i;
  }
  const auto v = static_cast<std::int32_t>(bits);
  const reg::Block outputs = reg::kDiscreteOutputs;
  const std::array<std::uint8_t, 10> request{
      0x10,                                            // write multiple registers
      Byte(outputs.start, 1), Byte(outputs.start, 0),  // 3001: outputs 16-31, then 0-15
      Byte(outputs.count, 1), Byte(outputs.count, 0),
      4,                                               // byte count
      Byte(v, 3), Byte(v, 2), Byte(v, 1), Byte(v, 0)};
  engine.QueueRequest(request);
}

void QueueAnalogOutput(ModbusEngine& engine, const MainView& view, int k) {
  const ControlRef box{Control::txt_dac, k};
  const std::int32_t code = k < kCurrentOutputs
                                ? BoxToRawOffset(view, box, 0, 65535, 4, 0.00024414)
                                : TextToRaw(view.Text(box), 0, 4095, 0.002442);
  const int address = reg::AnalogOutput(k);
  const std::array<std::uint8_t, 8> request{0x10, Byte(address, 1), Byte(address, 0), 0, 1, 2,
                                            Byte(code, 1), Byte(code, 0)};
  engine.QueueRequest(request);
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
