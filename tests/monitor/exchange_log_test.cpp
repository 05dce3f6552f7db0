// The exchange log against a stream of frame events: its lines, the saved rows, and a log file
// that cannot be written.
#include "monitor/exchange_log.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "frame_stream.h"
#include "monitor/frame_meaning.h"
#include "support/file_size_limit.h"
#include "support/files.h"
#include "support/filling_file.h"
#include "support/qt_printers.h"
#include "support/result_printer.h"

namespace torvex {
namespace {

using test::Stream;
using test::kEvents;
using test::kStartMs;

// The log lines that kEvents must give, after the time field.
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

// "Save" writes the same lines as the log; only the errors when asked.
TEST(ExchangeLog, SaveWritesTheLinesOfTheFramesAsked) {
  Stream stream;
  stream.Feed(kEvents);
  const FrameRing& ring = stream.trace.Ring();
  ASSERT_EQ(ring.Size(), std::size(kLines));
  QTemporaryDir dir;
  const QString path = dir.filePath("saved.log");
  EXPECT_EQ(SaveFrames(ring, ring.First(), ring.End(),
                       [&ring](std::uint64_t s) { return ring.At(s).IsError(); }, path),
            Result());
  const QStringList lines = ReadLines(path);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0].section('\t', 1), QString::fromUtf8(kLines[1]));
  EXPECT_EQ(lines[4].section('\t', 1), QString::fromUtf8(kLines[14]));
  EXPECT_EQ(SaveFrames(ring, ring.First(), ring.End(), {}, dir.filePath("no/such/dir/x")),
            Result::Failed("папки " + dir.filePath("no/such/dir") + " нет"));

  // A disk that fills while saving: the failure and its reason, the earlier file kept whole.
  const QByteArray before = test::ReadFile(path);
  Result full;
  {
    const test::FileSizeLimit limit(100);
    full = SaveFrames(ring, ring.First(), ring.End(), {}, path);
  }
  EXPECT_EQ(full, Result::Failed("файл превысил допустимый размер"));
  EXPECT_EQ(test::ReadFile(path), before);
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
    EXPECT_EQ(reports[0].reason, "нет места на диске");
    EXPECT_TRUE(log.Failing());
    EXPECT_EQ(stream.trace.Ring().Size(), std::size(kLines));
  }
  {
    QTemporaryDir dir;
    ExchangeLogFile log(dir.filePath("absent/dir/exchange.log"));
    int reports = 0;
    QString reason;
    log.SetStateHandler([&](const Result& writing) {
      reports += !writing;
      if (!writing) reason = writing.Why();
    });
    log.Open();
    EXPECT_TRUE(log.Failing());
    EXPECT_EQ(reason, "папки " + dir.filePath("absent/dir") + " нет");
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
    EXPECT_EQ(reports[0].second, "нет места на диске");
    EXPECT_FALSE(reports[1].first);
    EXPECT_FALSE(log.Failing());
  }
}

}  // namespace
}  // namespace torvex
