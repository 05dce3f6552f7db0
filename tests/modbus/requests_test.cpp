// Every request the tool sends, byte for byte as it goes on the line with slave address 7, and
// the length of the answer each expects.
#include "modbus/requests.h"

#include <gtest/gtest.h>

#include "modbus/adu.h"
#include "modbus/expected_answer.h"
#include "modbus/hex.h"

namespace torvex::modbus {
namespace {

using test::Hex;

struct RequestCase {
  const char* name;
  Pdu request;
  const char* frame;
  std::size_t answerLength;
};
void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class Requests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Requests, FrameOnTheLineAndAnswerLength) {
  const Adu adu(7, GetParam().request);
  EXPECT_EQ(adu.Bytes(), Hex(GetParam().frame));
  EXPECT_EQ(ExpectedAnswer(adu).Length(), GetParam().answerLength);
  EXPECT_EQ(Adu::Parse(adu.Bytes()), adu) << "a frame reads back as what built it";
}

const std::uint8_t kTwoBytes[] = {0x00, 0x7B};
const std::uint8_t kOneByte[] = {0x05};
const std::uint8_t kFourBytes[] = {0x00, 0x7B, 0xFF, 0xFB};

INSTANTIATE_TEST_SUITE_P(
    Tool, Requests,
    ::testing::Values(
        RequestCase{"converter_poll", ReadHoldingRegisters(3084, 64),
                    "07 03 0C 0C 00 40 87 0F", 5 + 2 * 64},
        RequestCase{"status_poll", ReadHoldingRegisters(3000, 90), "07 03 0B B8 00 5A 47 96",
                    5 + 2 * 90},
        RequestCase{"transaction_code_1", WriteSingleRegister(3000, 1), "07 06 0B B8 00 01 CA 6D", 8},
        RequestCase{"transaction_code_2", WriteSingleRegister(3000, 2), "07 06 0B B8 00 02 8A 6C", 8},
        RequestCase{"transaction_code_0", WriteSingleRegister(3000, 0), "07 06 0B B8 00 00 0B AD", 8},
        RequestCase{"outputs_read_back", ReadHoldingRegisters(3001, 2), "07 03 0B B9 00 02 17 AC",
                    9},
        RequestCase{"outputs_write", WriteMultipleRegisters(3001, {0x0000, 0x0001}),
                    "07 10 0B B9 00 02 04 00 00 00 01 94 C9", 8},
        RequestCase{"analog_output_0", WriteMultipleRegisters(3002, {0x8000}),
                    "07 10 0B BA 00 01 02 80 00 4C 6A", 8},
        RequestCase{"analog_output_7", WriteMultipleRegisters(3009, {0x0FFF}),
                    "07 10 0B C1 00 01 02 0F FF 62 51", 8},
        RequestCase{"eeprom_read", ReadEeprom(0, 40), "07 64 00 00 28 8E EE", 7 + 40},
        RequestCase{"eeprom_write_one_byte", WriteEeprom(96, kOneByte), "07 65 00 60 01 05 8C 29",
                    7 + 1},
        RequestCase{"eeprom_write_parameter", WriteEeprom(0, kTwoBytes),
                    "07 65 00 00 02 00 7B 85 D6", 7 + 2},
        RequestCase{"eeprom_write_block", WriteEeprom(0, kFourBytes),
                    "07 65 00 00 04 00 7B FF FB 6B 7D", 7 + 4}),
    [](const auto& row) { return row.param.name; });

TEST(Pdu, KeepsAnyFunctionCodeAndReadsBackFromItsBytes) {
  const Pdu custom(0x41, {0x01, 0x02});
  EXPECT_EQ(custom.Bytes(), Hex("41 01 02"));
  EXPECT_EQ(Pdu::FromBytes(custom.Bytes()), custom);
  EXPECT_FALSE(custom.IsException());
  EXPECT_TRUE(Pdu::FromBytes(Hex("83 02")).IsException());
}

TEST(Adu, ParseRefusesShortFramesAndBadCrc) {
  EXPECT_EQ(Adu::Parse(Hex("07 83 02 20 F0")), Adu(7, Pdu(0x83, {0x02})));
  EXPECT_FALSE(Adu::Parse(Hex("07 83 02 F0 20")));
  // Its CRC matches, but a frame has at least an address, a function code and the CRC.
  EXPECT_FALSE(Adu::Parse(Hex("07 FE 82")));
}

}  // namespace
}  // namespace torvex::modbus
