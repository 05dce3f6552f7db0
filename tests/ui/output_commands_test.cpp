#include "ui/output_commands.h"

#include <gtest/gtest.h>

#include "support/fake_serial_port.h"
#include "support/fake_view.h"
#include "support/frames.h"

namespace torvex {
namespace {

using test::Bytes;
using test::WithCrc;

// Queues one command on a fresh engine and returns the frame the first tick sends.
class OutputCommands : public ::testing::Test {
 protected:
  Bytes FirstFrame() {
    engine.Tick({});
    return port.written.at(0);
  }
  void TickBox(int box) { view.SetChecked({Control::chk_out, box}, true); }

  test::FakeSerialPort port;
  test::FakeView view;
  ModbusEngine engine{port};
};

TEST_F(OutputCommands, ReadBack) {
  QueueOutputsRead(engine);
  EXPECT_EQ(FirstFrame(), (Bytes{0x07, 0x03, 0x0B, 0xB9, 0x00, 0x02, 0x17, 0xAC}));
}

TEST_F(OutputCommands, SetWithBoxZeroTicked) {
  TickBox(0);
  QueueOutputsWrite(engine, view);
  EXPECT_EQ(FirstFrame(),
            (Bytes{0x07, 0x10, 0x0B, 0xB9, 0x00, 0x02, 0x04, 0x00, 0x00, 0x00, 0x01, 0x94, 0xC9}));
}

TEST_F(OutputCommands, SetPutsOutputWordHighRegisterFirst) {
  struct Case {
    std::vector<int> ticked;
    Bytes data;
  };
  std::vector<int> all(32);
  for (int i = 0; i < 32; ++i) all[i] = i;
  const Case cases[] = {{{}, {0, 0, 0, 0}},
                        {all, {0xFF, 0xFF, 0xFF, 0xFF}},
                        {{31}, {0x80, 0, 0, 0}},
                        {{16}, {0x00, 0x01, 0, 0}},
                        {{15, 8}, {0, 0, 0x81, 0}}};
  for (const Case& c : cases) {
    test::FakeSerialPort p;
    test::FakeView v;
    ModbusEngine e(p);
    for (int i : c.ticked) v.SetChecked({Control::chk_out, i}, true);
    QueueOutputsWrite(e, v);
    e.Tick({});
    const Bytes& frame = p.written.at(0);
    EXPECT_EQ(Bytes(frame.begin() + 7, frame.begin() + 11), c.data);
  }
}

TEST_F(OutputCommands, AnalogOutputsConvertAndAddressTheirRegister) {
  struct Case {
    int box;
    const char* text;
    Bytes frame;  // without CRC
  };
  const Case cases[] = {
      {0, "12", {0x07, 0x10, 0x0B, 0xBA, 0x00, 0x01, 0x02, 0x80, 0x00}},
      {4, "5", {0x07, 0x10, 0x0B, 0xBE, 0x00, 0x01, 0x02, 0x08, 0x00}},
      {1, "20", {0x07, 0x10, 0x0B, 0xBB, 0x00, 0x01, 0x02, 0xFF, 0xFF}},
      {2, "8", {0x07, 0x10, 0x0B, 0xBC, 0x00, 0x01, 0x02, 0x40, 0x00}},
      {3, "3", {0x07, 0x10, 0x0B, 0xBD, 0x00, 0x01, 0x02, 0x00, 0x00}},
      {3, "", {0x07, 0x10, 0x0B, 0xBD, 0x00, 0x01, 0x02, 0x00, 0x00}},
      {5, "10", {0x07, 0x10, 0x0B, 0xBF, 0x00, 0x01, 0x02, 0x0F, 0xFF}},
      {6, "2,5", {0x07, 0x10, 0x0B, 0xC0, 0x00, 0x01, 0x02, 0x04, 0x00}},
      {7, "-1", {0x07, 0x10, 0x0B, 0xC1, 0x00, 0x01, 0x02, 0x00, 0x00}},
      {7, "11 В", {0x07, 0x10, 0x0B, 0xC1, 0x00, 0x01, 0x02, 0x0F, 0xFF}},
  };
  for (const Case& c : cases) {
    test::FakeSerialPort p;
    test::FakeView v;
    ModbusEngine e(p);
    v.SetText({Control::txt_dac, c.box}, QString::fromUtf8(c.text));
    QueueAnalogOutput(e, v, c.box);
    e.Tick({});
    EXPECT_EQ(p.written.at(0), WithCrc(c.frame)) << "txt_dac(" << c.box << ") = " << c.text;
    EXPECT_EQ(v.Text({Control::txt_dac, c.box}), QString::fromUtf8(c.text)) << "box kept as typed";
  }
}

TEST_F(OutputCommands, ViewModeCaptionsAndNothingOnTheLine) {
  ShowViewMode(view, 0);
  EXPECT_EQ(view.Text({Control::frm_ain}), "Аналоговые входы (на АЦП), мВ");
  EXPECT_EQ(view.Text({Control::lbl_row, 0}), "AIN1. АЦП 0-15 ");
  EXPECT_EQ(view.Text({Control::lbl_row, 3}), "AIN2. АЦП 16-31");
  ShowViewMode(view, 1);
  EXPECT_EQ(view.Text({Control::frm_ain}), "Аналоговые входы");
  EXPECT_EQ(view.Text({Control::lbl_row, 2}), "AIN1. Вход  ");
  EXPECT_EQ(view.Text({Control::lbl_row, 1}), "AIN2. Датчик");
  EXPECT_TRUE(engine.Queue().IsEmpty());
}

}  // namespace
}  // namespace torvex
