#include "engine/modbus_engine.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/rx_crc.h"
#include "modbus/answer_length.h"
#include "modbus/crc16.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"
#include "support/frames.h"
#include "ui/polled_exchange.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using test::AnswerTo;
using test::Bytes;
using test::WithCrc;
using Outcome = ExchangeOutcome;
using Time = std::chrono::steady_clock::time_point;

// A request as the engine queues it: function code and data.
modbus::Pdu Request(const Bytes& bytes) { return modbus::Pdu::FromBytes(bytes); }

const Bytes kAdcRead{0x07, 0x03, 0x0C, 0x0C, 0x00, 0x40, 0x87, 0x0F};
const Bytes kCode1{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0xCA, 0x6D};
const Bytes kStatusRead{0x07, 0x03, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
const Bytes kCode2{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x02, 0x8A, 0x6C};
const Bytes kAnyAnswer = WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01});

// The engine on a fake port and a fake clock, as the tool runs it (the background poll, and the
// presenter showing its reports in a window): each Tick comes one 100 ms tick after the last,
// on a fast line with prompt answers unless a test says otherwise.
class EngineTest : public ::testing::Test {
 protected:
  std::optional<Outcome> Tick(std::chrono::milliseconds after = 100ms) {
    now += after;
    return exchange.Tick(QStringLiteral("COM1"), mode);
  }
  // A tick that finds the answer to the request in flight waiting.
  std::optional<Outcome> AnsweredTick() {
    if (!port.written.empty()) port.Receive(AnswerTo(LastFrame()));
    return Tick();
  }
  QString Status() const { return view.Text({Control::lbl_sys_mes}); }
  QString Dbg() const { return view.Text({Control::lbl_dbg}); }
  const Bytes& LastFrame() const { return port.written.back(); }

  Time now{};
  QString mode = QStringLiteral("115200,n,8,2");
  test::FakeSerialPort port;
  test::FakeView view;
  PolledExchange exchange{port, view, [this] { return now; }};
  ModbusEngine& engine = exchange.Engine();
};

TEST_F(EngineTest, BackgroundPollRunsItsCycleOfFour) {
  Tick();  // nothing sent yet: no answer, then the first poll
  ASSERT_EQ(port.written.size(), 1u);
  EXPECT_EQ(LastFrame(), kAdcRead);
  EXPECT_FALSE(view.texts.contains(test::FakeView::Key({Control::lbl_tr_id})));

  AnsweredTick();
  EXPECT_EQ(LastFrame(), kCode1);
  EXPECT_EQ(view.Text({Control::lbl_tr_id}), "1");
  AnsweredTick();
  EXPECT_EQ(LastFrame(), kStatusRead);
  AnsweredTick();
  EXPECT_EQ(LastFrame(), kCode2);
  EXPECT_EQ(view.Text({Control::lbl_tr_id}), "2");
  AnsweredTick();
  EXPECT_EQ(LastFrame(), kAdcRead);
  EXPECT_EQ(port.written.size(), 5u);
  EXPECT_EQ(engine.ExchangeErrors(), 1);
}

TEST_F(EngineTest, TransactionCodeWrapsFrom65534ToZero) {
  Tick();
  // Each code write comes every second background send.
  for (int code = 1; code <= 65534; ++code) {
    AnsweredTick();  // code write
    AnsweredTick();  // block read
  }
  EXPECT_EQ(exchange.Poll().TransactionCode(), 65534);
  AnsweredTick();
  EXPECT_EQ(exchange.Poll().TransactionCode(), 0);
  EXPECT_EQ(view.Text({Control::lbl_tr_id}), "0");
  EXPECT_EQ(LastFrame(), WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x00}));
  AnsweredTick();
  AnsweredTick();
  EXPECT_EQ(LastFrame(), WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01}));
}

