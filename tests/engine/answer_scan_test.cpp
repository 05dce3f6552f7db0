// Cutting the bytes received after a request into noise, stale frames and its answer: what each
// piece is, where it lies, and whether an answer arrived broken.
#include "engine/answer_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/requests.h"
#include "support/frames.h"

namespace torvex {
namespace {

using test::Bytes;
using test::WithCrc;

// Whether the scan saw the answer broken: not at all, cut short, or whole with a wrong CRC.
enum class Broken { kNo, kCutShort, kCrc };
// Whether the line has fallen silent behind the bytes received.
enum class Line { kSending, kSilent };

struct ScanCase {
  const char* name;
  modbus::Pdu request;  // sent to controller 7
  Bytes received;
  Line line;
  // In line order: "kind offset+size", and for a partial piece " of" its whole length.
  const char* pieces;
  Broken broken;
};
void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

std::string Pieces(const Scan& scan) {
  std::string text;
  for (const ScanPiece& piece : scan.pieces) {
    static const char* const kKinds[] = {"noise", "other", "answer", "exception", "partial"};
    if (!text.empty()) text += ", ";
    text += kKinds[static_cast<int>(piece.kind)];
    text += " " + std::to_string(piece.offset) + "+" + std::to_string(piece.size);
    if (piece.kind == ScanPiece::Kind::kPartial || piece.whole != 0) {
      text += " of " + std::to_string(piece.whole);
    }
  }
  return text;
}

class Scanning : public ::testing::TestWithParam<ScanCase> {};

TEST_P(Scanning, CutsWhatArrivedIntoPieces) {
  const modbus::ExpectedAnswer expected(modbus::Adu(7, GetParam().request));
  const Scan scan = ScanAnswer(GetParam().received, expected, GetParam().line == Line::kSilent);
  EXPECT_EQ(Pieces(scan), GetParam().pieces);
  EXPECT_EQ(scan.brokenAnswer, GetParam().broken != Broken::kNo);
  EXPECT_EQ(scan.crcBroken, GetParam().broken == Broken::kCrc);
}

Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
Bytes Cut(const Bytes& frame, std::size_t size) {
  return Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(size));
}
Bytes WrongCrc(Bytes frame) {
  frame[frame.size() - 2] ^= 0x5A;
  return frame;
}

// The n bytes an EEPROM answer carries.
Bytes EepromBytes(std::uint8_t n) {
  Bytes bytes;
  for (std::uint8_t i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return bytes;
}
modbus::Pdu EepromWrite(std::uint8_t n) { return modbus::WriteEeprom(0x28, EepromBytes(n)); }
// Controller 7's answer to function 100 or 101 for n bytes from `start`.
Bytes EepromAnswer(modbus::FunctionCode function, std::uint16_t start, std::uint8_t n) {
  Bytes frame{7, modbus::Code(function), static_cast<std::uint8_t>(start >> 8),
              static_cast<std::uint8_t>(start & 0xFF), n};
  const Bytes bytes = EepromBytes(n);
  frame.insert(frame.end(), bytes.begin(), bytes.end());
  return WithCrc(frame);
}

using modbus::FunctionCode;
constexpr FunctionCode kRead = FunctionCode::kReadEeprom;
constexpr FunctionCode kWrite = FunctionCode::kWriteEeprom;

const modbus::Pdu kOutputsRead = modbus::ReadHoldingRegisters(3001, 2);
const Bytes kOutputsAnswer = WithCrc({7, 0x03, 0x04, 0x00, 0x00, 0x00, 0x01});  // 9 bytes
const Bytes kOutputsException = WithCrc({7, 0x83, 0x02});
// Late answers to earlier requests: a code write (8 bytes) and its exception.
const Bytes kCodeAnswer = WithCrc({7, 0x06, 0x0B, 0xB8, 0x00, 0x01});
const Bytes kCodeException = WithCrc({7, 0x86, 0x02});
// A function whose answer's layout the tool does not know.
const modbus::Pdu kCustom(0x41, {0x01, 0x02});
const Bytes kCustomAnswer = WithCrc({7, 0x41, 0xAA, 0xBB});  // 6 bytes

INSTANTIATE_TEST_SUITE_P(
    Answers, Scanning,
    ::testing::Values(
        ScanCase{"nothing", kOutputsRead, {}, Line::kSilent, "", Broken::kNo},
        ScanCase{"answer", kOutputsRead, kOutputsAnswer, Line::kSilent, "answer 0+9", Broken::kNo},
        ScanCase{"noise_then_answer", kOutputsRead, Joined({{7, 0x55, 0xFF}, kOutputsAnswer}),
                 Line::kSilent, "noise 0+3, answer 3+9", Broken::kNo},
        ScanCase{"bytes_behind_the_answer_in_no_piece", kOutputsRead,
                 Joined({kOutputsAnswer, {0x55}}), Line::kSilent, "answer 0+9", Broken::kNo},
        ScanCase{"stale_frame_then_answer", kOutputsRead, Joined({kCodeAnswer, kOutputsAnswer}),
                 Line::kSilent, "other 0+8, answer 8+9", Broken::kNo},
        ScanCase{"stale_frame_then_wrong_crc", kOutputsRead,
                 Joined({kCodeAnswer, WrongCrc(kOutputsAnswer)}), Line::kSilent,
                 "other 0+8, noise 8+9", Broken::kCrc},
        ScanCase{"cut_short", kOutputsRead, Cut(kOutputsAnswer, 4), Line::kSending,
                 "partial 0+4 of 9", Broken::kCutShort},
        // An address and a function code alone are not yet an answer gone wrong.
        ScanCase{"address_and_function_only", kOutputsRead, Cut(kOutputsAnswer, 2),
                 Line::kSilent, "partial 0+2 of 9", Broken::kNo},
        ScanCase{"stale_frame_then_cut_short", kOutputsRead,
                 Joined({kCodeAnswer, Cut(kOutputsAnswer, 6)}), Line::kSilent,
                 "other 0+8, partial 8+6 of 9", Broken::kCutShort}),
    [](const auto& row) { return row.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Exceptions, Scanning,
    ::testing::Values(
        ScanCase{"exception", kOutputsRead, kOutputsException, Line::kSilent, "exception 0+5",
                 Broken::kNo},
        ScanCase{"stale_exception_then_answer", kOutputsRead,
                 Joined({kCodeException, kOutputsAnswer}), Line::kSilent,
                 "other 0+5, answer 5+9", Broken::kNo},
        ScanCase{"wrong_crc", kOutputsRead, WrongCrc(kOutputsException), Line::kSilent,
                 "noise 0+5", Broken::kCrc},
        ScanCase{"cut_short", kOutputsRead, Cut(kOutputsException, 3), Line::kSending,
                 "partial 0+3 of 5", Broken::kCutShort}),
    [](const auto& row) { return row.param.name; });

// EEPROM answers as the answer and as stale frames, whose length their own n tells.
INSTANTIATE_TEST_SUITE_P(
    Eeprom, Scanning,
    ::testing::Values(
        ScanCase{"read_1", modbus::ReadEeprom(0x28, 1), EepromAnswer(kRead, 0x28, 1),
                 Line::kSilent, "answer 0+8", Broken::kNo},
        ScanCase{"read_16_cut_short", modbus::ReadEeprom(0x28, 16),
                 Cut(EepromAnswer(kRead, 0x28, 16), 10), Line::kSending, "partial 0+10 of 23",
                 Broken::kCutShort},
        ScanCase{"write_4", EepromWrite(4), EepromAnswer(kWrite, 0x28, 4), Line::kSilent,
                 "answer 0+11", Broken::kNo},
        ScanCase{"stale_read_4_then_registers", kOutputsRead,
                 Joined({EepromAnswer(kRead, 0x10, 4), kOutputsAnswer}), Line::kSilent,
                 "other 0+11, answer 11+9", Broken::kNo},
        ScanCase{"stale_write_2_then_read_2", modbus::ReadEeprom(0x28, 2),
                 Joined({EepromAnswer(kWrite, 0x40, 2), EepromAnswer(kRead, 0x28, 2)}),
                 Line::kSilent, "other 0+9, answer 9+9", Broken::kNo},
        ScanCase{"stale_read_0_then_read_3", modbus::ReadEeprom(0x28, 3),
                 Joined({EepromAnswer(kRead, 0x28, 0), EepromAnswer(kRead, 0x28, 3)}),
                 Line::kSilent, "other 0+7, answer 7+10", Broken::kNo},
        ScanCase{"stale_write_16_then_read_1_cut_short", modbus::ReadEeprom(0x28, 1),
                 Joined({EepromAnswer(kWrite, 0x28, 16), Cut(EepromAnswer(kRead, 0x28, 1), 5)}),
                 Line::kSending, "other 0+23, partial 23+5 of 8", Broken::kCutShort}),
    [](const auto& row) { return row.param.name; });

// A function of unknown layout: its answer ends where the line falls silent.
INSTANTIATE_TEST_SUITE_P(
    UnknownLayout, Scanning,
    ::testing::Values(
        ScanCase{"line_silent", kCustom, kCustomAnswer, Line::kSilent, "answer 0+6", Broken::kNo},
        ScanCase{"line_sending", kCustom, kCustomAnswer, Line::kSending, "partial 0+6 of 0",
                 Broken::kCutShort},
        ScanCase{"wrong_crc", kCustom, WrongCrc(kCustomAnswer), Line::kSilent,
                 "partial 0+6 of 0", Broken::kCutShort},
        ScanCase{"stale_frame_then_answer", kCustom, Joined({kCodeAnswer, kCustomAnswer}),
                 Line::kSilent, "other 0+8, answer 8+6", Broken::kNo},
        ScanCase{"exception", kCustom, WithCrc({7, 0xC1, 0x01}), Line::kSending,
                 "exception 0+5", Broken::kNo}),
    [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace torvex
