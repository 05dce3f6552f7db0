// The trace against a stream of frame events: the lines of the exchange log, the counters,
// the ring of the last frames, and a log file that cannot be written.
#include "monitor/exchange_log.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "monitor/exchange_trace.h"
#include "monitor/frame_meaning.h"
#include "support/filling_file.h"
#include "support/qt_printers.h"
#include "support/result_printer.h"

namespace torvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

constexpr std::int64_t kStartMs = 1796997787125;  // a moment of 2026, to the millisecond

struct Event {
  FrameDirection direction;
  FrameOutcome outcome;
  Bytes bytes;
  int sinceMs = -1;
  bool resend = false;
  int exceptionCode = 0;
  std::size_t expectedSize = 0;
};

// Feeds events to a trace whose clock moves 10 ms per frame.
class Stream {
 public:
  explicit Stream(std::size_t capacity = FrameRing::kDefaultCapacity)
      : trace(capacity, [this] { return kStartMs + 10 * frames_; }) {}
  void Feed(const std::vector<Event>& events) {
    for (const Event& e : events) {
      FrameEvent event;
      event.direction = e.direction;
      event.outcome = e.outcome;
      event.bytes = e.bytes;
      event.sinceRequest = milliseconds(e.sinceMs);
      event.resend = e.resend;
      event.exceptionCode = e.exceptionCode;
      event.expectedSize = e.expectedSize;
      trace.OnFrame(event);
      ++frames_;
    }
  }
  ExchangeTrace trace;

 private:
  std::int64_t frames_ = 0;
};

constexpr auto Tx = FrameDirection::Tx;
constexpr auto Rx = FrameDirection::Rx;

const Bytes kStatusRead{0x07, 0x03, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
const Bytes kCode1{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0xCA, 0x6D};
const Bytes kCode2{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x02, 0x8A, 0x6C};
const Bytes kCode1Swapped{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0x6D, 0xCA};
const Bytes kRefused{0x07, 0x86, 0x02, 0x43, 0x2E};

// A stream with every outcome, and the log lines it must give after the time field. Five
// exchanges fail (no answer, bad CRC, cut short, only another request's answer, the request
// itself back); the noise and the stale frame in front of the refusal are dropped, not failures.
const std::vector<Event> kEvents{
    {Tx, FrameOutcome::Request, kCode1},
    {Rx, FrameOutcome::NoAnswer, {}, 100},
    {Tx, FrameOutcome::Request, kCode1, -1, true},
    {Rx, FrameOutcome::BadCrc, kCode1Swapped, 100},
    {Tx, FrameOutcome::Request, kCode1, -1, true},
    {Rx, FrameOutcome::Incomplete, {0x07, 0x06, 0x0B, 0xB8}, 100, false, 0, 8},
    {Tx, FrameOutcome::Request, kCode1, -1, true},
    {Rx, FrameOutcome::Dropped, {0x55}, 3},
    {Rx, FrameOutcome::Dropped, kCode2, 12},
    {Rx, FrameOutcome::Exception, kRefused, 14, false, 2},
    {Rx, FrameOutcome::NoEcho, {}, 14},
    {Tx, FrameOutcome::Request, kStatusRead},
    {Rx, FrameOutcome::Mismatch, kCode1, 100},
    {Tx, FrameOutcome::Request, kStatusRead, -1, true},
    {Rx, FrameOutcome::OwnRequest, kStatusRead, 100},
    {Tx, FrameOutcome::Request, kStatusRead, -1, true},
    {Rx, FrameOutcome::Answered, kCode1, 9},
};
const char* const kLines[] = {
    "TX\t07 06 0B B8 00 01 CA 6D\t-\tЗапись 3000 = 1",
    "RX\t-\tno-answer\tНет ответа",
    "TX\t07 06 0B B8 00 01 CA 6D\t-\tЗапись 3000 = 1 (повтор)",
    "RX\t07 06 0B B8 00 01 6D CA\tbad-crc\tНесовпадение КС: принята 0xCA6D, вычислена 0x6DCA",
    "TX\t07 06 0B B8 00 01 CA 6D\t-\tЗапись 3000 = 1 (повтор)",
    "RX\t07 06 0B B8\tincomplete\tНеполный ответ: 4 из 8 байт",
    "TX\t07 06 0B B8 00 01 CA 6D\t-\tЗапись 3000 = 1 (повтор)",
    "RX\t55\tdropped\tОтброшено: 1 байт",
    "RX\t07 06 0B B8 00 02 8A 6C\tdropped\tОтброшено (не ответ на этот запрос): Ответ: 3000 = 2 "
    "записано",
    "RX\t07 86 02 43 2E\texception\tИсключение 2: недопустимый адрес данных",
    "RX\t-\tno-echo\tЭхо не приходит: ответы идут без эха уже несколько обменов подряд; адаптер, "
    "похоже, не возвращает отправленное (снимите отметку «Адаптер возвращает отправленное (эхо)» в "
    "настройке порта)",
    "TX\t07 03 0B B8 00 5A 47 96\t-\tЧтение 90 регистров с 3000",
    "RX\t07 06 0B B8 00 01 CA 6D\tmismatch\tНе ответ на этот запрос: Ответ: 3000 = 1 записано",
    "TX\t07 03 0B B8 00 5A 47 96\t-\tЧтение 90 регистров с 3000 (повтор)",
    "RX\t07 03 0B B8 00 5A 47 96\town-request\tВернулся сам запрос (эхо адаптера): Чтение 90 "
    "регистров с 3000",
    "TX\t07 03 0B B8 00 5A 47 96\t-\tЧтение 90 регистров с 3000 (повтор)",
    "RX\t07 06 0B B8 00 01 CA 6D\tok\tОтвет: 3000 = 1 записано",
};

QStringList ReadLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.endsWith('\n'));
  text.chop(1);
  return text.split('\n');
}

