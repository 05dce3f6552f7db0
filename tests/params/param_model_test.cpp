#include "params/param_model.h"

#include <gtest/gtest.h>

#include "param_fixture.h"

namespace torvex {
namespace {

using test::Box;
using test::Bytes;
using test::WithCrc;

// Boxes 8-23 hold the types of channels 0-15 (AIN1), boxes 32-47 those of channels 16-31
// (AIN2); the calibration points and the slave address set no type.
TEST(ParamModel, EachTypeBoxSetsItsChannel) {
  struct Case {
    int box;
    int channel;  // -1: no channel
  };
  for (const Case& c : {Case{8, 0}, Case{23, 15}, Case{32, 16}, Case{47, 31}, Case{0, -1},
                        Case{7, -1}, Case{24, -1}, Case{31, -1}, Case{48, -1}}) {
    SCOPED_TRACE(c.box);
    ParamModel model;
    EXPECT_EQ(model.Text(c.box), "-");
    EXPECT_EQ(model.State(c.box), BoxState::kChanged);
    model.SetText(c.box, "3");
    ChannelTypes expected{};
    if (c.channel >= 0) expected.at(static_cast<std::size_t>(c.channel)) = SensorType::kPt1000;
    EXPECT_EQ(model.SensorTypes(), expected);
  }
}

// The transfer keeps the model and the boxes together: an answer confirms what it carries,
// typing changes a box, the buttons change them all.
class ParamModelWithBoxes : public test::ParamFixture {};

TEST_F(ParamModelWithBoxes, HoldsWhatTheBoxesShow) {
  const ParamModel& model = params.Model();
  params.QueueParamRead(0x50, 17);
  Tick();  // the read leaves
  Bytes last{0x01, 0x64, 0x00, 0x50, 17};  // boxes 40-47 hold 1-8, the slave address 42
  for (std::uint8_t t = 1; t <= 8; ++t) last.insert(last.end(), {0x00, t});
  last.push_back(42);
  port.Receive(WithCrc(last));
  Tick();
  for (int i = 40; i <= 48; ++i) {
    EXPECT_EQ(model.Text(i), view.Text(Box(i))) << i;
    EXPECT_EQ(model.State(i), BoxState::kConfirmed) << i;
  }
  EXPECT_EQ(model.SensorTypes()[24], SensorType::kDiscrete);
  EXPECT_EQ(model.SensorTypes()[28], SensorType::kCurrentLoop);
  EXPECT_EQ(model.SensorTypes()[29], SensorType::kUnknown);  // 6 is no type

  Type(44, "2");
  EXPECT_EQ(model.State(44), BoxState::kChanged);
  EXPECT_EQ(model.SensorTypes()[28], SensorType::kPt100) << "a typed type counts before it is sent";
  EXPECT_EQ(model.State(45), BoxState::kConfirmed);
  params.cmd_writeall_Click();
  EXPECT_EQ(model.State(45), BoxState::kChanged);
}

}  // namespace
}  // namespace torvex
