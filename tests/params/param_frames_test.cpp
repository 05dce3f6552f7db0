// What the parameter commands put on the line, byte for byte, through the real engine.
#include <gtest/gtest.h>

#include "modbus/requests.h"
#include "param_fixture.h"

namespace torvex {
namespace {

using test::Box;
using test::Bytes;
using test::WithCrc;

class ParamFrames : public test::ParamFixture {};

TEST_F(ParamFrames, ReadAllIsThreeBlockReads) {
  params.ReadAllParams();
  ASSERT_EQ(engine.Queue().PendingCount(), 3);
  EXPECT_EQ(SendQueued(), (std::vector<Bytes>{
                              {0x01, 0x64, 0x00, 0x00, 0x28, 0x06, 0xEE},
                              {0x01, 0x64, 0x00, 0x28, 0x28, 0x18, 0xEE},
                              {0x01, 0x64, 0x00, 0x50, 0x11, 0xFA, 0xFC},
                          }));
}

struct EnterCase {
  const char* name;
  int box;
  QString text;
  Bytes frame;
};
void PrintTo(const EnterCase& c, std::ostream* os) { *os << c.name; }

class EnterInBox : public ParamFrames, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(EnterInBox, SendsTheBoxClampedToItsWidthAndWhitensIt) {
  const EnterCase& c = GetParam();
  Type(c.box, c.text);
  view.SetBackColor(Box(c.box), kGreen);
  params.txt_par_KeyPress(c.box);
  EXPECT_EQ(view.Color(Box(c.box)), kWhite);
  EXPECT_EQ(view.Text(Box(c.box)), c.text) << "the box keeps what was typed";
  ASSERT_EQ(engine.Queue().PendingCount(), 1);
  EXPECT_EQ(SendQueued().at(0), c.frame);
}

INSTANTIATE_TEST_SUITE_P(
    Params, EnterInBox,
    ::testing::Values(
        EnterCase{"comma", 0, "12,3", {0x01, 0x65, 0x00, 0x00, 0x02, 0x00, 0x7B, 0xE3, 0xD6}},
        EnterCase{"point", 0, "12.3", {0x01, 0x65, 0x00, 0x00, 0x02, 0x00, 0x7B, 0xE3, 0xD6}},
        EnterCase{"negative_tenths", 0, "-0,5", WithCrc({0x01, 0x65, 0x00, 0x00, 0x02, 0xFF, 0xFB})},
        EnterCase{"slave_address", 48, "5", {0x01, 0x65, 0x00, 0x60, 0x01, 0x05, 0x8C, 0x4F}},
        EnterCase{"slave_address_above_255", 48, "300", WithCrc({0x01, 0x65, 0x00, 0x60, 0x01, 0xFF})},
        EnterCase{"slave_address_below_0", 48, "-1", WithCrc({0x01, 0x65, 0x00, 0x60, 0x01, 0x00})},
        EnterCase{"text_reads_0", 48, "адрес", WithCrc({0x01, 0x65, 0x00, 0x60, 0x01, 0x00})},
        EnterCase{"initial_dash_reads_0", 8, "-", WithCrc({0x01, 0x65, 0x00, 0x10, 0x02, 0x00, 0x00})},
        EnterCase{"sensor_type_above_32767", 8, "40000",
                  WithCrc({0x01, 0x65, 0x00, 0x10, 0x02, 0x7F, 0xFF})},
        EnterCase{"calibration_below_minus_3276_8", 31, "-5000",
                  WithCrc({0x01, 0x65, 0x00, 0x3E, 0x02, 0x80, 0x00})}),
    [](const auto& row) { return row.param.name; });

// Big-endian bytes of one 2-byte parameter.
void Append16(Bytes& out, int raw) {
  out.push_back(static_cast<std::uint8_t>((raw >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>(raw & 0xFF));
}

TEST_F(ParamFrames, WriteAllIsThreeBlocksThenTheSlaveAddressAlone) {
  // Calibration boxes hold i + 0,5 (raw 10i + 5), sensor types hold i.
  auto calibration = [](int i) { return i < 8 || (i >= 24 && i < 32); };
  for (int i = 0; i < 48; ++i) {
    Type(i, calibration(i) ? QString::number(i) + ",5" : QString::number(i));
  }
  Type(1, "-0.5");   // raw -5
  Type(8, "40000");  // clamped to 32767
  Type(48, "300");   // clamped to 255
  auto raw = [&](int i) {
    if (i == 1) return -5;
    if (i == 8) return 32767;
    return calibration(i) ? 10 * i + 5 : i;
  };

  params.cmd_writeall_Click();
  ASSERT_EQ(engine.Queue().PendingCount(), 4);
  Type(2, "99");  // a request keeps the values it was queued with

  const struct {
    int address;
    int first;
    int entries;
  } blocks[] = {{0x00, 0, 20}, {0x28, 20, 20}, {0x50, 40, 8}};
  std::vector<Bytes> expected;
  for (const auto& block : blocks) {
    Bytes frame{0x01, 0x65, 0x00, static_cast<std::uint8_t>(block.address),
                static_cast<std::uint8_t>(2 * block.entries)};
    for (int i = block.first; i < block.first + block.entries; ++i) Append16(frame, raw(i));
    expected.push_back(WithCrc(frame));
  }
  expected.push_back(WithCrc({0x01, 0x65, 0x00, 0x60, 0x01, 0xFF}));
  EXPECT_EQ(SendQueued(), expected);
}

TEST_F(ParamFrames, QueueingClampsCountAndWidth) {
  params.QueueParamRead(0x10, 200);
  params.QueueParamWrite(0x10, 0x01020304, 9);
  params.QueueParamWrite(0x5E, -2, 2);
  EXPECT_EQ(SendQueued(), (std::vector<Bytes>{
                              WithCrc({0x01, 0x64, 0x00, 0x10, 0x28}),
                              WithCrc({0x01, 0x65, 0x00, 0x10, 0x04, 0x01, 0x02, 0x03, 0x04}),
                              WithCrc({0x01, 0x65, 0x00, 0x5E, 0x02, 0xFF, 0xFE}),
                          }));
}

// With the ring nearly full, the write of all is cut where the ring refuses: the slave
// address is not written and no box claims a confirmation it never got.
TEST_F(ParamFrames, WriteAllRefusedHalfwayStopsAndLeavesBoxesWhite) {
  for (int i = 0; i < 49; ++i) view.SetBackColor(Box(i), kGreen);
  const modbus::Pdu poll = modbus::ReadHoldingRegisters(3001, 2);
  for (int i = 0; i < RequestQueue::kSlots - 3; ++i) ASSERT_TRUE(engine.QueueRequest(poll));

  params.cmd_writeall_Click();
  EXPECT_EQ(engine.Queue().PendingCount(), RequestQueue::kSlots - 1);
  const modbus::Pdu& last = engine.Queue().Slot(RequestQueue::kSlots - 2);
  EXPECT_EQ(last.Function(), 0x65);
  EXPECT_EQ(last.Data().at(1), 0x28) << "the second block is the last one queued";
  EXPECT_EQ(engine.LastOutcome(), ExchangeOutcome::kQueueFull);
  for (int i = 0; i < 49; ++i) EXPECT_EQ(view.Color(Box(i)), kWhite) << "box " << i;
  EXPECT_FALSE(params.WriteAllParams());
}

}  // namespace
}  // namespace torvex
