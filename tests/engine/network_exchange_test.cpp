// The exchange over Modbus TCP framing and the wait for an answer on every link: transactions,
// stale and foreign frames, a stream cut anywhere, a gateway's exceptions for a silent
// controller, the response timeout set, automatic and learned from late answers, and a gateway
// that queues what it is sent.
#include <gtest/gtest.h>

#include <map>

#include "engine/modbus_engine.h"
#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "modbus/mbap.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"
#include "support/frames.h"
#include "ui/polled_exchange.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using test::AnswerTo;
using test::Bytes;
using Outcome = ExchangeOutcome;

// The RTU frame a Modbus TCP frame stands for, and back.
Bytes RtuOf(const Bytes& mbap) { return modbus::RtuOfMbap(mbap); }
Bytes MbapOf(std::uint16_t transaction, const Bytes& rtu) {
  Bytes frame{static_cast<std::uint8_t>(transaction >> 8), static_cast<std::uint8_t>(transaction),
              0, 0, 0, static_cast<std::uint8_t>(rtu.size() - 2)};
  frame.insert(frame.end(), rtu.begin(), rtu.end() - 2);
  return frame;
}
std::uint16_t TransactionOf(const Bytes& mbap) {
  return static_cast<std::uint16_t>(mbap.at(0) << 8 | mbap.at(1));
}

// What the engine tells its observer of the frames received.
struct ReceivedFrames : ExchangeObserver {
  struct Frame {
    FrameOutcome outcome;
    Bytes bytes;
    std::chrono::milliseconds sinceRequest;
  };
  void OnFrame(const FrameEvent& event) override {
    if (event.direction == FrameDirection::Rx) {
      frames.push_back({event.outcome, Bytes(event.bytes.begin(), event.bytes.end()), event.sinceRequest});
    }
  }
  std::vector<FrameOutcome> Outcomes() const {
    std::vector<FrameOutcome> outcomes;
    for (const Frame& f : frames) outcomes.push_back(f.outcome);
    return outcomes;
  }
  std::vector<Frame> frames;
};

// The engine on a fake link framed as `framing` and a fake clock, as the tool runs it.
struct Exchange {
  explicit Exchange(LinkFraming framing = LinkFraming::kMbap) {
    port.framing = framing;
    engine.SetObserver(&received);
  }

  std::optional<Outcome> Tick(std::chrono::milliseconds after = 100ms) {
    now += after;
    return exchange.Tick(QStringLiteral("TCP 127.0.0.1:502"), mode);
  }
  const Bytes& LastFrame() const { return port.written.back(); }
  // The whole answer to the last request, in its transaction.
  Bytes Answer(std::optional<std::uint16_t> transaction = std::nullopt) const {
    return MbapOf(transaction.value_or(TransactionOf(LastFrame())), AnswerTo(RtuOf(LastFrame())));
  }

  QString Status() const { return view.Text({Control::lbl_sys_mes}); }

  std::chrono::steady_clock::time_point now{};
  QString mode = QStringLiteral("115200,n,8,2");
  test::FakeSerialPort port;
  test::FakeView view;
  ReceivedFrames received;
  PolledExchange exchange{port, view, [this] { return now; }};
  ModbusEngine& engine = exchange.Engine();
};

class ExchangeTest : public ::testing::Test, public Exchange {};

TEST_F(ExchangeTest, RequestsGoBehindAHeaderWhoseTransactionGrowsWithEveryCopySent) {
  Tick();
  ASSERT_EQ(port.written.size(), 1u);
  // The first poll, the converter block: transaction 1, protocol 0, 6 bytes, unit 7, no CRC.
  EXPECT_EQ(LastFrame(), (Bytes{0, 1, 0, 0, 0, 6, 7, 3, 0x0C, 0x0C, 0x00, 0x40}));
  Tick();
  EXPECT_EQ(port.written.size(), 1u) << "the network's time is waited for too";
  EXPECT_EQ(Tick(), Outcome::kNoAnswer);
  ASSERT_EQ(port.written.size(), 2u);
  EXPECT_EQ(TransactionOf(LastFrame()), 2) << "a resend is a transaction of its own";
  EXPECT_EQ(RtuOf(LastFrame()), RtuOf(port.written[0]));

  port.Receive(Answer());
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  // The decoder reads the answer as the serial line would carry it.
  const Bytes rx(engine.Rx().begin(), engine.Rx().begin() + engine.RxCount());
  EXPECT_EQ(rx, AnswerTo(RtuOf(port.written[1])));
  EXPECT_TRUE(modbus::CrcMatches(rx));
  EXPECT_EQ(TransactionOf(LastFrame()), 3);
}

