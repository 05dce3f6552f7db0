// Modbus TCP framing: the header a request goes out with, and cutting frames from a stream.
#include "modbus/mbap.h"

#include <gtest/gtest.h>

#include "modbus/hex.h"
#include "modbus/requests.h"

namespace torvex::modbus {
namespace {

using test::Hex;

TEST(Mbap, ARequestGoesOutBehindItsHeader) {
  struct Case {
    std::uint16_t transaction;
    std::uint8_t unit;
    Pdu pdu;
    const char* frame;
  };
  const std::uint8_t bytes[] = {0x12, 0x34};
  for (const Case& c : {
           Case{1, 7, ReadHoldingRegisters(3000, 90), "00 01 00 00 00 06 07 03 0B B8 00 5A"},
           Case{0xABCD, 255, WriteSingleRegister(3000, 1), "AB CD 00 00 00 06 FF 06 0B B8 00 01"},
           Case{0, 7, ReadEeprom(0x50, 17), "00 00 00 00 00 05 07 64 00 50 11"},
           Case{65535, 1, WriteEeprom(0x10, bytes), "FF FF 00 00 00 07 01 65 00 10 02 12 34"},
       }) {
    const std::vector<std::uint8_t> frame = MbapFrame(c.transaction, c.unit, c.pdu);
    EXPECT_EQ(frame, Hex(c.frame)) << c.frame;
    const auto header = ParseMbapHeader(frame);
    ASSERT_TRUE(header);
    EXPECT_EQ(*header, (MbapHeader{c.transaction, 0, static_cast<std::uint16_t>(1 + c.pdu.Size()),
                                   c.unit}));
    EXPECT_EQ(MbapFrameLength(frame), frame.size());
  }
}

// A frame's length is known once its header is in; a header no Modbus frame can have means the
// stream has lost its step.
TEST(Mbap, AFrameIsCutFromTheStreamByItsHeader) {
  struct Case {
    const char* bytes;
    std::optional<std::size_t> length;
  };
  for (const Case& c : {
           Case{"", 0},
           Case{"00 01 00 00 00 06", 0},                       // the unit identifier still due
           Case{"00 01 00 00 00 06 07", 12},                    // the rest still due
           Case{"00 01 00 00 00 03 07 83 02 00 02", 9},         // an exception, the next behind
           Case{"00 01 00 00 00 FE 07", 260},                   // the longest PDU
           Case{"00 01 00 00 00 FF 07", std::nullopt},          // longer than a PDU may be
           Case{"00 01 00 00 00 01 07", std::nullopt},          // no function code
           Case{"00 01 00 01 00 06 07", std::nullopt},          // not the Modbus protocol
       }) {
    EXPECT_EQ(MbapFrameLength(Hex(c.bytes)), c.length) << c.bytes;
  }
  EXPECT_FALSE(ParseMbapHeader(Hex("00 01 00 00 00 06")));
}

}  // namespace
}  // namespace torvex::modbus
