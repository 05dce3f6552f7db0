// The trace of the line against a stream of frame events: the counters, the ring of the last
// frames, pausing and clearing.
#include "monitor/exchange_trace.h"

#include <gtest/gtest.h>

#include "frame_stream.h"

namespace torvex {
namespace {

using test::kEvents;
using test::Stream;

TEST(ExchangeTrace, CountersAndRingFollowTheStream) {
  Stream stream;
  stream.Feed(kEvents);
  const ExchangeCounters& c = stream.trace.Counters();
  EXPECT_EQ(c.requests, 7u);
  EXPECT_EQ(c.resends, 5u);
  EXPECT_EQ(c.answers, 2u);  // the exception answer is an answer
  EXPECT_EQ(c.exceptions, 1u);
  EXPECT_EQ(c.noAnswer, 1u);
  EXPECT_EQ(c.badCrc, 1u);
  EXPECT_EQ(c.incomplete, 1u);
  EXPECT_EQ(c.mismatch, 1u);
  EXPECT_EQ(c.ownRequest, 1u);
  EXPECT_EQ(c.dropped, 2u);
  // One definition: an error is an exchange that failed, as many as the requests unanswered.
  EXPECT_EQ(c.errors, 5u);
  EXPECT_EQ(c.errors, c.requests - c.answers);

  // An answer keeps what it answered: the status read's answer is told with its start.
  const FrameRing& ring = stream.trace.Ring();
  ASSERT_EQ(ring.Size(), kEvents.size());
  EXPECT_EQ(ring.At(ring.End() - 1).sinceRequestMs, 9);
  EXPECT_EQ(ring.At(ring.End() - 1).Request().size(), 8u);

  stream.trace.Clear();
  EXPECT_EQ(ring.Size(), 0u);
  EXPECT_EQ(stream.trace.Counters().requests, 0u);
}

// A gateway's exception for a controller that did not answer is a failed exchange, counted as
// no answer, not as an answer; the note that answers come too late is no exchange at all.
TEST(ExchangeTrace, AGatewaysAnswerForASilentControllerIsAFailedExchange) {
  Stream stream;
  const test::Bytes request{7, 3, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
  stream.Feed({{FrameDirection::Tx, FrameOutcome::Request, request},
               {FrameDirection::Rx, FrameOutcome::GatewayNoAnswer, {7, 0x83, 0x0B, 0x01, 0x37}, 300, false, 11},
               {FrameDirection::Tx, FrameOutcome::Request, request, -1, true},
               {FrameDirection::Rx, FrameOutcome::GatewayNoPath, {7, 0x83, 0x0A, 0xC0, 0xF7}, 1, false, 10},
               {FrameDirection::Rx, FrameOutcome::AnswersTooLate, {}, 3000}});
  const ExchangeCounters& c = stream.trace.Counters();
  EXPECT_EQ(c.answers, 0u);
  EXPECT_EQ(c.exceptions, 0u);
  EXPECT_EQ(c.errors, 2u);
  EXPECT_EQ(c.noAnswer, 2u);
  EXPECT_TRUE(stream.trace.Ring().At(stream.trace.Ring().End() - 2).IsError());
  EXPECT_FALSE(stream.trace.Ring().At(stream.trace.Ring().End() - 1).IsError());
}

TEST(ExchangeTrace, RingKeepsTheNewestFramesAndPauseKeepsItStill) {
  Stream stream(4);
  stream.Feed(kEvents);  // 17 frames into 4 slots to show and one spare
  const FrameRing& ring = stream.trace.Ring();
  EXPECT_EQ(stream.trace.Capacity(), 4u);
  EXPECT_EQ(ring.Size(), 5u);
  EXPECT_EQ(ring.First(), 12u);
  EXPECT_EQ(ring.End(), 17u);
  EXPECT_EQ(ring.At(12).outcome, FrameOutcome::Mismatch);
  EXPECT_EQ(ring.At(16).outcome, FrameOutcome::Answered);

  stream.trace.SetPaused(true);
  stream.Feed(kEvents);
  EXPECT_EQ(ring.End(), 17u);
  EXPECT_EQ(ring.At(16).outcome, FrameOutcome::Answered);
  EXPECT_EQ(stream.trace.Counters().requests, 14u);  // the line is still counted
}

}  // namespace
}  // namespace torvex
