// The torvex-sim program on a pseudo-terminal, seen from the tool's end of the line.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "sim/controller.h"
#include "sim/eeprom.h"
#include "sim_process.h"

namespace torvex::sim {
namespace {

using namespace std::chrono_literals;
using testing::Finished;
using testing::FromHex;
using testing::SimProcess;
using testing::WithCrc;
using Clock = std::chrono::steady_clock;

const Bytes kStatusPoll = FromHex("07 03 0B B8 00 5A 47 96");
const Bytes kConverterPoll = FromHex("07 03 0C 0C 00 40 87 0F");
const Bytes kCodeWrite = FromHex("07 06 0B B8 00 01 CA 6D");
const Bytes kOutputsWrite = WithCrc({7, 16, 0x0B, 0xB9, 0, 2, 4, 0x00, 0x01, 0x80, 0x00});
const Bytes kOutputsRead = WithCrc({7, 3, 0x0B, 0xB9, 0, 2});

// A frozen controller with the simulator's seed answers exactly as the program must.
Controller Reference(std::uint64_t seed) { return Controller(Eeprom::Defaults(), Plant(seed, true), 7); }

TEST(Wire, AnswersTheToolsRequestsByteForByte) {
  SimProcess sim({"--frozen", "--seed", "7"});
  ASSERT_TRUE(sim.Started());
  Controller reference = Reference(7);
  for (const Bytes& request : {kConverterPoll, kCodeWrite, kStatusPoll, kOutputsWrite, kOutputsRead, kStatusPoll}) {
    const Bytes expected = reference.Handle(request, 0).answer;
    EXPECT_EQ(sim.Exchange(request, expected.size()), expected) << Hex(request);
  }
  // The lengths the tool relies on.
  EXPECT_EQ(reference.Handle(kStatusPoll, 0).answer.size(), 185u);
  EXPECT_EQ(reference.Handle(kConverterPoll, 0).answer.size(), 133u);
  EXPECT_EQ(sim.Receive(1, 100ms), Bytes{}) << "nothing beyond the answers";
}

TEST(Wire, ParameterFramesOfTheTool) {
  SimProcess sim({"--address", "1", "--frozen"});
  ASSERT_TRUE(sim.Started());
  const Bytes first = sim.Exchange(FromHex("01 64 00 00 28 06 EE"), 47);
  ASSERT_EQ(first.size(), 47u);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 5), FromHex("01 64 00 00 28"));
  EXPECT_TRUE(CrcMatches(first));
  EXPECT_EQ(sim.Exchange(FromHex("01 64 00 28 28 18 EE"), 47).size(), 47u);
  EXPECT_EQ(sim.Exchange(FromHex("01 64 00 50 11 FA FC"), 24).size(), 24u);

  EXPECT_EQ(sim.Exchange(FromHex("01 65 00 60 01 05 8C 4F"), 8), WithCrc({1, 101, 0, 0x60, 1, 5}));
  EXPECT_EQ(sim.Exchange(WithCrc({1, 100, 0, 0x60, 1}), 8), FromHex("01 64 00 60 01 05 B1 8F"));
  EXPECT_EQ(sim.Exchange(WithCrc({1, 101, 0, 0, 2, 0xFF, 0xFB}), 9), WithCrc({1, 101, 0, 0, 2, 0xFF, 0xFB}));
  EXPECT_EQ(sim.Exchange(WithCrc({1, 100, 0, 0, 2}), 9), FromHex("01 64 00 00 02 FF FB A2 57"));
}

