#include "sim/line_timing.h"

#include <gtest/gtest.h>

namespace torvex::sim {
namespace {

TEST(LineTiming, CharacterTimeFollowsTheMode) {
  EXPECT_NEAR(CharacterMicros(*ParseLineMode("9600,n,8,2")), 11e6 / 9600, 1e-6);
  EXPECT_NEAR(CharacterMicros(*ParseLineMode("9600,n,8,1")), 10e6 / 9600, 1e-6);
  EXPECT_NEAR(CharacterMicros(*ParseLineMode("19200,e,8,1")), 11e6 / 19200, 1e-6);
}

TEST(LineTiming, MastersBytesArriveOneCharacterApart) {
  InboundPacer pacer(1000.0);
  const auto spans = pacer.Receive(std::vector<std::uint8_t>{1, 2, 3}, 5'000);
  ASSERT_EQ(spans.size(), 3u);
  EXPECT_EQ(spans[0], (std::pair<std::int64_t, std::int64_t>{5'000, 6'000}));
  EXPECT_EQ(spans[2], (std::pair<std::int64_t, std::int64_t>{7'000, 8'000}));
  // Written while the first ones are still on the line: behind them.
  EXPECT_EQ(pacer.Receive(std::vector<std::uint8_t>{4}, 6'500)[0].first, 8'000);
  EXPECT_EQ(pacer.NextDue(), 6'000);
  const auto due = pacer.TakeDue(7'000);
  ASSERT_EQ(due.size(), 2u);
  EXPECT_EQ(due[1].byte, 2);
  EXPECT_EQ(due[1].atUs, 7'000);
  EXPECT_EQ(pacer.TakeDue(9'000).size(), 2u);
  EXPECT_FALSE(pacer.NextDue());
}

// Each of the master's characters that shares time with an answer counts once, whichever was
// put on the pair first; characters that touch an answer's ends do not.
TEST(LineTiming, CountsTheMastersCharactersOverAnAnswer) {
  HalfDuplexPair pair;
  pair.Answer(10'000, 20'000);
  pair.MasterCharacter(9'000, 10'000);   // just before: fine
  pair.MasterCharacter(19'500, 20'500);  // into the answer's tail
  pair.MasterCharacter(20'000, 21'000);  // just after: fine
  EXPECT_EQ(pair.TalkedOver(), 1u);
  pair.MasterCharacter(30'000, 31'000);
  pair.MasterCharacter(31'000, 32'000);
  pair.Answer(31'500, 40'000);  // a late answer that starts under the master's request
  EXPECT_EQ(pair.TalkedOver(), 2u);
  pair.Answer(31'900, 50'000);  // the same character is not counted twice
  EXPECT_EQ(pair.TalkedOver(), 2u);
}

// One exchange at a time on the line behind a gateway: the request crosses, the controller
// answers (after its delay), the answer crosses back; a request that comes meanwhile waits.
TEST(LineTiming, TheLineBehindAGatewayCarriesOneExchangeAtATime) {
  GatewayLine line(1000.0);
  EXPECT_EQ(line.Request(8, 5'000), 13'000) << "heard when its 8 characters have crossed";
  EXPECT_EQ(line.Answer(25, 13'000 + 2'000), 40'000) << "2 ms to answer, 25 characters back";
  EXPECT_EQ(line.Request(8, 20'000), 48'000) << "came while the line was busy: waits";
  EXPECT_EQ(line.Request(8, 100'000), 108'000) << "an unanswered request frees the line";

  GatewayLine gapped(1000.0, 3'500);  // frames 3.5 characters of silence apart
  EXPECT_EQ(gapped.Request(8, 5'000), 16'500) << "heard once the silence has ended it";
  EXPECT_EQ(gapped.Answer(25, 16'500), 41'500);
  EXPECT_EQ(gapped.Request(8, 42'000), 56'500) << "starts only after the silence behind the answer";
}

}  // namespace
}  // namespace torvex::sim
