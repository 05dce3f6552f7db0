#include "paramset/set_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>

#include "modbus/adu.h"
#include "modbus/requests.h"
#include "support/fake_serial_port.h"

namespace torvex::paramset {
namespace {

using namespace std::chrono_literals;
using modbus::Adu;
using modbus::Pdu;

ParamImage Counting(std::uint8_t address) {
  ParamImage image{};
  std::iota(image.begin(), image.end(), std::uint8_t{1});
  image[96] = address;
  return image;
}

// The engine on a fake line with a TORVEX-CPU in memory behind it: each frame sent is answered
// before the next tick, from the controller's EEPROM, at the controller's address.
class Bench {
 public:
  Bench() { engine.SetDecoder([this](const RxAnswer& answer) { run->OnAnswer(answer); }); }

  void Run(SetExchange& job, int ticks = 200) {
    run = &job;
    job.Start(engine);
    for (int i = 0; i < ticks && job.Running(); ++i) {
      engine.SetSlaveAddress(job.SlaveAddress());
      job.OnTick(engine.Tick(QStringLiteral("115200,n,8,2")));
      AnswerWhatWasSent();
      now += 100ms;
    }
  }
  // The requests that reached the controller, by function code.
  int Received(std::uint8_t function) const {
    return static_cast<int>(std::count_if(received.begin(), received.end(),
                                          [function](const Pdu& p) { return p.Function() == function; }));
  }

  ParamImage eeprom = Counting(7);
  int address = 7;
  bool refuseWrites = false;
  bool silentOnWrites = false;  // takes no write, answers none
  bool takesNewAddressAtOnce = false;  // answers at a new slave address as soon as it stores it
  std::function<void()> afterAnswer;
  std::vector<Pdu> received;
  std::chrono::steady_clock::time_point now{};
  test::FakeSerialPort port;
  ModbusEngine engine{port, [this] { return now; }};

 private:
  void AnswerWhatWasSent() {
    for (; sent_ < port.written.size(); ++sent_) {
      const auto request = Adu::Parse(port.written[sent_]);
      if (!request || request->Address() != address) continue;
      received.push_back(request->GetPdu());
      if (const auto answer = Answer(request->GetPdu())) {
        port.Receive(Adu(static_cast<std::uint8_t>(address), *answer).Bytes(), now);
      }
      if (afterAnswer) afterAnswer();
    }
  }
  std::optional<Pdu> Answer(const Pdu& request) {
    const auto& d = request.Data();
    const std::size_t start = d[0] << 8 | d[1];
    const std::size_t count = d[2];
    if (request.Function() == 3) return Pdu(3, {4, 0x01, 0x05, 0x02, 0x0E});
    if (request.Function() == 101) {
      if (silentOnWrites) return std::nullopt;
      if (refuseWrites) return Pdu(101 | 0x80, {2});
      std::copy(d.begin() + 3, d.end(), eeprom.begin() + static_cast<std::ptrdiff_t>(start));
      if (takesNewAddressAtOnce && eeprom[96] != address) {
        address = eeprom[96];
        return std::nullopt;
      }
    }
    std::vector<std::uint8_t> data(d.begin(), d.begin() + 3);
    data.insert(data.end(), eeprom.begin() + static_cast<std::ptrdiff_t>(start),
                eeprom.begin() + static_cast<std::ptrdiff_t>(start + count));
    return Pdu(request.Function(), data);
  }