// What arrives in answer to the request in flight, and what the exchange makes of it.
TEST_F(ExchangeTest, OnlyTheAnswerOfTheRequestsOwnTransactionIsTaken) {
  struct Case {
    const char* name;
    std::function<Bytes(const Exchange&)> received;
    Outcome outcome;
  };
  const std::vector<Case> cases = {
      {"stale answer of an earlier transaction, then the answer",
       [](const Exchange& t) {
         Bytes bytes = t.Answer(TransactionOf(t.LastFrame()) - 1);
         const Bytes answer = t.Answer();
         bytes.insert(bytes.end(), answer.begin(), answer.end());
         return bytes;
       },
       Outcome::kLinkUp},
      {"the right answer in another transaction",
       [](const Exchange& t) { return t.Answer(TransactionOf(t.LastFrame()) + 5); },
       Outcome::kNotThisAnswer},
      {"a header of another protocol",
       [](const Exchange& t) {
         Bytes bytes = t.Answer();
         bytes[3] = 1;
         return bytes;
       },
       Outcome::kChecksumMismatch},
      {"this transaction, another unit",
       [](const Exchange& t) {
         Bytes bytes = t.Answer();
         bytes[6] = 8;
         return bytes;
       },
       Outcome::kChecksumMismatch},
      {"this transaction, cut short",
       [](const Exchange& t) {
         Bytes bytes = t.Answer();
         bytes.resize(bytes.size() - 3);
         return bytes;
       },
       Outcome::kChecksumMismatch},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Exchange t;
    t.Tick();  // the first poll leaves
    const Bytes sent = t.LastFrame();
    t.port.Receive(c.received(t));
    std::optional<Outcome> outcome = t.Tick();
    if (!outcome) outcome = t.Tick();
    EXPECT_EQ(outcome, c.outcome);
    // Taken: the next request follows; not taken: the same one goes again.
    EXPECT_EQ(RtuOf(t.LastFrame()) == RtuOf(sent), c.outcome != Outcome::kLinkUp);
  }
}

TEST_F(ExchangeTest, AnAnswerSplitByTheNetworkIsJoined) {
  Tick();
  const Bytes answer = Answer();
  port.Receive(Bytes(answer.begin(), answer.begin() + 5));  // not even the whole header
  EXPECT_EQ(Tick(), std::nullopt);
  port.Receive(Bytes(answer.begin() + 5, answer.end()));
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
}

