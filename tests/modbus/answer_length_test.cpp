// How long an answer is: from the request that asks for it and from the frame's own first
// bytes, which must agree.
#include "modbus/answer_length.h"

#include <gtest/gtest.h>

#include "modbus/expected_answer.h"
#include "modbus/hex.h"
#include "modbus/requests.h"

namespace torvex::modbus {
namespace {

using test::Hex;

struct LengthCase {
  const char* name;
  Pdu request;
  const char* head;  // the answer's first bytes, as many as tell its length
  std::size_t length;
};
void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class Lengths : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Lengths, RequestAndFrameTellTheSame) {
  EXPECT_EQ(ExpectedAnswer(Adu(7, GetParam().request)).Length(), GetParam().length);
  std::vector<std::uint8_t> head = Hex(GetParam().head);
  EXPECT_EQ(AnswerFrameLength(head), GetParam().length);
  head.push_back(0x00);
  EXPECT_EQ(AnswerFrameLength(head), GetParam().length) << "later bytes change nothing";
  head.resize(head.size() - 2);
  EXPECT_EQ(AnswerFrameLength(head), 0u) << "one byte fewer does not tell it yet";
}

const std::uint8_t kFour[] = {0x01, 0x02, 0x03, 0x04};

INSTANTIATE_TEST_SUITE_P(
    Answers, Lengths,
    ::testing::Values(
        LengthCase{"registers_2", ReadHoldingRegisters(3001, 2), "07 03 04", 9},
        LengthCase{"registers_90", ReadHoldingRegisters(3000, 90), "07 03 B4", 185},
        LengthCase{"registers_0", ReadHoldingRegisters(3000, 0), "07 03 00", 5},
        LengthCase{"single_write", WriteSingleRegister(3000, 1), "07 06", 8},
        LengthCase{"multiple_write", WriteMultipleRegisters(3001, {0, 1}), "07 10", 8},
        LengthCase{"eeprom_read_0", ReadEeprom(0x28, 0), "07 64 00 28 00", 7},
        LengthCase{"eeprom_read_1", ReadEeprom(0x28, 1), "07 64 00 28 01", 8},
        LengthCase{"eeprom_read_255", ReadEeprom(0x28, 255), "07 64 00 28 FF", 262},
        LengthCase{"eeprom_write_4", WriteEeprom(0x0100, kFour), "07 65 01 00 04", 11}),
    [](const auto& row) { return row.param.name; });

TEST(AnswerFrameLength, ExceptionsOfAnyFunctionAndUnknownLayouts) {
  EXPECT_EQ(AnswerFrameLength(Hex("07 83")), kExceptionAnswerSize);
  EXPECT_EQ(AnswerFrameLength(Hex("07 E4")), kExceptionAnswerSize);
  EXPECT_EQ(AnswerFrameLength(Hex("07 C1")), kExceptionAnswerSize);
  EXPECT_EQ(AnswerFrameLength(Hex("07 41 00 00 00 00")), 0u);
  EXPECT_EQ(AnswerFrameLength(Hex("07")), 0u);
  EXPECT_EQ(AnswerFrameLength({}), 0u);
}

}  // namespace
}  // namespace torvex::modbus