TEST(ExchangeLog, TimeIsLocalIso8601WithMillisecondsAndOffset) {
  for (std::int64_t ms : {kStartMs, kStartMs + 999, std::int64_t{0}}) {
    const QString time = LogTime(ms);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")
                    .match(time)
                    .hasMatch())
        << time.toStdString();
    EXPECT_EQ(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch(), ms);
    EXPECT_EQ(time.left(23), QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-ddTHH:mm:ss.zzz"));
  }
}

TEST(ExchangeLog, FileHasOneLinePerFrameAndIsAppendedTo) {
  QTemporaryDir dir;
  const QString path = dir.filePath("обмен.log");
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier run\n");
  }
  Stream stream;
  ExchangeLogFile log(path);
  int reports = 0;
  log.SetStateHandler([&](const Result&) { ++reports; });
  log.Open();
  ASSERT_FALSE(log.Failing());
  stream.trace.SetLog(&log);
  stream.Feed(kEvents);

  const QStringList lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 1 + std::ssize(kLines));
  EXPECT_EQ(lines[0], "earlier run");
  for (std::size_t i = 0; i < std::size(kLines); ++i) {
    const QString& line = lines[static_cast<int>(i) + 1];
    EXPECT_EQ(line.section('\t', 0, 0), LogTime(kStartMs + 10 * static_cast<std::int64_t>(i)));
    EXPECT_EQ(line.section('\t', 1), QString::fromUtf8(kLines[i]));
  }
  EXPECT_EQ(reports, 0);
}

TEST(ExchangeLog, CountersRingAndSaveFollowTheStream) {
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
  ASSERT_EQ(ring.Size(), std::size(kLines));
  EXPECT_EQ(ring.At(ring.End() - 1).sinceRequestMs, 9);
  EXPECT_EQ(ring.At(ring.End() - 1).Request().size(), 8u);

  // "Save" writes the same lines; only the errors when asked.
  QTemporaryDir dir;
  const QString path = dir.filePath("saved.log");
  EXPECT_EQ(SaveFrames(ring, ring.First(), ring.End(),
                       [&ring](std::uint64_t s) { return ring.At(s).IsError(); }, path),
            Result());
  const QStringList lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0].section('\t', 1), QString::fromUtf8(kLines[1]));
  EXPECT_EQ(lines[4].section('\t', 1), QString::fromUtf8(kLines[14]));
  EXPECT_FALSE(SaveFrames(ring, ring.First(), ring.End(), {}, dir.filePath("no/such/dir/x")));

  stream.trace.Clear();
  EXPECT_EQ(ring.Size(), 0u);
  EXPECT_EQ(stream.trace.Counters().requests, 0u);
}