// A gateway's exception 11 (the controller behind it did not answer) or 10 (no path to it) is
// no answer from the controller: the exchange fails, and the request (here an operator's
// output write) stays and goes again once its wait is over, as after silence, until the
// controller itself answers it.
TEST(GatewayAnswers, AreNoAnswerAndTheRequestGoesAgainUntilTheControllerCarriesItOut) {
  struct Case {
    std::uint8_t code;
    Outcome outcome;
    FrameOutcome frame;
    const char* status;
  } const cases[] = {
      {11, Outcome::kGatewayNoAnswer, FrameOutcome::GatewayNoAnswer, "Ошибка обмена: шлюз: нет ответа от контроллера"},
      {10, Outcome::kGatewayNoPath, FrameOutcome::GatewayNoPath, "Ошибка обмена: шлюз: нет пути к устройству"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Exchange t;
    t.engine.SetPollPeriod(ModbusEngine::kContinuous);
    ASSERT_TRUE(t.engine.QueueRequest(modbus::WriteMultipleRegisters(3001, {0x0000, 0x0004})));
    t.Tick();
    const Bytes write = t.LastFrame();
    ASSERT_EQ(RtuOf(write)[1], 16);
    const auto errors = t.engine.ExchangeErrors();
    const auto answered = t.engine.Queue().Answered();

    // The gateway answers at once: the exchange has failed, nothing is taken.
    t.port.Receive(MbapOf(TransactionOf(write), test::WithCrc({7, 0x90, c.code})), t.now + 1ms);
    EXPECT_EQ(t.Tick(1ms), c.outcome);
    EXPECT_EQ(t.engine.ExchangeErrors(), errors + 1);
    EXPECT_EQ(t.engine.Queue().Answered(), answered) << "the write is still to be carried out";
    EXPECT_EQ(t.engine.RxCount(), 0);
    EXPECT_EQ(t.Status(), QString::fromUtf8(c.status));
    ASSERT_FALSE(t.received.frames.empty());
    EXPECT_EQ(t.received.frames.back().outcome, c.frame);

    // Asked again when its wait is over, not at once.
    EXPECT_EQ(t.port.written.size(), 1u);
    t.now = t.engine.NextWake();
    t.Tick(0ms);
    ASSERT_EQ(t.port.written.size(), 2u);
    EXPECT_EQ(RtuOf(t.LastFrame()), RtuOf(write));
    t.port.Receive(t.Answer(), t.now + 1ms);
    EXPECT_EQ(t.Tick(1ms), Outcome::kLinkUp);
    EXPECT_EQ(t.engine.Queue().Answered(), answered + 1);
  }
}

// The gateway's word on an earlier copy of the request in flight does not end the wait for the
// copy in flight, whose answer is taken when it comes.
TEST_F(ExchangeTest, AGatewaysAnswerForAnEarlierCopyLeavesTheCopyInFlightAwaited) {
  Tick();
  const Bytes first = LastFrame();
  Tick();
  ASSERT_EQ(Tick(), Outcome::kNoAnswer);
  ASSERT_EQ(port.written.size(), 2u);
  port.Receive(MbapOf(TransactionOf(first), test::WithCrc({7, 0x83, 0x0B})));
  EXPECT_EQ(Tick(), std::nullopt);
  EXPECT_EQ(received.frames.back().outcome, FrameOutcome::Dropped);
  port.Receive(Answer());
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
}

// An answer cut short at its deadline, whose rest comes ahead of the next answer: the rest is
// dropped as what it is, and the next answer taken. A bare header is an answer cut short too.
TEST_F(ExchangeTest, TheStaleTailOfAnAnswerCutShortIsDroppedAndTheNextAnswerTaken) {
  for (const std::size_t head : {std::size_t{9}, std::size_t{6}}) {
    SCOPED_TRACE(head);
    Exchange t;
    t.Tick();
    const Bytes late = t.Answer();
    t.port.Receive(Bytes(late.begin(), late.begin() + static_cast<std::ptrdiff_t>(head)));
    EXPECT_EQ(t.Tick(), std::nullopt);
    EXPECT_EQ(t.Tick(), Outcome::kChecksumMismatch);
    ASSERT_FALSE(t.received.frames.empty());
    EXPECT_EQ(t.received.frames.back().outcome, FrameOutcome::Incomplete);
    ASSERT_EQ(t.port.written.size(), 2u);

    Bytes both(late.begin() + static_cast<std::ptrdiff_t>(head), late.end());
    const Bytes answer = t.Answer();
    both.insert(both.end(), answer.begin(), answer.end());
    t.received.frames.clear();
    t.port.Receive(both);
    EXPECT_EQ(t.Tick(), Outcome::kLinkUp);
    EXPECT_EQ(t.received.Outcomes(), (std::vector{FrameOutcome::Dropped, FrameOutcome::Answered}));
    EXPECT_EQ(t.received.frames[0].bytes.size(), late.size() - head);
  }
}

TEST_F(ExchangeTest, TheWaitIsSetOrTheLinesTimeWithTheNetworksAndAtLeastATick) {
  struct Case {
    LinkFraming framing;
    const char* mode;
    std::optional<std::chrono::milliseconds> set;
    std::chrono::milliseconds wait;
    AnswerWaitSource source;
  };
  // The converter block: an 8-byte request and a 133-byte answer, 141 characters of 11 bits.
  const Case cases[] = {
      {LinkFraming::kRtuLine, "115200,n,8,2", std::nullopt, 80ms, AnswerWaitSource::kAutomatic},
      {LinkFraming::kRtuLine, "9600,n,8,2", std::nullopt, 212ms, AnswerWaitSource::kAutomatic},
      {LinkFraming::kRtuStream, "115200,n,8,2", std::nullopt, 164ms, AnswerWaitSource::kAutomatic},
      {LinkFraming::kMbap, "9600,n,8,2", std::nullopt, 312ms, AnswerWaitSource::kAutomatic},
      {LinkFraming::kMbap, "9600,n,8,2", 40ms, 40ms, AnswerWaitSource::kSet},
      {LinkFraming::kRtuLine, "115200,n,8,2", 700ms, 700ms, AnswerWaitSource::kSet},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(static_cast<int>(c.framing)));
    Exchange t(c.framing);
    t.mode = QString::fromLatin1(c.mode);
    t.engine.SetResponseTimeout(c.set);
    t.Tick();
    EXPECT_EQ(t.engine.AnswerWait(), c.wait);
    EXPECT_EQ(t.engine.WaitSource(), c.source);
  }
}

