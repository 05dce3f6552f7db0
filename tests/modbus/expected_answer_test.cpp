// Telling the answer to a request from anything else: address, function code or its exception,
// echoed fields, length.
#include "modbus/expected_answer.h"

#include <gtest/gtest.h>

#include "modbus/hex.h"
#include "modbus/requests.h"

namespace torvex::modbus {
namespace {

using test::Hex;

struct MatchCase {
  const char* name;
  Pdu request;
  const char* received;  // the last two bytes stand for the CRC, which is not judged here
  AnswerMatch match;
};
void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class Matching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(Matching, JudgesWhatArrived) {
  const ExpectedAnswer expected(Adu(7, GetParam().request));
  EXPECT_EQ(expected.Matches(Hex(GetParam().received)), GetParam().match);
}

const Pdu kOutputsRead = ReadHoldingRegisters(3001, 2);
const Pdu kCodeWrite = WriteSingleRegister(3000, 1);
const Pdu kOutputsWrite = WriteMultipleRegisters(3001, {0, 1});
const Pdu kEepromRead = ReadEeprom(0x28, 2);
const std::uint8_t kStored[] = {0x00, 0x7B};
const Pdu kEepromWrite = WriteEeprom(0x28, kStored);

INSTANTIATE_TEST_SUITE_P(
    Answers, Matching,
    ::testing::Values(
        MatchCase{"registers", kOutputsRead, "07 03 04 00 00 00 01 C4 75", AnswerMatch::kAnswer},
        MatchCase{"registers_head", kOutputsRead, "07 03 04 00", AnswerMatch::kIncomplete},
        MatchCase{"nothing_yet", kOutputsRead, "", AnswerMatch::kIncomplete},
        MatchCase{"other_address", kOutputsRead, "08 03 04 00 00 00 01 C4 75",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"other_byte_count", kOutputsRead, "07 03 06 00 00 00 01 00 00 C4 75",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"other_function", kOutputsRead, "07 06 0B B8 00 01 CA 6D",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"stray_byte_behind", kOutputsRead, "07 03 04 00 00 00 01 C4 75 55",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"exception", kOutputsRead, "07 83 02 C0 F1", AnswerMatch::kException},
        MatchCase{"exception_head", kOutputsRead, "07 83", AnswerMatch::kIncomplete},
        MatchCase{"exception_too_long", kOutputsRead, "07 83 02 C0 F1 00",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"exception_to_another_function", kOutputsRead, "07 86 02 C3 A1",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"single_write_echo", kCodeWrite, "07 06 0B B8 00 01 CA 6D", AnswerMatch::kAnswer},
        MatchCase{"single_write_other_value", kCodeWrite, "07 06 0B B8 00 02 8A 6C",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"multiple_write_echo", kOutputsWrite, "07 10 0B B9 00 02 12 2F",
                  AnswerMatch::kAnswer},
        MatchCase{"multiple_write_other_count", kOutputsWrite, "07 10 0B B9 00 01 52 2E",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"eeprom_read", kEepromRead, "07 64 00 28 02 00 7B 00 00", AnswerMatch::kAnswer},
        MatchCase{"eeprom_read_other_start", kEepromRead, "07 64 00 2A 02 00 7B 00 00",
                  AnswerMatch::kNotThisRequest},
        MatchCase{"eeprom_read_short", kEepromRead, "07 64 00 28 02 00 7B 00",
                  AnswerMatch::kIncomplete},
        MatchCase{"eeprom_write_stored_bytes", kEepromWrite, "07 65 00 28 02 00 7C 00 00",
                  AnswerMatch::kAnswer},
        MatchCase{"eeprom_write_other_count", kEepromWrite, "07 65 00 28 01 00 00 00",
                  AnswerMatch::kNotThisRequest}),
    [](const auto& row) { return row.param.name; });

TEST(ExpectedAnswer, BroadcastAndUnknownFunctionsExpectNoRegularAnswer) {
  const ExpectedAnswer broadcast(Adu(kBroadcastAddress, WriteSingleRegister(3000, 1)));
  EXPECT_FALSE(broadcast.AnswerExpected());
  EXPECT_EQ(broadcast.Matches(Hex("00 06 0B B8 00 01 00 00")), AnswerMatch::kNotThisRequest);

  const ExpectedAnswer custom(Adu(7, Pdu(0x41, {})));
  EXPECT_EQ(custom.Length(), 0u);
  EXPECT_EQ(custom.Matches(Hex("07 41 00 00")), AnswerMatch::kNotThisRequest);
  EXPECT_EQ(custom.Matches(Hex("07 C1 01 00 00")), AnswerMatch::kException);
}

}  // namespace
}  // namespace torvex::modbus
