#include "engine/modbus_engine.h"

#include <gtest/gtest.h>

#include "engine/rx_crc.h"
#include "modbus/crc16.h"
#include "support/fake_serial_port.h"
#include "support/fake_view.h"
#include "support/frames.h"

namespace torvex {
namespace {

using test::Bytes;
using test::WithCrc;
using Outcome = ExchangeOutcome;

// A request as the engine queues it: function code and data.
modbus::Pdu Request(const Bytes& bytes) { return modbus::Pdu::FromBytes(bytes); }

const Bytes kAdcRead{0x07, 0x03, 0x0C, 0x0C, 0x00, 0x40, 0x87, 0x0F};
const Bytes kCode1{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0xCA, 0x6D};
const Bytes kStatusRead{0x07, 0x03, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
const Bytes kCode2{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x02, 0x8A, 0x6C};
const Bytes kAnyAnswer = WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01});

class EngineTest : public ::testing::Test {
 protected:
  Outcome Tick() { return engine.Tick(1, "115200,n,8,2"); }
  // A tick that finds a valid answer waiting.
  Outcome AnsweredTick() {
    port.Receive(kAnyAnswer);
    return Tick();
  }
  QString Status() const { return view.Text({Control::lbl_sys_mes}); }
  QString Dbg() const { return view.Text({Control::lbl_dbg}); }
  const Bytes& LastFrame() const { return port.written.back(); }

  test::FakeSerialPort port;
  test::FakeView view;
  ModbusEngine engine{port, view};
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
  EXPECT_EQ(engine.TransactionCode(), 65534);
  AnsweredTick();
  EXPECT_EQ(engine.TransactionCode(), 0);
  EXPECT_EQ(view.Text({Control::lbl_tr_id}), "0");
  EXPECT_EQ(LastFrame(), WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x00}));
  AnsweredTick();
  AnsweredTick();
  EXPECT_EQ(LastFrame(), WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01}));
}

TEST_F(EngineTest, QueuedRequestGoesFirstWithTheAddressSelectedAtSending) {
  const Bytes request{0x65, 0x00, 0x00, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};  // lastIndex 10
  ASSERT_TRUE(engine.QueueRequest(Request(request)));
  view.slave_address = 1;  // changed after queueing: the frame still takes it
  EXPECT_EQ(Tick(), Outcome::kNoAnswer);
  Bytes expected{0x01};
  expected.insert(expected.end(), request.begin(), request.end());
  expected = WithCrc(expected);
  ASSERT_EQ(expected.size(), 13u);
  EXPECT_EQ(LastFrame(), expected);
}