  SetExchange* run = nullptr;
  std::size_t sent_ = 0;
};

TEST(SetExchange, ReadsTheSetAfreshAndTheVersionsTakingOnlyItsOwnAnswers) {
  Bench bench;
  // The operator asked for the same block just before; the controller's value changes after
  // that answer, and the set must carry the value of its own read.
  ASSERT_TRUE(bench.engine.QueueRequest(modbus::ReadEeprom(0, 40)));
  bench.eeprom[0] = 0x11;
  bench.afterAnswer = [&bench] {
    bench.eeprom[0] = 0x22;
    bench.afterAnswer = nullptr;
  };
  SetExchange run = SetExchange::Read(7);
  bench.Run(run);
  ASSERT_EQ(run.End(), SetEnd::kDone);
  ParamImage expected = Counting(7);
  expected[0] = 0x22;
  EXPECT_EQ(run.Controller(), expected);
  EXPECT_EQ(run.ProtocolVersion(), 0x0105);
  EXPECT_EQ(run.SoftwareVersion(), 0x020E);
  EXPECT_EQ(run.ReadAt(), 7);
  EXPECT_EQ(bench.Received(100), 4);  // the operator's read and the set's three
}

TEST(SetExchange, WritesEveryBlockThenTheAddressAndChecksByReadingBack) {
  Bench bench;
  const ParamImage set = Counting(12);
  SetExchange run = SetExchange::Write(set, 7);
  EXPECT_EQ(run.NewAddress(), 12);
  bench.takesNewAddressAtOnce = true;
  bench.Run(run);
  ASSERT_EQ(run.End(), SetEnd::kDone);
  // The address write went unanswered at 7 and was asked again at 12, where the controller now
  // answers; the read-back followed it there.
  EXPECT_EQ(run.Controller(), set);
  EXPECT_EQ(bench.eeprom, set);
  EXPECT_EQ(run.ReadAt(), 12);
  EXPECT_FALSE(run.NewAddressSilent());
  EXPECT_EQ(run.ParamsConfirmed(), 49);
  EXPECT_FALSE(run.Refused());
  ASSERT_GE(bench.received.size(), 4u);
  EXPECT_EQ(bench.received[3], modbus::WriteEeprom(96, std::vector<std::uint8_t>{12}));
}

TEST(SetExchange, ARefusedWriteStopsTheRestAndNothingCountsAsWritten) {
  Bench bench;
  bench.refuseWrites = true;
  SetExchange run = SetExchange::Write(Counting(12), 7);
  bench.Run(run);
  ASSERT_EQ(run.End(), SetEnd::kDone);
  ASSERT_TRUE(run.Refused());
  EXPECT_EQ(run.Refused()->first, 0);
  EXPECT_EQ(run.Refused()->last, 19);
  EXPECT_EQ(run.Refused()->exceptionCode, 2);
  EXPECT_EQ(run.ParamsConfirmed(), 0);
  // One write asked and refused, the slave address never; the read-back at the old address.
  EXPECT_EQ(bench.Received(101), 1);
  EXPECT_EQ(bench.Received(100), 3);
  EXPECT_EQ(run.Controller(), Counting(7));
  EXPECT_EQ(run.ReadAt(), 7);
}

TEST(SetExchange, AControllerThatDoesNotAnswerEndsTheRunWithoutASet) {
  Bench bench;
  bench.address = 9;
  SetExchange run = SetExchange::Read(7);
  bench.Run(run);
  EXPECT_EQ(run.End(), SetEnd::kNoAnswer);
  EXPECT_FALSE(run.Controller());
  EXPECT_TRUE(bench.received.empty());
}

// Interrupted as the first request of its kind reaches the controller: a write is waited for,
// so that its answer tells what the controller took, and nothing is sent after it; a read is
// not.
TEST(SetExchange, AnInterruptedRunSendsNothingMoreAndTellsWhatWasTaken) {
  const struct {
    const char* what;
    bool write;
    bool silentOnWrites;
    int confirmed;
    std::optional<int> unansweredLast;
  } cases[] = {
      {"a write answered", true, false, 20, std::nullopt},
      {"a write never answered", true, true, 0, 19},
      {"a read", false, false, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    Bench bench;
    bench.silentOnWrites = c.silentOnWrites;
    SetExchange run = c.write ? SetExchange::Write(Counting(7), 7) : SetExchange::Read(7);
    bool interrupted = false;
    bench.afterAnswer = [&] {
      if (!interrupted) run.Interrupt();
      interrupted = true;
    };
    bench.eeprom = ParamImage{};
    bench.eeprom[96] = 7;
    bench.Run(run);
    EXPECT_EQ(run.End(), SetEnd::kInterrupted) << c.what;
    ASSERT_FALSE(bench.received.empty()) << c.what;
    for (const Pdu& sent : bench.received) EXPECT_EQ(sent, bench.received.front()) << c.what << ": only it, asked again";
    EXPECT_EQ(run.ParamsConfirmed(), c.confirmed) << c.what;
    EXPECT_EQ(run.Unanswered() ? std::optional<int>(run.Unanswered()->last) : std::nullopt, c.unansweredLast) << c.what;
    EXPECT_FALSE(run.Controller()) << c.what;
    EXPECT_EQ(run.WritesDone(), !c.write) << c.what;
  }
}

}  // namespace
}  // namespace torvex::paramset