TEST_F(EngineTest, QueuedRequestGoesFirstWithTheAddressSelectedAtSending) {
  const Bytes request{0x65, 0x00, 0x00, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // lastIndex 10
  ASSERT_TRUE(engine.QueueRequest(Request(request)));
  engine.SetSlaveAddress(1);  // changed after queueing: the frame still takes it
  EXPECT_EQ(Tick(), Outcome::kNoAnswer);
  Bytes expected{0x01};
  expected.insert(expected.end(), request.begin(), request.end());
  expected = WithCrc(expected);
  ASSERT_EQ(expected.size(), 13u);
  EXPECT_EQ(LastFrame(), expected);
}

TEST_F(EngineTest, ShortSlotReusedAfterALongOneSendsOnlyItsBytes) {
  const Bytes longRequest(40, 0xAB);  // a function of unknown layout: its echo answers it
  for (int i = 0; i < RequestQueue::kSlots; ++i) {  // pass slot 0 once, then refill it
    ASSERT_TRUE(engine.QueueRequest(Request(i == 0 ? longRequest : Bytes{0x03, 0x0B, 0xB9, 0x00, 0x02})));
    AnsweredTick();
  }
  EXPECT_EQ(LastFrame(), WithCrc({0x07, 0x03, 0x0B, 0xB9, 0x00, 0x02}));
}

TEST_F(EngineTest, UnansweredRequestRepeatsAndHoldsEverythingBehindIt) {
  ASSERT_TRUE(engine.QueueRequest(Request({0x03, 0x0B, 0xB9, 0x00, 0x02})));
  ASSERT_TRUE(engine.QueueRequest(Request({0x10, 0x0B, 0xB9, 0x00, 0x02, 0x04, 0, 0, 0, 1})));
  const Bytes first = WithCrc({0x07, 0x03, 0x0B, 0xB9, 0x00, 0x02});
  EXPECT_FALSE(view.texts.contains(test::FakeView::Key({Control::lbl_dbg})));  // still "debug"
  for (int tick = 1; tick <= 3; ++tick) {
    EXPECT_EQ(Tick(), Outcome::kNoAnswer);
    EXPECT_EQ(LastFrame(), first);
    EXPECT_EQ(Dbg(), QString::number(tick));
  }
  EXPECT_EQ(AnsweredTick(), Outcome::kLinkUp);
  EXPECT_EQ(Dbg(), "3");
  EXPECT_EQ(LastFrame()[1], 0x10);
}

TEST_F(EngineTest, ClosedPortOrHeldSenderWritesNothingAndKeepsTheRequest) {
  port.open = false;
  for (int i = 0; i < 3; ++i) Tick();
  port.open = true;
  engine.SetSendingHeld(true);
  Tick();
  EXPECT_TRUE(port.written.empty());
  EXPECT_EQ(engine.Queue().PendingCount(), 1);
  EXPECT_EQ(engine.ExchangeErrors(), 4);
  engine.SetSendingHeld(false);
  Tick();
  EXPECT_EQ(LastFrame(), kAdcRead);  // the same poll, not a second one
}

struct ReceptionCase {
  const char* name;
  Bytes arrived;
  Outcome outcome;
  Bytes decoded;  // the answer handed to the decoder, if any
};
void PrintTo(const ReceptionCase& c, std::ostream* os) { *os << c.name; }

class Reception : public EngineTest, public ::testing::WithParamInterface<ReceptionCase> {};

// The first poll, the converter block read, is in flight; the table says what arrived in the
// tick after it.
TEST_P(Reception, ClassifiesWhatArrived) {
  Tick();  // first poll in flight
  int decoded = 0;
  Bytes decodedBytes;
  engine.SetDecoder([&](const RxAnswer& answer) {
    ++decoded;
    for (int i = 0; i < answer.count; ++i) decodedBytes.push_back(static_cast<std::uint8_t>(answer.cells[i]));
    EXPECT_TRUE(engine.Queue().IsEmpty()) << "request must leave the queue before decoding";
  });
  port.Receive(GetParam().arrived);
  EXPECT_EQ(Tick(), GetParam().outcome);
  EXPECT_EQ(engine.LastOutcome(), GetParam().outcome);
  // The controller's refusal is told with the link's words.
  const Bytes& answer = GetParam().decoded;
  const QString exception = answer.size() > 2 && (answer[1] & 0x80) != 0
                                ? kExceptionNote + QString::number(answer[2])
                                : QString();
  EXPECT_EQ(Status(), StatusLineText(GetParam().outcome, 1) + exception);
  const bool valid = GetParam().outcome == Outcome::kLinkUp;
  EXPECT_EQ(decoded, valid ? 1 : 0);
  EXPECT_EQ(decodedBytes, GetParam().decoded);
  EXPECT_EQ(engine.ExchangeErrors(), valid ? 1 : 2);
  EXPECT_EQ(Dbg(), valid ? "1" : "2");
  EXPECT_EQ(LastFrame(), valid ? kCode1 : kAdcRead);
  EXPECT_TRUE(port.incoming.empty()) << "every waiting byte is consumed";
}

Bytes Swapped(Bytes frame) {
  std::swap(frame[frame.size() - 1], frame[frame.size() - 2]);
  return frame;
}
Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kAdcAnswer = AnswerTo(kAdcRead);                        // 133 bytes
const Bytes kStatusAnswer = AnswerTo(kStatusRead);                  // 185 bytes, same function
const Bytes kAdcException = WithCrc({0x07, 0x83, 0x02});

INSTANTIATE_TEST_SUITE_P(
    Engine, Reception,
    ::testing::Values(
        ReceptionCase{"nothing", {}, Outcome::kNoAnswer, {}},
        ReceptionCase{"one_byte", {0x07}, Outcome::kNoAnswer, {}},
        ReceptionCase{"two_bytes", {0x07, 0x03}, Outcome::kNoAnswer, {}},
        ReceptionCase{"answer", kAdcAnswer, Outcome::kLinkUp, kAdcAnswer},
        ReceptionCase{"exception_answer", kAdcException, Outcome::kLinkUp, kAdcException},
        ReceptionCase{"swapped_crc", Swapped(kAdcAnswer), Outcome::kChecksumMismatch, {}},
        ReceptionCase{"head_only", Bytes(kAdcAnswer.begin(), kAdcAnswer.begin() + 40),
                      Outcome::kChecksumMismatch, {}},
        ReceptionCase{"three_bytes_of_junk", WithCrc({0x07}), Outcome::kChecksumMismatch, {}},
        // Cut by its length: the stray byte behind it answers nothing and is dropped.
        ReceptionCase{"stray_byte_after_answer", Joined({kAdcAnswer, {0x55}}), Outcome::kLinkUp,
                      kAdcAnswer},
        ReceptionCase{"noise_before_answer", Joined({{0x07, 0x03, 0xFF}, kAdcAnswer}),
                      Outcome::kLinkUp, kAdcAnswer},
        ReceptionCase{"stale_frame_before_answer", Joined({kCode1, kAdcAnswer}), Outcome::kLinkUp,
                      kAdcAnswer},
        ReceptionCase{"broken_answer_before_answer", Joined({Swapped(kAdcAnswer), kAdcAnswer}),
                      Outcome::kLinkUp, kAdcAnswer},
        // Well-formed, but the answer of other requests: the same function with another
        // length, a write's echo, an exception to another function, another slave's answer.
        ReceptionCase{"other_block", kStatusAnswer, Outcome::kNotThisAnswer, {}},
        ReceptionCase{"write_echo", kAnyAnswer, Outcome::kNotThisAnswer, {}},
        ReceptionCase{"exception_to_a_write", WithCrc({0x07, 0x86, 0x02}), Outcome::kNotThisAnswer,
                      {}},
        ReceptionCase{"other_slave", AnswerTo(WithCrc({0x08, 0x03, 0x0C, 0x0C, 0x00, 0x40})),
                      Outcome::kChecksumMismatch, {}}),
    [](const auto& row) { return row.param.name; });

// The head arrives in the tick after the request, the tail more than a tick later: the
// exchange fails once, the tail is dropped and the answer to the request sent again is taken.
TEST_F(EngineTest, AnswerSplitOverTwoTicksFailsOnceAndItsTailIsDropped) {
  Tick();
  const Bytes head(kAdcAnswer.begin(), kAdcAnswer.begin() + 60);
  const Bytes tail(kAdcAnswer.begin() + 60, kAdcAnswer.end());
  port.Receive(head);
  EXPECT_EQ(Tick(), Outcome::kChecksumMismatch);
  EXPECT_EQ(LastFrame(), kAdcRead);
  port.Receive(tail);
  port.Receive(kAdcAnswer);  // answer to the repeated request
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_EQ(engine.ExchangeErrors(), 2);
  EXPECT_EQ(engine.DroppedFrames(), 1);
  EXPECT_EQ(LastFrame(), kCode1);
}

// A flood is read and dropped; what is kept holds any frame behind it.
TEST_F(EngineTest, FloodOfBytesIsReadAndTheAnswerBehindItStillTaken) {
  Tick();
  Bytes burst(1000, 0x07);
  burst.insert(burst.end(), kAdcAnswer.begin(), kAdcAnswer.end());
  port.Receive(burst);
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_EQ(engine.RxCount(), 133);
  EXPECT_TRUE(port.incoming.empty());
}

// --- Real lines: an exchange waits for its line ---------------------------------------------

// At 9600 baud, 8N2 (1.146 ms a character), the converter block read (8 bytes out, 133 back)
// needs 162 ms on the line; with the reply allowance its deadline is 212 ms after it left.
class SlowLine : public EngineTest {
 protected:
  SlowLine() { mode = QStringLiteral("9600,n,8,2"); }
  // Bytes whose last one arrived `ago` before the next tick.
  void Arrive(const Bytes& bytes, std::chrono::milliseconds at) { port.Receive(bytes, now + at); }
};

TEST_F(SlowLine, LineTimeFollowsTheMode) {
  Tick();
  EXPECT_EQ(engine.Timing().character, 1146us);
  EXPECT_EQ(engine.Timing().frameGap, 4011us);
  mode = QStringLiteral("38400,e,8,1");  // 11 bits too; above 19200 the gap is fixed
  Tick();
  EXPECT_EQ(engine.Timing().character, 286us);
  EXPECT_EQ(engine.Timing().frameGap, 1750us);
}

TEST_F(SlowLine, AnAnswerOnItsWayIsWaitedForAndTakenWhole) {
  Tick();  // the converter block read leaves
  Arrive(Bytes(kAdcAnswer.begin(), kAdcAnswer.begin() + 80), 99ms);
  EXPECT_EQ(Tick(), std::nullopt) << "incomplete before its deadline: no judgement";
  EXPECT_EQ(port.written.size(), 1u) << "no resend, no new request";
  Arrive(Bytes(kAdcAnswer.begin() + 80, kAdcAnswer.end()), 62ms);
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_EQ(LastFrame(), kCode1);
  EXPECT_EQ(engine.ExchangeErrors(), 1);  // the first tick only
}

TEST_F(SlowLine, SilenceIsJudgedAtTheDeadlineCountedFromTheRequestNotFromTheTicks) {
  Tick();
  EXPECT_EQ(Tick(180ms), std::nullopt);  // a late tick ...
  EXPECT_EQ(Tick(35ms), Outcome::kNoAnswer) << "215 ms after the request";
  EXPECT_EQ(port.written.size(), 2u);
  EXPECT_EQ(Tick(100ms), std::nullopt);
  EXPECT_EQ(Tick(100ms), std::nullopt) << "200 ms after the resend: not yet";
  EXPECT_EQ(Tick(30ms), Outcome::kNoAnswer);
  EXPECT_EQ(engine.ExchangeErrors(), 3);
}

// On a fast line the deadline is the next tick, however early the timer fires, within its
// slack; a tick well before it judges nothing.
TEST_F(EngineTest, FastLineJudgesAtTheNextTickAndNoEarlier) {
  Tick();
  EXPECT_EQ(Tick(85ms), Outcome::kNoAnswer) << "a tick a little early is still the next tick";
  EXPECT_EQ(Tick(30ms), std::nullopt) << "30 ms after the request: it can still come";
  EXPECT_EQ(Tick(70ms), Outcome::kNoAnswer);
}

TEST_F(SlowLine, ARequestLeavesOnlyIntoASilentLine) {
  Tick();
  // The answer is complete, but bytes still come behind it: judged at once, the next request
  // waits for the tick that finds the line silent.
  Arrive(Joined({kAdcAnswer, {0x00, 0x00}}), 99ms);
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_EQ(port.written.size(), 1u);
  Arrive({0xFF}, 98ms);  // the line is still busy
  EXPECT_EQ(Tick(), std::nullopt);
  EXPECT_EQ(port.written.size(), 1u);
  EXPECT_EQ(Tick(), std::nullopt);  // silent: the request leaves
  EXPECT_EQ(LastFrame(), kCode1);
  EXPECT_EQ(engine.ExchangeErrors(), 1);
  EXPECT_EQ(engine.DroppedFrames(), 2);
}

TEST_F(SlowLine, AFailedExchangeIsJudgedOnceAndItsLateRestIsDropped) {
  Tick();
  EXPECT_EQ(Tick(), std::nullopt);
  // Junk that cannot be the answer keeps the line busy past the deadline: the exchange is
  // judged, but the request is sent again only into a silent line.
  Arrive({0x55, 0x55, 0x55}, 113ms);
  EXPECT_EQ(Tick(115ms), Outcome::kChecksumMismatch);
  EXPECT_EQ(port.written.size(), 1u);
  Arrive(Bytes(kAdcAnswer.begin() + 20, kAdcAnswer.end()), 99ms);  // a late tail
  EXPECT_EQ(Tick(), std::nullopt);
  EXPECT_EQ(port.written.size(), 1u);
  EXPECT_EQ(Tick(), std::nullopt);
  EXPECT_EQ(LastFrame(), kAdcRead);
  EXPECT_EQ(engine.ExchangeErrors(), 2) << "the failed exchange counts once";
  // The answer to the request sent again is taken; the tail was not blamed on it.
  Arrive(kAdcAnswer, 40ms);
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
}

TEST_F(SlowLine, AnAnswerStillArrivingAtTheDeadlineIsWaitedFor) {
  Tick();
  EXPECT_EQ(Tick(), std::nullopt);
  Arrive(Bytes(kAdcAnswer.begin(), kAdcAnswer.begin() + 100), 100ms);  // 150 ms late
  EXPECT_EQ(Tick(), std::nullopt) << "past the deadline, but its bytes are still coming";
  Arrive(Bytes(kAdcAnswer.begin() + 100, kAdcAnswer.end()), 40ms);
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_EQ(engine.ExchangeErrors(), 1);
}

TEST_F(EngineTest, ALineThatNeverFallsSilentCountsAsNoAnswerOnceASecond) {
  Tick();
  for (int tick = 1; tick <= 25; ++tick) {
    port.Receive({0x55}, now + 100ms);
    Tick();
  }
  EXPECT_EQ(port.written.size(), 1u) << "never a byte over the line";
  EXPECT_EQ(engine.ExchangeErrors(), 1 + 1 + 2);  // first tick, the exchange, two seconds
  EXPECT_EQ(engine.LastOutcome(), Outcome::kNoAnswer);
}

TEST_F(EngineTest, CaptionShowsThePortInUseEveryTick) {
  exchange.Tick(QStringLiteral("COM3"), "9600,e,8,1");
  EXPECT_EQ(view.caption, "TORVEX-CPU. Тест протокола Modbus. Порт: COM3  9600,e,8,1");
  exchange.Tick(QStringLiteral("COM12"), "");
  EXPECT_EQ(view.caption, "TORVEX-CPU. Тест протокола Modbus. Порт: COM12  ");
}

TEST_F(EngineTest, StrayValidAnswerBeforeTheFirstSendLeavesTheRingAlone) {
  port.Receive(AnswerTo(kAdcRead));
  Tick();
  EXPECT_EQ(engine.Queue().PendingCount(), 1);  // just the first poll
  EXPECT_EQ(LastFrame(), kAdcRead);
}

TEST_F(EngineTest, FullRingRefusesAndSaysSo) {
  port.open = false;  // controller silent: nothing drains
  const Bytes read{0x03, 0x0B, 0xB9, 0x00, 0x02};
  for (int i = 0; i < RequestQueue::kSlots - 1; ++i) ASSERT_TRUE(engine.QueueRequest(Request(read)));
  EXPECT_TRUE(engine.Queue().IsFull());
  EXPECT_FALSE(engine.QueueRequest(Request({0x10, 0x0B, 0xB9})));
  EXPECT_EQ(engine.LastOutcome(), Outcome::kQueueFull);
  EXPECT_EQ(Status(), StatusLineText(Outcome::kQueueFull, 511));
  EXPECT_EQ(engine.Queue().PendingCount(), 511);
  EXPECT_EQ(Tick(), Outcome::kNoAnswer);
  EXPECT_EQ(Status(), StatusLineText(Outcome::kNoAnswer, 511)) << "the ring is still full";
  // Once one request is answered there is room again and the ring drains in order.
  port.open = true;
  Tick();  // the request at the head leaves
  EXPECT_EQ(AnsweredTick(), Outcome::kLinkUp);
  EXPECT_EQ(Status(), StatusLineText(Outcome::kLinkUp, 510));
  EXPECT_TRUE(engine.QueueRequest(Request({0x10, 0x0B, 0xB9})));
  EXPECT_EQ(engine.Queue().PendingCount(), 511);
}

// Records what the engine tells its observer.
struct SeenFrame {
  FrameDirection direction;
  FrameOutcome outcome;
  Bytes bytes;
  bool resend;
  int exceptionCode;
  bool timed;  // an Rx frame carries the time since its request
  std::size_t expectedSize = 0;
  friend bool operator==(const SeenFrame&, const SeenFrame&) = default;
};

class FrameRecorder : public ExchangeObserver {
 public:
  void OnFrame(const FrameEvent& e) override {
    frames.push_back({e.direction, e.outcome, Bytes(e.bytes.begin(), e.bytes.end()), e.resend,
                      e.exceptionCode, e.sinceRequest.count() >= 0, e.expectedSize});
  }
  std::vector<SeenFrame> frames;
};

TEST_F(EngineTest, ObserverSeesEveryFrameWithTheOutcomeOfItsExchange) {
  FrameRecorder seen;
  engine.SetObserver(&seen);
  constexpr auto Tx = FrameDirection::Tx;
  constexpr auto Rx = FrameDirection::Rx;
  const Bytes exception = WithCrc({0x07, 0x86, 0x02});
  Tick();  // nothing was in flight: no exchange to report, the first poll leaves
  Tick();  // no answer: the poll again
  port.Receive({0x07, 0x03});
  Tick();  // two bytes: no answer either
  port.Receive(Swapped(kAdcAnswer));
  Tick();
  port.Receive(Joined({{0x55}, kCode1, kAdcAnswer, {0xAA}}));
  Tick();  // noise, a stale frame, the answer, noise: the transaction-code write leaves
  port.Receive(kCode2);
  Tick(50ms);  // only a frame that answers something else, early: still waiting
  Tick();      // the deadline: not this request's answer
  port.Receive(exception);
  Tick();
  const Bytes statusHead(kStatusAnswer.begin(), kStatusAnswer.begin() + 40);
  port.Receive(Joined({{0x55}, statusHead}));
  Tick();  // noise, then an answer cut short: told apart
  const std::vector<SeenFrame> expected{
      {Tx, FrameOutcome::Request, kAdcRead, false, 0, false},
      {Rx, FrameOutcome::NoAnswer, {}, false, 0, true},
      {Tx, FrameOutcome::Request, kAdcRead, true, 0, false},
      {Rx, FrameOutcome::NoAnswer, {0x07, 0x03}, false, 0, true},
      {Tx, FrameOutcome::Request, kAdcRead, true, 0, false},
      {Rx, FrameOutcome::BadCrc, Swapped(kAdcAnswer), false, 0, true},
      {Tx, FrameOutcome::Request, kAdcRead, true, 0, false},
      {Rx, FrameOutcome::Dropped, {0x55}, false, 0, true},
      {Rx, FrameOutcome::Dropped, kCode1, false, 0, true},  // stale: dropped, not a failure
      {Rx, FrameOutcome::Dropped, {0xAA}, false, 0, true},
      {Rx, FrameOutcome::Answered, kAdcAnswer, false, 0, true},
      {Tx, FrameOutcome::Request, kCode1, false, 0, false},
      {Rx, FrameOutcome::Mismatch, kCode2, false, 0, true},
      {Tx, FrameOutcome::Request, kCode1, true, 0, false},
      {Rx, FrameOutcome::Exception, exception, false, 2, true},
      {Tx, FrameOutcome::Request, kStatusRead, false, 0, false},
      {Rx, FrameOutcome::Dropped, {0x55}, false, 0, true},
      {Rx, FrameOutcome::Incomplete, statusHead, false, 0, true, kStatusAnswer.size()},
      {Tx, FrameOutcome::Request, kStatusRead, true, 0, false},
  };
  EXPECT_EQ(seen.frames, expected);
  EXPECT_EQ(engine.ExchangeErrors(), 6);
  EXPECT_EQ(Status(), StatusLineText(Outcome::kChecksumMismatch, 1));

  // A closed port puts nothing on the line, so there is nothing to report.
  port.open = false;
  const std::size_t before = seen.frames.size();
  Tick();  // the status read had gone out: its exchange ends without an answer
  Tick();
  Tick();
  EXPECT_EQ(seen.frames.size(), before + 1);
  engine.SetObserver(nullptr);
  port.open = true;
  Tick();
  EXPECT_EQ(seen.frames.size(), before + 1);
}

TEST_F(EngineTest, StatusCarriesTheNumberOfWaitingRequests) {
  port.open = false;
  const Bytes read{0x03, 0x0B, 0xB9, 0x00, 0x02};
  Tick();  // the first poll waits at the head
  for (int pending : {20, 21, 125, 510, 511}) {
    while (engine.Queue().PendingCount() < pending) ASSERT_TRUE(engine.QueueRequest(Request(read)));
    EXPECT_EQ(Tick(), Outcome::kNoAnswer);
    EXPECT_EQ(Status(), StatusLineText(Outcome::kNoAnswer, pending)) << pending;
  }
  // Draining, the answers say it too.
  port.open = true;
  Tick();  // the request at the head leaves
  EXPECT_EQ(AnsweredTick(), Outcome::kLinkUp);
  EXPECT_EQ(Status(), StatusLineText(Outcome::kLinkUp, 510));
}

// --- Adapters that return what the tool sends ------------------------------------------------

// One exchange of the background poll on a line whose adapter may echo: what arrived after the
// request, with the echo setting on or off, and how the exchange ended. The first tick sends
// the converter block read; a row that starts from the transaction-code write (a write whose
// answer is its own bytes) has the read answered first.
struct EchoCase {
  const char* name;
  bool echoSetting;
  bool fromWrite;
  Bytes arrived;
  Outcome outcome;
  std::vector<FrameOutcome> frames;  // what the observer was told of what arrived
};

class EchoReception : public EngineTest, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(EchoReception, DropsOnlyAnExpectedEchoAndNamesAnUnexpectedOne) {
  const EchoCase& row = GetParam();
  engine.SetEchoExpected(row.echoSetting);
  Tick();
  if (row.fromWrite) {
    if (row.echoSetting) port.Receive(kAdcRead);
    ASSERT_EQ(AnsweredTick(), Outcome::kLinkUp);
    ASSERT_EQ(LastFrame(), kCode1);
  }
  const Bytes request = LastFrame();
  int decoded = 0;
  engine.SetDecoder([&](const RxAnswer&) { ++decoded; });
  FrameRecorder seen;
  engine.SetObserver(&seen);
  port.Receive(row.arrived);
  EXPECT_EQ(Tick(), row.outcome);
  EXPECT_EQ(Status(), StatusLineText(row.outcome, 1));
  EXPECT_EQ(decoded, row.outcome == Outcome::kLinkUp ? 1 : 0);
  const bool answered = row.outcome == Outcome::kLinkUp;
  EXPECT_EQ(LastFrame() == request, !answered) << "sent again unless answered";
  std::vector<FrameOutcome> frames;
  for (const SeenFrame& frame : seen.frames) {
    if (frame.direction == FrameDirection::Rx) frames.push_back(frame.outcome);
  }
  EXPECT_EQ(frames, row.frames);
}

const Bytes kAdcAnswerEchoed = Joined({kAdcRead, AnswerTo(kAdcRead)});
using FO = FrameOutcome;

INSTANTIATE_TEST_SUITE_P(
    Engine, EchoReception,
    ::testing::Values(
        // The setting on: the request's own bytes at the head go, and only they.
        EchoCase{"on_read", true, false, kAdcAnswerEchoed, Outcome::kLinkUp, {FO::Echo, FO::Answered}},
        EchoCase{"on_read_without_echo", true, false, AnswerTo(kAdcRead), Outcome::kLinkUp,
                 {FO::Answered}},
        EchoCase{"on_write", true, true, Joined({kCode1, kCode1}), Outcome::kLinkUp,
                 {FO::Echo, FO::Answered}},
        // A lone copy of a write, nothing behind it by the deadline: an adapter that does
        // not echo after all, and the copy is the answer.
        EchoCase{"on_write_lone_copy", true, true, kCode1, Outcome::kLinkUp, {FO::Answered}},
        // The setting off: the request in front is no answer, nor is what follows it ...
        EchoCase{"off_read", false, false, kAdcAnswerEchoed, Outcome::kOwnRequest,
                 {FO::OwnRequest, FO::Dropped}},
        EchoCase{"off_read_to_a_silent_controller", false, false, kAdcRead, Outcome::kOwnRequest,
                 {FO::OwnRequest}},
        // ... but a one-register write's answer is its own bytes, and a line without echo is
        // read as it always was.
        EchoCase{"off_write", false, true, kCode1, Outcome::kLinkUp, {FO::Answered}},
        EchoCase{"off_read_without_echo", false, false, AnswerTo(kAdcRead), Outcome::kLinkUp,
                 {FO::Answered}}),
    [](const auto& row) { return std::string(row.param.name); });

// The echo box ticked, an adapter that does not echo: the poll goes round as on any line (the
// writes' answers are their requests' copies), and after a few answers without an echo that is
// told once; an echo, or the box unticked, clears it.
TEST_F(EngineTest, EchoExpectedButAbsentKeepsPollingAndIsToldOnce) {
  FrameRecorder seen;
  engine.SetObserver(&seen);
  engine.SetEchoExpected(true);
  Tick();
  std::vector<Bytes> sent;
  for (int i = 0; i < 12; ++i) {
    sent.push_back(LastFrame());
    ASSERT_EQ(AnsweredTick(), Outcome::kLinkUp) << i;
  }
  EXPECT_EQ((std::vector<Bytes>(sent.begin(), sent.begin() + 4)),
            (std::vector<Bytes>{kAdcRead, kCode1, kStatusRead, kCode2}));
  EXPECT_EQ(engine.ExchangeErrors(), 1);  // the first tick's alone
  EXPECT_TRUE(engine.EchoSeemsAbsent());
  const auto notes = std::count_if(seen.frames.begin(), seen.frames.end(),
                                   [](const SeenFrame& f) { return f.outcome == FO::NoEcho; });
  EXPECT_EQ(notes, 1);

  // An echo after all: the adapter does echo.
  port.Receive(Joined({LastFrame(), AnswerTo(LastFrame())}));
  ASSERT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_FALSE(engine.EchoSeemsAbsent());

  engine.SetEchoExpected(false);
  engine.SetEchoExpected(true);
  EXPECT_FALSE(engine.EchoSeemsAbsent());
}

// Polling continuously: a request leaves as soon as its exchange is over and the line has been
// silent for a frame gap, with no tick to wait for; the engine names when it wants its next
// tick, and lets an answer gather in the port before the loop wakes.
class ContinuousPoll : public EngineTest {
 protected:
  ContinuousPoll() { engine.SetPollPeriod(ModbusEngine::kContinuous); }
};

TEST_F(ContinuousPoll, TheNextRequestLeavesAFrameGapAfterTheAnswer) {
  Tick();
  ASSERT_EQ(LastFrame(), kAdcRead);
  EXPECT_EQ(port.wakeThreshold, kAdcAnswer.size()) << "a background poll wakes for its whole answer";
  port.Receive(kAdcAnswer, now + 14ms);
  EXPECT_EQ(Tick(14ms), Outcome::kLinkUp) << "taken as it is complete";
  EXPECT_EQ(port.written.size(), 1u) << "the line has not been silent for a frame gap yet";
  EXPECT_EQ(port.wakeThreshold, 1u);
  EXPECT_EQ(engine.NextWake(), now + 1750us);
  EXPECT_EQ(Tick(1ms), std::nullopt);
  EXPECT_EQ(port.written.size(), 1u);
  Tick(1ms);
  EXPECT_EQ(LastFrame(), kCode1);
  EXPECT_EQ(engine.ExchangeErrors(), 1);  // the first tick only
}

TEST_F(ContinuousPoll, ASilentControllerIsJudgedAtTheLineTimeDeadline) {
  Tick();
  const Time sent = now;
  // 8 + 133 bytes of 95 us and the 50 ms reply allowance; no tick of 100 ms to wait for.
  EXPECT_EQ(engine.NextWake(), sent + 141 * 95us + 50ms);
  EXPECT_EQ(Tick(63ms), std::nullopt);
  EXPECT_EQ(Tick(1ms), Outcome::kNoAnswer);
  EXPECT_EQ(port.written.size(), 2u) << "sent again at once into the silent line";
  EXPECT_EQ(LastFrame(), kAdcRead);
}

TEST_F(ContinuousPoll, AnOperatorsRequestWakesForARefusalFirstThenForTheRest) {
  ASSERT_TRUE(engine.QueueRequest(Request({0x03, 0x0B, 0xB8, 0x00, 0x5A})));
  Tick();
  EXPECT_EQ(port.wakeThreshold, modbus::kExceptionAnswerSize);
  port.Receive(Bytes(kStatusAnswer.begin(), kStatusAnswer.begin() + 5), now + 1ms);
  EXPECT_EQ(Tick(1ms), std::nullopt);
  EXPECT_EQ(port.wakeThreshold, kStatusAnswer.size() - 5);
  port.Receive(Bytes(kStatusAnswer.begin() + 5, kStatusAnswer.end()), now + 17ms);
  EXPECT_EQ(Tick(17ms), Outcome::kLinkUp);
  Tick(2ms);
  EXPECT_EQ(LastFrame(), kAdcRead);
  EXPECT_EQ(port.wakeThreshold, kAdcAnswer.size());
  EXPECT_EQ(Tick(70ms), Outcome::kNoAnswer);
  EXPECT_EQ(port.wakeThreshold, kAdcAnswer.size()) << "the resend waits for its whole answer again";
}

// A period of its own: the automatic wait of the converter block read (63.4 ms on this line)
// lasts until the next tick of that period, within its slack, when that is longer; every byte
// wakes the loop, as before.
TEST_F(EngineTest, APeriodOfItsOwnSetsTheShortestWait) {
  struct Case {
    std::chrono::milliseconds period, wait;
  } const cases[] = {{100ms, 80ms}, {500ms, 480ms}, {40ms, 64ms}, {10ms, 64ms}};
  for (const Case& c : cases) {
    test::FakeSerialPort line;
    PolledExchange fresh{line, view, [this] { return now; }};
    fresh.Engine().SetPollPeriod(c.period);
    fresh.Tick(QStringLiteral("COM1"), mode);
    ASSERT_EQ(line.written.size(), 1u);
    EXPECT_EQ(fresh.Engine().AnswerWait(), c.wait) << c.period.count() << " ms";
    EXPECT_EQ(line.wakeThreshold, 1u);
  }
}

TEST(RxCrc, CoversCellsZeroToNAsBytes) {
  RxBuffer rx{};
  const Bytes frame{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01};
  for (std::size_t i = 0; i < frame.size(); ++i) rx[i] = frame[i];
  rx[6] = 0xAA;  // beyond n: must not count
  EXPECT_EQ(RxCrc(rx, 5), 0x6DCA);
  EXPECT_EQ(RxCrc(rx, 5), modbus::Crc16(frame));
  EXPECT_EQ(RxCrc(rx, 0), modbus::Crc16(std::span(frame).first(1)));
}

TEST(RequestQueue, IndexesWrapAt511) {
  RequestQueue queue;
  for (int i = 0; i < 511; ++i) {
    ASSERT_TRUE(queue.CommitRequest());
    queue.AdvanceReadIndex();
  }
  EXPECT_EQ(queue.WriteIndex(), 511);
  ASSERT_TRUE(queue.CommitRequest());
  EXPECT_EQ(queue.WriteIndex(), 0);
  queue.AdvanceReadIndex();
  EXPECT_EQ(queue.ReadIndex(), 0);
  EXPECT_TRUE(queue.IsEmpty());
}

}  // namespace
}  // namespace torvex