TEST(ExchangeLog, RingKeepsTheNewestFramesAndPauseKeepsItStill) {
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

// A log that cannot be written is reported once, never stops the frames, and its recovery is
// reported too.
TEST(ExchangeLog, UnwritableLogIsReportedOnceAndTheStreamGoesOn) {
  struct Report {
    bool failing;
    QString reason;
  };
  {
    Stream stream;
    ExchangeLogFile log("/dev/full");
    std::vector<Report> reports;
    log.SetStateHandler([&](const Result& writing) {
      reports.push_back({!writing, writing ? QString() : writing.Why()});
    });
    log.Open();
    ASSERT_FALSE(log.Failing());
    stream.trace.SetLog(&log);
    stream.Feed(kEvents);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].failing);
    EXPECT_FALSE(reports[0].reason.isEmpty());
    EXPECT_TRUE(log.Failing());
    EXPECT_EQ(stream.trace.Ring().Size(), std::size(kLines));
  }
  {
    QTemporaryDir dir;
    ExchangeLogFile log(dir.filePath("absent/dir/exchange.log"));
    int reports = 0;
    log.SetStateHandler([&](const Result& writing) { reports += !writing; });
    log.Open();
    EXPECT_TRUE(log.Failing());
    Stream stream;
    stream.trace.SetLog(&log);
    stream.Feed(kEvents);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(stream.trace.Counters().requests, 7u);
  }
}

// A disk that fills up in the middle of a line and has room again later: the file holds whole
// lines only, the cut one taken back or, where the file cannot be shortened, finished before
// the next; the failure is reported once with its reason, and so is the recovery.
TEST(ExchangeLog, ALineCutByAFullDiskNeverRunsIntoTheNext) {
  for (const bool shrinkable : {true, false}) {
    SCOPED_TRACE(shrinkable ? "taken back" : "finished");
    QTemporaryDir dir;
    const QString path = dir.filePath("exchange.log");
    auto file = std::make_unique<test::FillingFile>(path);
    file->shrinkable = shrinkable;
    test::FillingFile* disk = file.get();
    ExchangeLogFile log(std::move(file));
    std::vector<std::pair<bool, QString>> reports;
    log.SetStateHandler([&](const Result& writing) {
      reports.push_back({!writing, writing ? QString() : writing.Why()});
    });
    log.Open();
    ASSERT_FALSE(log.Failing());
    Stream stream;
    stream.trace.SetLog(&log);
    stream.Feed({kEvents.begin(), kEvents.begin() + 3});
    disk->room = 20;  // the fourth line is cut after its time
    stream.Feed({kEvents.begin() + 3, kEvents.begin() + 6});
    disk->room = std::numeric_limits<qint64>::max();  // room again
    stream.Feed({kEvents.begin() + 6, kEvents.end()});

    const QStringList lines = ReadLines(path);
    for (const QString& line : lines) EXPECT_EQ(line.split('\t').size(), 5) << line.toStdString();
    // Lines 4-6 went while the disk was full; the cut one is there only when it was finished.
    QStringList expected;
    for (std::size_t i = 0; i < std::size(kLines); ++i) {
      if (i < 3 || i > 5 || (i == 3 && !shrinkable)) expected << QString::fromUtf8(kLines[i]);
    }
    QStringList got;
    for (const QString& line : lines) got << line.section('\t', 1);
    EXPECT_EQ(got, expected);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].first);
    EXPECT_EQ(reports[0].second, "No space left on device");
    EXPECT_FALSE(reports[1].first);
    EXPECT_FALSE(log.Failing());
  }
}

}  // namespace
}  // namespace torvex
