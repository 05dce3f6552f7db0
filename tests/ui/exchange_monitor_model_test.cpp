// The exchange monitor's table against a stream of frames: its rows, colours, the errors-only
// filter and a ring that overwrites what it shows.
#include "ui/exchange_monitor_model.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QSignalSpy>

#include "support/frames.h"
#include "support/qt_printers.h"

namespace torvex {
namespace {

using test::Bytes;
using test::WithCrc;
using Model = ExchangeMonitorModel;

const Bytes kCode1 = WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01});
const Bytes kCode2 = WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x02});
const Bytes kRefused = WithCrc({0x07, 0x86, 0x02});

// 2026-12-10 14:03:07.125 local time, then 100 ms per frame.
const std::int64_t kStartMs = QDateTime(QDate(2026, 12, 10), QTime(14, 3, 7, 125)).toMSecsSinceEpoch();

class MonitorModel : public ::testing::Test {
 protected:
  void Send(const Bytes& frame, bool resend = false) {
    request = frame;
    FrameEvent e;
    e.bytes = frame;
    e.resend = resend;
    Feed(e);
  }
  void Receive(FrameOutcome outcome, const Bytes& frame, int sinceMs, int code = 0) {
    FrameEvent e;
    e.direction = FrameDirection::Rx;
    e.outcome = outcome;
    e.bytes = frame;
    e.sinceRequest = std::chrono::milliseconds(sinceMs);
    e.exceptionCode = code;
    e.request = request;  // as the engine tells it: the last request sent
    Feed(e);
  }
  void Feed(const FrameEvent& e) {
    trace.OnFrame(e);
    ++frames;
  }
  QStringList Row(int row) const {
    QStringList cells;
    for (int c = 0; c < Model::kColumns; ++c) cells << model.data(model.index(row, c)).toString();
    return cells;
  }
  QVariant Background(int row) const { return model.data(model.index(row, 0), Qt::BackgroundRole); }
  QVariant Foreground(int row) const { return model.data(model.index(row, 0), Qt::ForegroundRole); }
  QStringList Meanings() const {
    QStringList meanings;
    for (int row = 0; row < model.rowCount(); ++row) meanings << Row(row)[Model::kMeaning];
    return meanings;
  }

  std::int64_t frames = 0;
  Bytes request;  // the last request sent
  ExchangeTrace trace{8, [this] { return kStartMs + 100 * frames; }};
  Model model{trace};
};

TEST_F(MonitorModel, ShowsEachFrameWithItsMeaningAndOutcomeInBatches) {
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
  Send(kCode1);
  Receive(FrameOutcome::NoAnswer, {}, 100);
  Send(kCode1, true);
  Receive(FrameOutcome::Dropped, {0x55}, 3);
  Receive(FrameOutcome::Exception, kRefused, 12, 2);
  EXPECT_EQ(model.rowCount(), 0) << "rows come in only when the window refreshes";
  model.Refresh();
  ASSERT_EQ(model.rowCount(), 5);
  EXPECT_EQ(inserted.size(), 1);

  EXPECT_EQ(Row(0), (QStringList{"14:03:07.125", "TX", "07 06 0B B8 00 01 CA 6D", "Запись 3000 = 1", "", ""}));
  EXPECT_EQ(Row(1), (QStringList{"14:03:07.225", "RX", "-", "Нет ответа", "нет ответа", "100"}));
  EXPECT_EQ(Row(2)[3], "Запись 3000 = 1 (повтор)");
  EXPECT_EQ(Row(3), (QStringList{"14:03:07.425", "RX", "55", "Отброшено: 1 байт", "отброшено", "3"}));
  EXPECT_EQ(Row(4), (QStringList{"14:03:07.525", "RX", "07 86 02 23 A0", "Исключение 2: недопустимый адрес данных",
                                 "исключение", "12"}));
  // A failed exchange stands out, a refusal differently; bytes dropped on the way to a good
  // answer are no failure and are only greyed.
  EXPECT_FALSE(Background(0).isValid());
  EXPECT_TRUE(Background(1).isValid());
  EXPECT_FALSE(Background(3).isValid());
  EXPECT_TRUE(Foreground(3).isValid());
  EXPECT_NE(Foreground(3), Foreground(1));
  EXPECT_TRUE(Background(4).isValid());
  EXPECT_NE(Background(1), Background(4));

  // Eight are shown: four more frames push the oldest out, in one removal.
  for (int i = 0; i < 4; ++i) Send(kCode1);
  model.Refresh();
  EXPECT_EQ(model.rowCount(), 8);
  EXPECT_EQ(removed.size(), 1);
  EXPECT_EQ(inserted.size(), 2);
  EXPECT_EQ(Row(0)[3], "Нет ответа");

  trace.Clear();
  model.Refresh();
  EXPECT_EQ(model.rowCount(), 0);
  Send(kCode1);
  model.Refresh();
  EXPECT_EQ(model.rowCount(), 1);
}

// "Only errors" shows each failed exchange and each refusal after the request it answered, so
// that "Нет ответа" always says what went unanswered; dropped bytes are no failure.
TEST_F(MonitorModel, OnlyErrorsShowsEachFailureAfterItsRequest) {
  const Bytes cut{0x07, 0x06, 0x0B, 0xB8};
  Send(kCode1);
  Receive(FrameOutcome::Answered, kCode1, 9);
  Send(kCode2);
  Receive(FrameOutcome::Dropped, {0x55}, 3);
  Receive(FrameOutcome::NoAnswer, {}, 100);
  model.SetOnlyErrors(true);
  EXPECT_EQ(Meanings(), (QStringList{"Запись 3000 = 2", "Нет ответа"}));

  // Taken in as they come, each request once.
  Send(kCode2, true);
  Receive(FrameOutcome::Exception, kRefused, 12, 2);
  FrameEvent e;
  e.direction = FrameDirection::Rx;
  e.outcome = FrameOutcome::Incomplete;
  e.bytes = cut;
  e.expectedSize = 8;
  Feed(e);
  model.Refresh();
  EXPECT_EQ(Meanings(), (QStringList{"Запись 3000 = 2", "Нет ответа", "Запись 3000 = 2 (повтор)",
                                     "Исключение 2: недопустимый адрес данных",
                                     "Неполный ответ: 4 из 8 байт"}));
  model.SetOnlyErrors(false);
  EXPECT_EQ(model.rowCount(), 8);
}

// With the ring full and no refresh for a long time, a row never shows a frame that has left
// the ring: the ring warns first, and the model takes in what is new.
TEST_F(MonitorModel, AFullRingNeverShowsATornRow) {
  for (int i = 0; i < 6; ++i) {
    Send(kCode1);
    Receive(FrameOutcome::NoAnswer, {}, 100);
  }
  model.Refresh();
  for (int i = 0; i < 25; ++i) {
    Send(kCode2);
    Receive(FrameOutcome::NoAnswer, {}, 100);
    for (int row = 0; row < model.rowCount(); ++row) {
      ASSERT_GE(model.SequenceAt(row), trace.Ring().First()) << "row " << row << " after " << i;
      ASSERT_FALSE(Row(row)[Model::kTime].isEmpty());
      if (Row(row)[Model::kDirection] == "RX") {
        ASSERT_TRUE(Background(row).isValid());
      }
    }
  }
  EXPECT_EQ(model.rowCount(), 8);
}

// The window in the running tool: a fake port, the exchange ticked by hand.

}  // namespace
}  // namespace torvex
