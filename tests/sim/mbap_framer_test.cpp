#include "sim/mbap_framer.h"

#include <gtest/gtest.h>

#include "modbus/mbap.h"
#include "sim/mbap_answers.h"
#include "sim_process.h"

namespace torvex::sim {
namespace {

using testing::FromHex;
using testing::WithCrc;

// Transaction 0x0102, unit 7: read 10 registers from 3042; and a register write, transaction 5.
const Bytes kRead = FromHex("01 02 00 00 00 06 07 03 0B E2 00 0A");
const Bytes kWrite = FromHex("00 05 00 00 00 06 07 06 0B B8 00 01");

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<Bytes> Adus(const MbapFramer::Result& r) {
  std::vector<Bytes> out;
  for (const MbapRequest& q : r.requests) out.push_back(q.adu);
  return out;
}

TEST(MbapFramer, CutsRequestsByTheirHeaderWhateverTheSegments) {
  MbapFramer framer;
  EXPECT_EQ(Adus(framer.Feed(Join({kRead, kWrite}))), (std::vector<Bytes>{kRead, kWrite}));
  // Byte by byte: each request comes out when its last byte is in, and only then.
  const Bytes both = Join({kWrite, kRead});
  std::vector<Bytes> got;
  for (std::size_t k = 0; k < both.size(); ++k) {
    const auto r = framer.Feed(std::span(&both[k], 1));
    EXPECT_FALSE(r.lostStep);
    for (const Bytes& adu : Adus(r)) got.push_back(adu);
    const std::size_t whole = std::size_t{k + 1 >= kWrite.size()} + std::size_t{k + 1 == both.size()};
    EXPECT_EQ(got.size(), whole) << "after byte " << k;
  }
  EXPECT_EQ(got, (std::vector<Bytes>{kWrite, kRead}));

  const MbapRequest request = MbapFramer().Feed(kRead).requests.at(0);
  EXPECT_EQ(request.transaction, 0x0102);
  EXPECT_EQ(request.unit, 7);
  const Frame rtu = RtuFrame(request);
  EXPECT_EQ(rtu.bytes, WithCrc({7, 3, 0x0B, 0xE2, 0, 10}));
  EXPECT_TRUE(rtu.crcOk);
}

// A header no Modbus frame can have: the requests before it are served, nothing after it.
TEST(MbapFramer, LosesItsStepAtAHeaderThatCannotStartAFrame) {
  struct Case {
    const char* what;
    Bytes header;
    const char* says;
  };
  const Case cases[] = {
      {"another protocol", FromHex("00 09 00 01 00 06 07"), "protocol 1, length 6"},
      {"no function code", FromHex("00 09 00 00 00 01 07"), "length 1"},
      {"longer than a PDU", FromHex("00 09 00 00 00 FF 07"), "length 255"},
  };
  for (const Case& c : cases) {
    MbapFramer framer;
    const auto r = framer.Feed(Join({kRead, c.header, kWrite}));
    EXPECT_EQ(Adus(r), std::vector<Bytes>{kRead}) << c.what;
    ASSERT_TRUE(r.lostStep) << c.what;
    EXPECT_NE(r.lostStep->find(c.says), std::string::npos) << *r.lostStep;
    EXPECT_TRUE(framer.Feed(kWrite).lostStep) << c.what << ": the stream stays lost";
  }
}

// How each fault shows on Modbus TCP, for a request heard at 1000 whose answer is due at 5000.
TEST(MbapAnswers, FaultsShowAsModbusTcpCanCarryThem) {
  const MbapRequest read = MbapFramer().Feed(kRead).requests.at(0);
  const Bytes rtuAnswer = WithCrc({7, 3, 4, 0, 1, 0, 2});
  const Bytes answer = FromHex("01 02 00 00 00 07 07 03 04 00 01 00 02");
  auto decision = [&](auto set) {
    Decision d;
    d.answer = rtuAnswer;
    d.dueUs = 5'000;
    set(d);
    return d;
  };
  struct Case {
    const char* what;
    Decision d;
    std::vector<Transmission> runs;
  };
  const Bytes wrongId = Join({FromHex("81 02"), Bytes(answer.begin() + 2, answer.end())});
  Bytes spoiled = answer;
  spoiled[2] = spoiled[3] = 0xFF;
  const Case cases[] = {
      {"clean", decision([](Decision&) {}), {{5'000, answer}}},
      {"echo", decision([](Decision& d) { d.echo = true; }), {{1'000, kRead}, {5'000, answer}}},
      {"corrupt", decision([](Decision& d) { d.corrupt = true; }), {{5'000, spoiled}}},
      {"wrong transaction", decision([](Decision& d) { d.wrongTransaction = true; }), {{5'000, wrongId}}},
      {"split", decision([](Decision& d) { d.split = true; }),
       {{5'000, Bytes(answer.begin(), answer.begin() + 6)},
        {5'000 + kSplitPauseUs, Bytes(answer.begin() + 6, answer.end())}}},
      {"silent, with echo", decision([](Decision& d) {
         d.answer.clear();
         d.echo = true;
       }), {{1'000, kRead}}},
  };
  for (const Case& c : cases) {
    MbapAnswers answers;
    Decision d = c.d;
    const auto runs = answers.For(read, d, 1'000, 5'000);
    ASSERT_EQ(runs.size(), c.runs.size()) << c.what;
    for (std::size_t k = 0; k < runs.size(); ++k) {
      EXPECT_EQ(runs[k].dueUs, c.runs[k].dueUs) << c.what;
      EXPECT_EQ(runs[k].bytes, c.runs[k].bytes) << c.what << ": " << Hex(runs[k].bytes);
    }
  }
  const auto spoiledHeader = modbus::MbapFrameLength(spoiled);
  EXPECT_FALSE(spoiledHeader) << "a master must see the spoiled answer as no Modbus frame";
}

// Noise is the previous answer frame again, as it was meant, with its own transaction identifier.
TEST(MbapAnswers, NoiseReplaysThePreviousAnswerBeforeTheAnswer) {
  MbapAnswers answers;
  const MbapRequest write = MbapFramer().Feed(kWrite).requests.at(0);
  const MbapRequest read = MbapFramer().Feed(kRead).requests.at(0);
  Decision first;
  first.answer = WithCrc({7, 6, 0x0B, 0xB8, 0, 1});
  first.noise = {0x55};  // nothing earlier to replay: the answer alone
  first.corrupt = true;
  const auto firstRuns = answers.For(write, first, 0, 0);
  ASSERT_EQ(firstRuns.size(), 1u);

  Decision second;
  second.answer = WithCrc({7, 3, 2, 0, 9});
  second.noise = {0x55};
  second.dueUs = 700;
  const auto runs = answers.For(read, second, 0, 700);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].bytes, kWrite) << "function 6's answer repeats its request; not spoiled";
  EXPECT_EQ(runs[1].bytes, FromHex("01 02 00 00 00 05 07 03 02 00 09"));
  EXPECT_EQ(runs[0].dueUs, 700);
  EXPECT_NE(second.verdict.find("replayed"), std::string::npos) << second.verdict;
}

}  // namespace
}  // namespace torvex::sim
