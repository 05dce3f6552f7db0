#include "sim/rtu_framer.h"

#include <gtest/gtest.h>

#include "sim_process.h"

namespace torvex::sim {
namespace {

using testing::FromHex;
using testing::WithCrc;

constexpr std::int64_t kGap = 1750;

const Bytes kPoll = FromHex("07 03 0B B8 00 5A 47 96");
const Bytes kWrite = FromHex("07 06 0B B8 00 01 CA 6D");

// The frames as "ok:<hex>" or "bad:<hex>", in order, for readable expectations.
std::vector<std::string> Describe(const std::vector<Frame>& frames) {
  std::vector<std::string> out;
  for (const Frame& f : frames) out.push_back((f.crcOk ? "ok:" : "bad:") + Hex(f.bytes));
  return out;
}
std::string Ok(const Bytes& b) { return "ok:" + Hex(b); }
std::string Bad(const Bytes& b) { return "bad:" + Hex(b); }

// Feeds chunks at the given times, then lets the line rest; returns every frame.
std::vector<std::string> FrameLine(std::vector<std::pair<std::int64_t, Bytes>> chunks,
                                   RtuFramer::Carrier carrier = RtuFramer::Carrier::kLine) {
  RtuFramer framer(kGap, carrier);
  std::vector<Frame> frames;
  std::int64_t last = 0;
  for (auto& [at, bytes] : chunks) {
    for (Frame& f : framer.Feed(bytes, at)) frames.push_back(std::move(f));
    last = at;
  }
  for (Frame& f : framer.Expire(last + kGap)) frames.push_back(std::move(f));
  return Describe(frames);
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(RtuFramer, CutsTheLineIntoFrames) {
  const Bytes block = WithCrc({7, 16, 0x0B, 0xB9, 0, 2, 4, 0, 1, 0x80, 0});
  const Bytes eepromWrite = WithCrc({7, 101, 0, 0x60, 1, 5});
  const Bytes unknown = WithCrc({7, 43, 14, 1, 0});  // a function of unknown layout: ends at the gap
  const Bytes noise = FromHex("FF 00 13");
  struct Case {
    const char* what;
    std::vector<std::pair<std::int64_t, Bytes>> chunks;
    std::vector<std::string> frames;
  };
  const Case cases[] = {
      {"two frames back to back in one read", {{0, Join({kPoll, kWrite})}}, {Ok(kPoll), Ok(kWrite)}},
      {"variable lengths from the count bytes", {{0, Join({block, eepromWrite})}}, {Ok(block), Ok(eepromWrite)}},
      {"a frame arriving in pieces without a gap", {{0, Bytes(kPoll.begin(), kPoll.begin() + 3)},
                                                    {kGap - 1, Bytes(kPoll.begin() + 3, kPoll.end())}},
       {Ok(kPoll)}},
      {"a frame cut by silence", {{0, Bytes(kPoll.begin(), kPoll.begin() + 3)},
                                  {kGap, Bytes(kPoll.begin() + 3, kPoll.end())}},
       {Bad(Bytes(kPoll.begin(), kPoll.begin() + 3)), Bad(Bytes(kPoll.begin() + 3, kPoll.end()))}},
      {"noise, silence, a frame", {{0, noise}, {5 * kGap, kPoll}}, {Bad(noise), Ok(kPoll)}},
      // As on a real line: noise glued to a frame spoils it; the next frame after a gap is found.
      {"noise glued to a frame", {{0, Join({noise, kPoll})}, {10 * kGap, kWrite}},
       {Bad(Join({noise, kPoll})), Ok(kWrite)}},
      {"unknown function, ended by silence", {{0, unknown}}, {Ok(unknown)}},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameLine(c.chunks), c.frames) << c.what;
}

// On TCP a pause between segments is no silence on a line: a frame whose length its function
// tells is waited for, however long the pause.
TEST(RtuFramer, OnAStreamSilenceEndsOnlyFramesOfUnknownLength) {
  using Carrier = RtuFramer::Carrier;
  const Bytes block = WithCrc({7, 16, 0x0B, 0xB9, 0, 2, 4, 0, 1, 0x80, 0});
  const Bytes unknown = WithCrc({7, 43, 14, 1, 0});
  const Bytes noise = FromHex("FF 00 13");
  auto split = [](const Bytes& frame, std::size_t at, std::int64_t pauseUs) {
    return std::vector<std::pair<std::int64_t, Bytes>>{{0, Bytes(frame.begin(), frame.begin() + at)},
                                                        {pauseUs, Bytes(frame.begin() + at, frame.end())}};
  };
  struct Case {
    const char* what;
    std::vector<std::pair<std::int64_t, Bytes>> chunks;
    std::vector<std::string> frames;
  };
  const Case cases[] = {
      {"a read split 200 ms apart", split(kPoll, 3, 200'000), {Ok(kPoll)}},
      {"split after the address alone", split(kPoll, 1, 200'000), {Ok(kPoll)}},
      {"split before the count byte", split(block, 5, 200'000), {Ok(block)}},
      {"unknown function: silence still ends it", {{0, unknown}}, {Ok(unknown)}},
      // Noise glued to a frame still spoils it, and the gap still clears what follows.
      {"noise glued to a frame", {{0, Join({noise, kPoll})}, {10 * kGap, kWrite}},
       {Bad(Join({noise, kPoll})), Ok(kWrite)}},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameLine(c.chunks, Carrier::kStream), c.frames) << c.what;

  RtuFramer framer(kGap, Carrier::kStream);
  EXPECT_TRUE(framer.Feed(Bytes(kPoll.begin(), kPoll.begin() + 4), 0).empty());
  EXPECT_TRUE(framer.Expire(kGap).empty());
  EXPECT_FALSE(framer.Deadline()) << "a frame waiting for its rest needs no wake-up";
}

TEST(RtuFramer, DropsAnEndlessStreamAndWaitsOnlyWhileBytesAreOpen) {
  RtuFramer framer(kGap);
  EXPECT_FALSE(framer.Deadline()) << "a resting line needs no wake-up";
  const Bytes garbage(300, 0x07);  // address 7, function 7: no known length
  const auto frames = framer.Feed(garbage, 100);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].crcOk);
  EXPECT_EQ(frames[0].bytes.size(), kMaxFrameSize);
  EXPECT_EQ(framer.Deadline(), 100 + kGap);
  EXPECT_TRUE(framer.Expire(100 + kGap - 1).empty());
  EXPECT_TRUE(framer.Expire(100 + kGap).empty()) << "the rest of the garbage is not a frame";
  EXPECT_FALSE(framer.Deadline());
  EXPECT_EQ(Describe(framer.Feed(kPoll, 10'000)), std::vector<std::string>{Ok(kPoll)});
}

}  // namespace
}  // namespace torvex::sim