// A controller that answers every request 150 ms after it: each answer comes after the
// automatic wait of a fast line, so the request goes again and the late answer lands in the
// next exchange. The wait learns the latency, and the exchanges settle.
class LateController : public ::testing::Test, public Exchange {
 protected:
  explicit LateController(LinkFraming framing) : Exchange(framing) {}

  // Runs `ticks` ticks, the controller answering each request `latency` after it left; returns
  // the resends in each tick.
  std::vector<bool> Run(int ticks, std::chrono::milliseconds latency) {
    std::vector<bool> resends;
    std::size_t answered = 0;
    std::multimap<std::chrono::steady_clock::time_point, Bytes> due;
    for (int i = 0; i < ticks; ++i) {
      // Ticks are 100 ms apart; answers land at their moment in between.
      for (auto at = now + 10ms; at <= now + 100ms; at += 10ms) {
        for (auto it = due.begin(); it != due.end() && it->first <= at;) {
          port.Receive(it->second, it->first);
          it = due.erase(it);
        }
      }
      const std::size_t before = port.written.size();
      Tick();
      for (; answered < port.written.size(); ++answered) {
        const Bytes& request = port.written[answered];
        const Bytes answer = port.framing == LinkFraming::kMbap
                                 ? MbapOf(TransactionOf(request), AnswerTo(RtuOf(request)))
                                 : AnswerTo(request);
        due.emplace(now + latency, answer);
      }
      const bool resent = port.written.size() > before && before > 0 &&
                          Same(port.written.back(), port.written[before - 1]);
      resends.push_back(resent);
    }
    return resends;
  }

  bool Same(const Bytes& a, const Bytes& b) const {
    if (port.framing != LinkFraming::kMbap) return a == b;
    return RtuOf(a) == RtuOf(b);
  }
};

class LateControllerOn : public LateController,
                         public ::testing::WithParamInterface<LinkFraming> {
 protected:
  LateControllerOn() : LateController(GetParam()) {}
};

TEST_P(LateControllerOn, TeachesTheAutomaticWaitItsLatencyAndTheResendsStop) {
  // Later than the automatic wait of the link: the network's allowance covers 150 ms.
  const auto latency = GetParam() == LinkFraming::kMbap ? 250ms : 150ms;
  const std::vector<bool> resends = Run(600, latency);  // a minute
  const auto count = [&](std::size_t from, std::size_t to) {
    return std::count(resends.begin() + static_cast<std::ptrdiff_t>(from),
                      resends.begin() + static_cast<std::ptrdiff_t>(to), true);
  };
  EXPECT_LE(count(0, resends.size()), 5);
  EXPECT_EQ(count(50, resends.size()), 0);
  EXPECT_EQ(engine.WaitSource(), AnswerWaitSource::kLearned);
  EXPECT_GT(engine.AnswerWait(), latency);
  EXPECT_LE(engine.AnswerWait(), 1000ms);
}

TEST_P(LateControllerOn, AWaitSetByTheUserIsKeptWhateverComesLate) {
  engine.SetResponseTimeout(80ms);
  const std::vector<bool> resends = Run(100, 150ms);
  EXPECT_GT(std::count(resends.begin() + 50, resends.end(), true), 10);
  EXPECT_EQ(engine.AnswerWait(), 80ms);
}

TEST_P(LateControllerOn, ALearnedWaitShrinksOnceAnswersComePromptlyAgain) {
  Run(100, 300ms);
  const auto learned = engine.AnswerWait();
  ASSERT_GT(learned, 300ms);
  Run(300, 5ms);
  EXPECT_LT(engine.AnswerWait(), learned / 2);
}