TEST(Wire, FramingLikeARealSlave) {
  SimProcess sim({"--frozen", "--seed", "3"});
  ASSERT_TRUE(sim.Started());
  const Bytes codeAnswer = kCodeWrite;  // function 6 echoes
  const Bytes outputsAnswer = WithCrc({7, 16, 0x0B, 0xB9, 0, 2});

  // Two frames back to back in one write: two answers.
  Bytes both = kCodeWrite;
  both.insert(both.end(), kOutputsWrite.begin(), kOutputsWrite.end());
  Bytes answers = codeAnswer;
  answers.insert(answers.end(), outputsAnswer.begin(), outputsAnswer.end());
  EXPECT_EQ(sim.Exchange(both, answers.size()), answers);

  // A frame cut by silence is dropped, both halves; the next whole frame is answered.
  sim.Send(Bytes(kCodeWrite.begin(), kCodeWrite.begin() + 4));
  std::this_thread::sleep_for(20ms);
  sim.Send(Bytes(kCodeWrite.begin() + 4, kCodeWrite.end()));
  EXPECT_EQ(sim.Receive(1, 150ms), Bytes{});
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), codeAnswer);

  // Noise, then silence, then a frame: the frame is answered.
  sim.Send(FromHex("FF 00 55"));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), codeAnswer);

  // Another slave's frame and a bad CRC: no answer, as from a real slave.
  sim.Send(WithCrc({8, 6, 0x0B, 0xB8, 0, 1}));
  EXPECT_EQ(sim.Receive(1, 150ms), Bytes{});
  Bytes bad = kCodeWrite;
  bad.back() ^= 0x01;
  sim.Send(bad);
  EXPECT_EQ(sim.Receive(1, 150ms), Bytes{});
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), codeAnswer);

  const Finished end = sim.Stop(SIGINT);
  EXPECT_EQ(end.exitCode, 0);
  EXPECT_EQ(end.out,
            "torvex-sim: 10 frames received, 5 answered (0 exceptions), 4 bad CRC, 1 ignored, "
            "0 broadcast, 0 kept silent; by function 6: 4, 16: 1\n");
}

TEST(Wire, ExitOnSignalRemovesTheLinkAndSummarises) {
  for (int signal : {SIGTERM, SIGINT}) {
    SimProcess sim({});
    ASSERT_TRUE(sim.Started());
    EXPECT_NE(sim.Banner().find("at address 7 on /dev/pts/"), std::string::npos) << sim.Banner();
    EXPECT_NE(sim.Banner().find("(link " + sim.LinkPath().string() + ")"), std::string::npos);
    EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
    const Finished end = sim.Stop(signal);
    EXPECT_EQ(end.exitCode, 0) << signal;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.LinkPath())));
    EXPECT_EQ(end.out.find("torvex-sim: 1 frames received, 1 answered"), 0u) << end.out;
  }
}

TEST(Wire, IdlesWithoutUsingTheProcessor) {
  SimProcess sim({});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
  sim.CloseLine();  // the tool goes away: the line must not turn into a busy loop
  const long before = sim.CpuTicks();
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(sim.CpuTicks() - before, 2) << "clock ticks of CPU in 300 ms of idling";
}

