// What parameter answers do to the boxes: texts, colours, and malformed answers.
#include <algorithm>
#include <utility>

#include <gtest/gtest.h>

#include "decode/default_locale.h"
#include "param_fixture.h"

namespace torvex {
namespace {

using test::Box;
using test::Bytes;
using test::WithCrc;

// Start 0x50: sensor types 1-8 in boxes 40-47, then slave address 42, then `extra` bytes.
Bytes LastBlock(std::uint8_t n, int extra) {
  Bytes frame{0x01, 0x64, 0x00, 0x50, n};
  for (std::uint8_t t = 1; t <= 8; ++t) frame.insert(frame.end(), {0x00, t});
  frame.push_back(42);
  frame.insert(frame.end(), static_cast<std::size_t>(extra), 0xEE);
  return WithCrc(frame);
}

using Shown = std::vector<std::pair<int, QString>>;

Shown LastBlockShown() {
  Shown shown;
  for (int t = 1; t <= 8; ++t) shown.emplace_back(39 + t, QString::number(t) + " ");
  shown.emplace_back(48, "42 ");
  return shown;
}

struct AnswerCase {
  const char* name;
  Bytes answer;  // as received, CRC included
  Shown shown;   // boxes refreshed and their texts (Russian number format)
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class ParamAnswer : public test::ParamFixture, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ParamAnswer, RefreshesOnlyTheParametersItCarries) {
  test::DefaultLocale locale(QLocale::Russian);
  for (int i = 0; i < kParamCount; ++i) Type(i, "-");

  // Cells past the answer hold an older answer's bytes, as in the engine's buffer.
  RxBuffer cells;
  cells.fill(0x33);
  const Bytes& answer = GetParam().answer;
  std::copy(answer.begin(), answer.end(), cells.begin());
  const modbus::Pdu request(answer.size() > 1 ? answer[1] : 0, {});
  params.DecodeParamAnswer(RxAnswer{cells, static_cast<int>(answer.size()), request});

  for (int i = 0; i < kParamCount; ++i) {
    const auto hit = std::find_if(GetParam().shown.begin(), GetParam().shown.end(),
                                  [i](const auto& s) { return s.first == i; });
    if (hit != GetParam().shown.end()) {
      EXPECT_EQ(view.Text(Box(i)), hit->second) << "box " << i;
      EXPECT_EQ(view.Color(Box(i)), kGreen) << "box " << i;
    } else {
      EXPECT_EQ(view.Text(Box(i)), "-") << "box " << i;
      EXPECT_EQ(view.Color(Box(i)), kWhite) << "box " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Params, ParamAnswer,
    ::testing::Values(
        AnswerCase{"slave_address", {0x01, 0x64, 0x00, 0x60, 0x01, 0x05, 0xB1, 0x8F}, {{48, "5 "}}},
        AnswerCase{"slave_address_is_unsigned",
                   WithCrc({0x01, 0x64, 0x00, 0x60, 0x01, 0xFF}), {{48, "255 "}}},
        AnswerCase{"negative_tenths",
                   {0x01, 0x64, 0x00, 0x00, 0x02, 0xFF, 0xFB, 0xA2, 0x57}, {{0, "-0,5 "}}},
        AnswerCase{"signed_extremes",
                   WithCrc({0x01, 0x64, 0x00, 0x10, 0x04, 0x80, 0x00, 0x7F, 0xFF}),
                   {{8, "-32768 "}, {9, "32767 "}}},
        AnswerCase{"write_echo_like_a_read",
                   WithCrc({0x01, 0x65, 0x00, 0x00, 0x04, 0x00, 0x7B, 0x00, 0x78}),
                   {{0, "12,3 "}, {1, "12 "}}},
        AnswerCase{"start_inside_a_parameter", WithCrc({0x01, 0x64, 0x00, 0x01, 0x02, 0x00, 0x05}), {}},
        AnswerCase{"start_past_the_table", WithCrc({0x01, 0x64, 0x00, 0x62, 0x01, 0x05}), {}},
        AnswerCase{"last_block", LastBlock(17, 0), LastBlockShown()},
        AnswerCase{"nothing_past_the_slave_address", LastBlock(40, 23), LastBlockShown()},
        AnswerCase{"no_data", WithCrc({0x01, 0x64, 0x00, 0x00, 0x00}), {}},
        // Malformed: the count byte claims bytes that are not there, or cuts a parameter.
        AnswerCase{"count_claims_more_than_carried",
                   WithCrc({0x01, 0x64, 0x00, 0x00, 0x04, 0x00, 0x7B}), {{0, "12,3 "}}},
        AnswerCase{"count_ends_inside_a_parameter",
                   WithCrc({0x01, 0x64, 0x00, 0x00, 0x03, 0x00, 0x7B, 0x00}), {{0, "12,3 "}}},
        AnswerCase{"count_one_for_a_two_byte_parameter",
                   WithCrc({0x01, 0x64, 0x00, 0x00, 0x01, 0x00}), {}},
        AnswerCase{"no_count_byte", WithCrc({0x01, 0x64, 0x00, 0x60}), {}},
        AnswerCase{"no_start_address", WithCrc({0x01, 0x64, 0x00}), {}}),
    [](const auto& row) { return row.param.name; });

// The whole round: the buttons whiten every box, answers through the engine turn them green
// (the text is set first, so the box's own Change does not leave it white), typing whitens.
class BoxColours : public test::ParamFixture {};

TEST_F(BoxColours, FollowEditsRequestsAndAnswers) {
  auto colors = [&] {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < kParamCount; ++i) out.push_back(view.Color(Box(i)));
    return out;
  };
  auto expectGreenThrough = [&](int last) {
    const auto shown = colors();
    for (int i = 0; i < kParamCount; ++i) {
      EXPECT_EQ(shown[i], i <= last ? kGreen : kWhite) << "box " << i;
    }
  };

  params.cmd_readall_Click();
  expectGreenThrough(-1);
  Tick();  // sends the first read
  Bytes block(40, 0x00);
  for (Bytes head : {Bytes{0x01, 0x64, 0x00, 0x00, 0x28}, Bytes{0x01, 0x64, 0x00, 0x28, 0x28}}) {
    head.insert(head.end(), block.begin(), block.end());
    port.Receive(WithCrc(head));
    Tick();
  }
  expectGreenThrough(39);
  port.Receive(LastBlock(17, 0));
  Tick();
  expectGreenThrough(48);

  Type(3, "1,5");
  EXPECT_EQ(view.Color(Box(3)), kWhite);
  EXPECT_EQ(view.Color(Box(4)), kGreen);

  params.cmd_writeall_Click();
  expectGreenThrough(-1);
}

}  // namespace
}  // namespace torvex