// A gateway that queues what it is sent and answers each request `latency` after it could start
// on it, one at a time, polled continuously over Modbus TCP for `seconds`.
struct QueuingGateway : Exchange {
  explicit QueuingGateway(std::chrono::milliseconds late) : latency(late) {
    engine.SetPollPeriod(ModbusEngine::kContinuous);
  }

  void Run(int seconds) {
    const auto end = now + std::chrono::seconds(seconds);
    std::size_t queued = 0;
    while (now < end) {
      for (; queued < port.written.size(); ++queued) {
        const Bytes& request = port.written[queued];
        free = std::max(free, now) + latency;
        due.push_back({free, MbapOf(TransactionOf(request), AnswerTo(RtuOf(request)))});
      }
      // The most the gateway holds: requests it has not answered yet.
      mostHeld = std::max(mostHeld, due.size());
      const auto next = std::min(engine.NextWake(), due.empty() ? engine.NextWake() : due.front().first);
      now = std::max(now + 1ms, next);
      bool arrived = false;
      while (!due.empty() && due.front().first <= now) {
        port.Receive(due.front().second, due.front().first);
        due.pop_front();
        arrived = true;
      }
      if (arrived || engine.NextWake() <= now) {
        if (exchange.Tick(QStringLiteral("TCP"), mode) == Outcome::kLinkUp) ++answers;
      }
    }
  }
  std::size_t Resends() const {
    std::size_t count = 0;
    for (std::size_t i = 1; i < port.written.size(); ++i) count += RtuOf(port.written[i]) == RtuOf(port.written[i - 1]);
    return count;
  }

  std::chrono::milliseconds latency;
  std::chrono::steady_clock::time_point free{};
  std::deque<std::pair<std::chrono::steady_clock::time_point, Bytes>> due;
  std::size_t mostHeld = 0;
  int answers = 0;
};

// A second late: the wait learns it from the first late answer (an answer to an earlier copy
// of a request is its answer), and the gateway never holds more than two requests.
TEST(QueuingGatewayTest, ASecondLateIsLearnedAndTheGatewayIsNotFlooded) {
  QueuingGateway gateway(1000ms);
  gateway.Run(60);
  EXPECT_LE(gateway.mostHeld, 2u);
  EXPECT_LE(gateway.Resends(), 5u);
  EXPECT_GE(gateway.answers, 50) << "about one a second";
  EXPECT_EQ(gateway.engine.WaitSource(), AnswerWaitSource::kLearned);
  EXPECT_GT(gateway.engine.AnswerWait(), 1000ms);
  EXPECT_FALSE(gateway.engine.AnswersTooLate());
}

// Later than the wait may grow over the network: said once, with how late, and still no flood
// (requests given up after the wait's bound leave a few more, never a growing queue: a copy
// every 160 ms would have been 560 in this time); the answers that come are taken.
TEST(QueuingGatewayTest, AnswersLaterThanTheWaitMayGrowAreToldOnce) {
  QueuingGateway gateway(4000ms);
  gateway.Run(90);
  EXPECT_LE(gateway.mostHeld, 4u);
  EXPECT_LE(gateway.port.written.size(), 40u);
  EXPECT_GE(gateway.answers, 5);
  EXPECT_EQ(gateway.engine.AnswersTooLate(), 4000ms);
  const std::vector<FrameOutcome> outcomes = gateway.received.Outcomes();
  EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), FrameOutcome::AnswersTooLate), 1);
  const auto told = std::find_if(gateway.received.frames.begin(), gateway.received.frames.end(),
                                 [](const auto& f) { return f.outcome == FrameOutcome::AnswersTooLate; });
  ASSERT_NE(told, gateway.received.frames.end());
  EXPECT_EQ(told->sinceRequest, 4000ms);
}

INSTANTIATE_TEST_SUITE_P(Links, LateControllerOn,
                         ::testing::Values(LinkFraming::kRtuLine, LinkFraming::kMbap),
                         [](const auto& row) {
                           return row.param == LinkFraming::kMbap ? "ModbusTcp" : "Serial";
                         });

}  // namespace
}  // namespace torvex
