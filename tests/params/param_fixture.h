#pragma once
// The parameter module wired to the real engine, a fake port and a fake window whose
// parameter boxes raise their Change event on every text change, the program's own included,
// as the real window's do.
#include <vector>

#include <gtest/gtest.h>

#include "engine/modbus_engine.h"
#include "modbus/function_code.h"
#include "params/param_transfer.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"
#include "support/frames.h"

namespace torvex::test {

inline ControlRef Box(int index) { return {Control::txt_par, index}; }

class ParamBoxView : public FakeView {
 public:
  void SetText(ControlRef c, const QString& text) override {
    FakeView::SetText(c, text);
    if (c.control == Control::txt_par && params != nullptr) params->txt_par_Change(c.index);
  }
  ParamTransfer* params = nullptr;
};

class ParamFixture : public ::testing::Test {
 protected:
  ParamFixture() {
    engine.SetSlaveAddress(1);
    view.params = &params;
    params.InitParamTable();
    // As the response dispatcher does: function 100 and 101 answers go to the parameters.
    engine.SetDecoder([this](const RxAnswer& answer) {
      using modbus::Code;
      using modbus::FunctionCode;
      const int function = answer.cells[1];
      if (function == Code(FunctionCode::kReadEeprom) ||
          function == Code(FunctionCode::kWriteEeprom)) {
        params.DecodeParamAnswer(answer);
      }
    });
  }

  // The operator types into a box.
  void Type(int box, const QString& text) { view.SetText(Box(box), text); }

  // Sends every request now queued, one per tick, and returns the frames in line order.
  // Each is answered with an exception answer, which takes it off the queue and which nothing
  // here decodes.
  std::vector<Bytes> SendQueued() {
    const int pending = engine.Queue().PendingCount();
    port.written.clear();
    for (int i = 0; i < pending; ++i) {
      if (i > 0) {
        const Bytes& request = port.written.back();
        port.Receive(WithCrc({request.at(0), static_cast<std::uint8_t>(request.at(1) | 0x80), 0x04}));
      }
      Tick();
    }
    return port.written;
  }

  // One exchange tick, 100 ms after the last.
  void Tick() {
    now += std::chrono::milliseconds(100);
    engine.Tick("115200,n,8,2");
  }

  FakeSerialPort port;
  ParamBoxView view;
  std::chrono::steady_clock::time_point now{};
  ModbusEngine engine{port, [this] { return now; }};
  ParamTransfer params{engine, view};
};

}  // namespace torvex::test