TEST_F(EngineTest, ShortSlotReusedAfterALongOneSendsOnlyItsBytes) {
  const Bytes long_request(40, 0xAB);
  for (int i = 0; i < RequestQueue::kSlots; ++i) {  // pass slot 0 once, then refill it
    ASSERT_TRUE(engine.QueueRequest(Request(i == 0 ? long_request : Bytes{0x03, 0x0B, 0xB9, 0x00, 0x02})));
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
};

class Reception : public EngineTest, public ::testing::WithParamInterface<ReceptionCase> {};

TEST_P(Reception, ClassifiesWhatArrived) {
  Tick();  // first poll in flight
  int decoded = 0;
  int decoded_count = -1;
  engine.SetDecoder([&](const RxAnswer& answer) {
    ++decoded;
    decoded_count = answer.count;
    EXPECT_TRUE(engine.Queue().IsEmpty()) << "request must leave the queue before decoding";
  });
  port.Receive(GetParam().arrived);
  EXPECT_EQ(Tick(), GetParam().outcome);
  EXPECT_EQ(engine.LastOutcome(), GetParam().outcome);
  EXPECT_EQ(Status(), StatusLineText(GetParam().outcome, 1));
  const bool valid = GetParam().outcome == Outcome::kLinkUp;
  EXPECT_EQ(decoded, valid ? 1 : 0);
  EXPECT_EQ(engine.ExchangeErrors(), valid ? 1 : 2);
  EXPECT_EQ(Dbg(), valid ? "1" : "2");
  EXPECT_EQ(LastFrame(), valid ? kCode1 : kAdcRead);
  if (valid) {
    EXPECT_EQ(decoded_count, static_cast<int>(GetParam().arrived.size()));
  }
  EXPECT_TRUE(port.incoming.empty()) << "every waiting byte is consumed";
}

Bytes Swapped(Bytes frame) {
  std::swap(frame[frame.size() - 1], frame[frame.size() - 2]);
  return frame;
}
Bytes WithStray(Bytes frame) {
  frame.push_back(0x55);
  return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Reception,
    ::testing::Values(
        ReceptionCase{"nothing", {}, Outcome::kNoAnswer},
        ReceptionCase{"one_byte", {0x07}, Outcome::kNoAnswer},
        ReceptionCase{"two_bytes", {0x07, 0x03}, Outcome::kNoAnswer},
        ReceptionCase{"three_valid_bytes", WithCrc({0x07}), Outcome::kLinkUp},
        ReceptionCase{"swapped_crc", Swapped(kAnyAnswer), Outcome::kChecksumMismatch},
        ReceptionCase{"stray_byte_after_answer", WithStray(kAnyAnswer), Outcome::kChecksumMismatch},
        ReceptionCase{"exception_answer", WithCrc({0x07, 0x83, 0x02}), Outcome::kLinkUp},
        ReceptionCase{"longest_stored_answer", WithCrc(Bytes(258, 0x5A)), Outcome::kLinkUp}),
    [](const auto& info) { return info.param.name; });

TEST_F(EngineTest, AnswerSplitOverTwoTicksFailsTwice) {
  Tick();
  const Bytes head(kAnyAnswer.begin(), kAnyAnswer.begin() + 5);
  const Bytes tail(kAnyAnswer.begin() + 5, kAnyAnswer.end());
  port.Receive(head);
  EXPECT_EQ(Tick(), Outcome::kChecksumMismatch);
  port.Receive(tail);
  port.Receive(kAnyAnswer);  // answer to the repeated request
  EXPECT_EQ(Tick(), Outcome::kChecksumMismatch);
  EXPECT_EQ(engine.ExchangeErrors(), 3);
  EXPECT_EQ(AnsweredTick(), Outcome::kLinkUp);
}

TEST_F(EngineTest, SurplusBeyond260BytesIsReadAndDropped) {
  Tick();
  Bytes burst = WithCrc(Bytes(258, 0x11));  // 260 valid bytes ...
  burst.insert(burst.end(), 40, 0x22);      // ... and 40 more
  port.Receive(burst);
  // The check then runs over cells 258-259, the stored answer's own CRC: valid.
  EXPECT_EQ(Tick(), Outcome::kLinkUp);
  EXPECT_EQ(engine.RxCount(), 260);
  EXPECT_TRUE(port.incoming.empty());
}

TEST_F(EngineTest, CaptionShowsThePortInUseEveryTick) {
  engine.Tick(3, "9600,e,8,1");
  EXPECT_EQ(view.caption, "TORVEX-CPU. Тест протокола Modbus. Порт: COM3  9600,e,8,1");
  engine.Tick(12, "");
  EXPECT_EQ(view.caption, "TORVEX-CPU. Тест протокола Modbus. Порт: COM12  ");
}

TEST_F(EngineTest, StrayValidAnswerBeforeTheFirstSendLeavesTheRingAlone) {
  port.Receive(kAnyAnswer);
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
  friend bool operator==(const SeenFrame&, const SeenFrame&) = default;
};

class FrameRecorder : public ExchangeObserver {
 public:
  void OnFrame(const FrameEvent& e) override {
    frames.push_back({e.direction, e.outcome, Bytes(e.bytes.begin(), e.bytes.end()), e.resend,
                      e.exceptionCode, e.sinceRequest.count() >= 0});
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
  port.Receive(Swapped(kAnyAnswer));
  Tick();
  AnsweredTick();  // the transaction-code write leaves, first time
  port.Receive(exception);
  Tick();
  const std::vector<SeenFrame> expected{
      {Tx, FrameOutcome::Request, kAdcRead, false, 0, false},
      {Rx, FrameOutcome::NoAnswer, {}, false, 0, true},
      {Tx, FrameOutcome::Request, kAdcRead, true, 0, false},
      {Rx, FrameOutcome::NoAnswer, {0x07, 0x03}, false, 0, true},
      {Tx, FrameOutcome::Request, kAdcRead, true, 0, false},
      {Rx, FrameOutcome::BadCrc, Swapped(kAnyAnswer), false, 0, true},
      {Tx, FrameOutcome::Request, kAdcRead, true, 0, false},
      {Rx, FrameOutcome::Answered, kAnyAnswer, false, 0, true},
      {Tx, FrameOutcome::Request, kCode1, false, 0, false},
      {Rx, FrameOutcome::Exception, exception, false, 2, true},
      {Tx, FrameOutcome::Request, kStatusRead, false, 0, false},
  };
  EXPECT_EQ(seen.frames, expected);

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
  EXPECT_EQ(AnsweredTick(), Outcome::kLinkUp);
  EXPECT_EQ(Status(), StatusLineText(Outcome::kLinkUp, 510));
}

// The words the window shows for each outcome; everything else asserts the outcome itself.
TEST(StatusLineText, TheWindowsWords) {
  const QString full = " Очередь запросов заполнена: новые команды не принимаются";
  const QString linkUp = "Связь с контроллером TORVEX-CPU установлена";
  const QString noAnswer = "Ошибка обмена: Нет ответа от контроллера TORVEX-CPU";
  const QString badCrc = "Ошибка обмена: Несовпадение КС";
  const QString refused = "Очередь запросов заполнена: команда не принята";
  const std::vector<std::tuple<Outcome, int, QString>> rows{
      {Outcome::kLinkUp, 0, linkUp},
      {Outcome::kNoAnswer, 1, noAnswer},
      {Outcome::kChecksumMismatch, 20, badCrc},
      {Outcome::kQueueFull, 511, refused},  // the refusal says it all
      {Outcome::kNoAnswer, 21, noAnswer + " В очереди 21 запрос"},
      {Outcome::kNoAnswer, 22, noAnswer + " В очереди 22 запроса"},
      {Outcome::kNoAnswer, 25, noAnswer + " В очереди 25 запросов"},
      {Outcome::kLinkUp, 111, linkUp + " В очереди 111 запросов"},
      {Outcome::kLinkUp, 124, linkUp + " В очереди 124 запроса"},
      {Outcome::kChecksumMismatch, 510, badCrc + " В очереди 510 запросов"},
      {Outcome::kLinkUp, 511, linkUp + full},
      {Outcome::kNoAnswer, 511, noAnswer + full},
      {Outcome::kChecksumMismatch, 511, badCrc + full},
  };
  for (const auto& [outcome, pending, text] : rows) {
    EXPECT_EQ(StatusLineText(outcome, pending), text) << pending;
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