// A tool killed while it holds the line never drops its exclusive claim; the simulator keeps
// the line open, so without help nobody but root could open it again.
TEST(Wire, AKilledToolDoesNotLeaveTheLineLocked) {
  SimProcess sim({});
  ASSERT_TRUE(sim.Started());
  const int tool = ::open(sim.LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(tool, 0);
  ASSERT_EQ(::ioctl(tool, TIOCEXCL), 0);
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
  auto claimed = [&] {
    int exclusive = -1;
    ::ioctl(tool, TIOCGEXCL, &exclusive);
    return exclusive;
  };
  EXPECT_EQ(claimed(), 1) << "a running tool keeps its claim";
  ::close(tool);  // as a killed tool's descriptors are closed, without TIOCNXCL
  std::this_thread::sleep_for(700ms);
  const int again = ::open(sim.LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(again, 0);
  int exclusive = -1;
  ASSERT_EQ(::ioctl(again, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(again);
}

TEST(Wire, TheLinkReplacesAnOldLinkButNoFile) {
  const testing::ScratchDir dir;
  std::filesystem::create_symlink("/dev/null", dir / "com1");
  {
    SimProcess sim({}, true, dir.Path());
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
  }
  std::ofstream(dir / "com2") << "keep me";
  const Finished refused = testing::RunToEnd({"--link", (dir / "com2").string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("is not a symbolic link"), std::string::npos) << refused.err;
  std::ifstream kept(dir / "com2");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
}

TEST(Wire, EepromSurvivesARestartAndItsAddressTakesEffectThen) {
  const testing::ScratchDir dir;
  const std::string file = (dir / "eeprom.txt").string();
  {
    SimProcess sim({"--eeprom", file}, true, dir.Path());
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Exchange(WithCrc({7, 101, 0, 0x60, 1, 5}), 8), WithCrc({7, 101, 0, 0x60, 1, 5}));
    EXPECT_EQ(sim.Exchange(WithCrc({7, 101, 0, 0, 2, 0xFF, 0xFB}), 9).size(), 9u);
    const Finished end = sim.Stop();
    EXPECT_NE(end.err.find("new EEPROM file"), std::string::npos) << end.err;
    EXPECT_NE(end.err.find("until it is started again"), std::string::npos) << end.err;
  }
  SimProcess again({"--eeprom", file}, true, dir.Path());
  ASSERT_TRUE(again.Started());
  EXPECT_NE(again.Banner().find("at address 5 "), std::string::npos) << again.Banner();
  EXPECT_EQ(again.Exchange(WithCrc({5, 100, 0, 0, 2}), 9), WithCrc({5, 100, 0, 0, 2, 0xFF, 0xFB}));
}

TEST(Wire, CommandLineHelpAndMistakes) {
  const Finished help = testing::RunToEnd({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--link", "--device", "--mode", "--address", "--eeprom", "--seed",
                             "--frozen", "--silent-every", "--corrupt-every", "--split-every",
                             "--delay-ms", "--noise-every", "--exception", "--trace",
                             "--line-timing", "--listen", "--modbus-tcp",
                             "--wrong-transaction-every", "--strict-mode"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const Finished wrong = testing::RunToEnd({"--split-every", "0"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_NE(wrong.err.find("--split-every needs"), std::string::npos) << wrong.err;
  const Finished missing = testing::RunToEnd({"--device", "/nonexistent/tty"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("cannot open /nonexistent/tty"), std::string::npos) << missing.err;
}

// A line at 9600 baud, 8N2: 11 bits a character. The status block (185 bytes) takes 212 ms to
// arrive, after its request has taken 9 ms to go out; a request written over an answer counts.
TEST(Wire, LineTimingPassesBytesAtTheCharacterTimeOnOnePair) {
  SimProcess sim({"--frozen", "--seed", "5", "--mode", "9600,n,8,2", "--line-timing"});
  ASSERT_TRUE(sim.Started());
  EXPECT_NE(sim.Banner().find("9600,n,8,2, seed 5, frozen, line timing"), std::string::npos)
      << sim.Banner();
  const Bytes expected = Reference(5).Handle(kStatusPoll, 0).answer;
  const auto sent = Clock::now();
  sim.Send(kStatusPoll);
  const Bytes head = sim.Receive(1, 1s);
  const auto first = Clock::now();
  const Bytes rest = sim.Receive(expected.size() - 1, 2s);
  const auto last = Clock::now();
  ASSERT_EQ(head.size() + rest.size(), expected.size());
  EXPECT_GE(first - sent, 9ms) << "request and first answer byte: 9 characters";
  EXPECT_GE(last - first, 205ms) << "184 more characters of 1.146 ms";
  EXPECT_LT(last - sent, 600ms);

  sim.Send(kConverterPoll);
  const Bytes part = sim.Receive(20, 1s);  // the answer is on its way ...
  ASSERT_EQ(part.size(), 20u);
  sim.Send(kCodeWrite);  // ... and the master talks over it: 8 bytes
  sim.Receive(113 + 8, 2s);
  const Finished end = sim.Stop();
  EXPECT_NE(end.out.find(", 8 bytes over an answer"), std::string::npos) << end.out;
}

// --- Strict mode ------------------------------------------------------------------------------

// The tool's end set to each mode in turn, as the tool sets its port; a frame in a mode that is
// not the simulator's own goes unanswered, and the simulator answers again once the mode is
// right. Even parity cannot be told from none on a pseudo-terminal.
TEST(WireStrictMode, AnswersOnlyAMasterInItsOwnLineMode) {
  SimProcess sim({"--strict-mode", "--trace", "--mode", "19200,n,8,2"});
  ASSERT_TRUE(sim.Started());
  EXPECT_NE(sim.Banner().find("19200,n,8,2, seed"), std::string::npos) << sim.Banner();
  EXPECT_NE(sim.Banner().find(", strict mode;"), std::string::npos) << sim.Banner();
  const struct {
    const char* mode;
    bool answered;
  } cases[] = {
      {"19200,n,8,2", true},  {"9600,n,8,2", false}, {"19200,n,8,1", false},
      {"19200,o,8,2", false}, {"19200,e,8,2", true}, {"19200,n,8,2", true},
  };
  for (const auto& c : cases) {
    sim.SetLineMode(*ParseLineMode(c.mode));
    if (c.answered) {
      EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite) << c.mode;
    } else {
      sim.Send(kCodeWrite);
      EXPECT_TRUE(sim.WaitForError(std::string("(wrong line mode: ") + c.mode +
                                   " - answers only at 19200,n,8,2)"))
          << c.mode;
      EXPECT_EQ(sim.Receive(1, 100ms), Bytes{}) << c.mode;
    }
  }
  const Finished end = sim.Stop();
  EXPECT_NE(end.out.find("6 frames received, 3 answered (0 exceptions), 0 bad CRC, 3 ignored"),
            std::string::npos)
      << end.out;
}

TEST(WireStrictMode, WithoutItAnyLineModeIsAnswered) {
  SimProcess sim({});
  ASSERT_TRUE(sim.Started());
  sim.SetLineMode(*ParseLineMode("9600,o,8,1"));
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
}

// --- Faults -----------------------------------------------------------------------------------

TEST(WireFaults, SilentEveryNLeavesTheNthRequestUnansweredAndUndone) {
  SimProcess sim({"--silent-every", "2", "--frozen"});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Exchange(WithCrc({7, 6, 0x0B, 0xB8, 0, 1}), 8).size(), 8u);
  sim.Send(WithCrc({7, 6, 0x0B, 0xB8, 0, 2}));  // request 2: silent, not carried out
  EXPECT_EQ(sim.Receive(1, 150ms), Bytes{});
  EXPECT_EQ(sim.Exchange(WithCrc({7, 3, 0x0B, 0xB8, 0, 1}), 7), WithCrc({7, 3, 2, 0, 1}));
  sim.Send(kCodeWrite);  // request 4
  EXPECT_EQ(sim.Receive(1, 150ms), Bytes{});
  EXPECT_NE(sim.Stop().out.find("2 kept silent"), std::string::npos);
}

TEST(WireFaults, CorruptEveryNSpoilsTheCrcOfTheNthAnswer) {
  SimProcess sim({"--corrupt-every", "2"});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
  const Bytes spoiled = sim.Exchange(kCodeWrite, 8);
  ASSERT_EQ(spoiled.size(), 8u);
  EXPECT_FALSE(CrcMatches(spoiled));
  EXPECT_EQ(Bytes(spoiled.begin(), spoiled.begin() + 6), Bytes(kCodeWrite.begin(), kCodeWrite.begin() + 6));
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
}

TEST(WireFaults, SplitEveryNSendsTheTailMoreThanATickLater) {
  SimProcess sim({"--split-every", "1", "--frozen", "--seed", "4"});
  ASSERT_TRUE(sim.Started());
  const Bytes expected = Reference(4).Handle(kStatusPoll, 0).answer;
  const auto sent = Clock::now();
  sim.Send(kStatusPoll);
  const Bytes head = sim.Receive(expected.size() / 2, 1s);
  const auto headTime = Clock::now();
  const Bytes tail = sim.Receive(expected.size() - head.size(), 1s);
  const auto tailTime = Clock::now();
  ASSERT_EQ(head.size(), expected.size() / 2);
  EXPECT_LT(headTime - sent, 100ms) << "the head belongs to the tick of the request";
  EXPECT_GE(tailTime - sent, 100ms) << "the tail must miss that tick";
  Bytes whole = head;
  whole.insert(whole.end(), tail.begin(), tail.end());
  EXPECT_EQ(whole, expected);
}

TEST(WireFaults, DelayMsHoldsEveryAnswerBack) {
  SimProcess sim({"--delay-ms", "80"});
  ASSERT_TRUE(sim.Started());
  for (int k = 0; k < 2; ++k) {
    const auto sent = Clock::now();
    EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
    EXPECT_GE(Clock::now() - sent, 80ms);
  }
}

TEST(WireFaults, NoiseEveryNPutsStrayBytesBeforeTheNthAnswer) {
  SimProcess sim({"--noise-every", "2", "--seed", "9"});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
  sim.Send(kCodeWrite);
  Bytes noisy = sim.Receive(9, 1s);
  const Bytes rest = sim.Receive(8, 100ms);  // up to two more stray bytes
  noisy.insert(noisy.end(), rest.begin(), rest.end());
  ASSERT_GE(noisy.size(), 9u);
  ASSERT_LE(noisy.size(), 11u);
  EXPECT_EQ(Bytes(noisy.end() - 8, noisy.end()), kCodeWrite) << Hex(noisy);
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
}

TEST(WireFaults, ExceptionRefusesOneFunctionOnly) {
  SimProcess sim({"--exception", "3:4"});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Exchange(kStatusPoll, 5), ExceptionAnswer(7, 3, 4));
  EXPECT_EQ(sim.Exchange(kCodeWrite, 8), kCodeWrite);
  EXPECT_NE(sim.Stop().out.find("2 answered (1 exception)"), std::string::npos);
}

TEST(WireFaults, EchoReturnsEveryFrameHeardBeforeItsAnswer) {
  SimProcess sim({"--echo", "--silent-every", "2"});
  ASSERT_TRUE(sim.Started());
  const Bytes write = WithCrc({7, 6, 0x0B, 0xB8, 0, 5});
  Bytes both = write;
  both.insert(both.end(), write.begin(), write.end());  // a write's answer equals its request
  EXPECT_EQ(sim.Exchange(write, 16), both);
  // Unanswered (request 2) or for another slave: the echo comes all the same, and only it.
  sim.Send(kOutputsRead);
  EXPECT_EQ(sim.Receive(100, 200ms), kOutputsRead);
  const Bytes other = WithCrc({9, 3, 0x0B, 0xB8, 0, 1});
  sim.Send(other);
  EXPECT_EQ(sim.Receive(100, 200ms), other);
  const Bytes read = sim.Exchange(kOutputsRead, kOutputsRead.size() + 9);
  ASSERT_EQ(read.size(), kOutputsRead.size() + 9);
  EXPECT_EQ(Bytes(read.begin(), read.begin() + 8), kOutputsRead);
  EXPECT_EQ(Bytes(read.begin() + 8, read.begin() + 11), FromHex("07 03 04"));
}

TEST(WireFaults, AFaultyUnitIsPlayedAndNamedAtStart) {
  SimProcess sim({"--frozen", "--stuck-input", "3", "--short-inputs", "1,18", "--analog-error", "6:-2.5"});
  ASSERT_TRUE(sim.Started());
  for (const char* fault : {", stuck input 3", ", inputs 1 and 18 shorted", ", analog output 6 off by -2.5%"}) {
    EXPECT_NE(sim.Banner().find(fault), std::string::npos) << sim.Banner();
  }
  EXPECT_EQ(sim.Exchange(WithCrc({7, 16, 0x0B, 0xB9, 0, 2, 4, 0xFF, 0xFF, 0xFF, 0xFF}), 8),
            WithCrc({7, 16, 0x0B, 0xB9, 0, 2}));
  EXPECT_EQ(sim.Exchange(WithCrc({7, 3, 0x0B, 0xE2, 0, 2}), 9), WithCrc({7, 3, 4, 0xFF, 0xFF, 0xFF, 0xFB}));
}

}  // namespace
}  // namespace torvex::sim
