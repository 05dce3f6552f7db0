// The recording file, cell by cell, under a Russian and an English locale.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QStringList>
#include <QTemporaryDir>

#include "decode/default_locale.h"
#include "record/csv_recorder.h"
#include "samples.h"
#include "support/files.h"
#include "support/result_printer.h"
#include "support/filling_file.h"

namespace torvex::record {
namespace {


// The whole file in memory, as a spreadsheet splits it.
struct Table {
  QStringList header;
  std::vector<QStringList> rows;

  QString Cell(std::size_t row, const QString& column) const {
    const auto at = header.indexOf(column);
    EXPECT_GE(at, 0) << column.toStdString();
    return at < 0 ? QString() : rows.at(row).at(at);
  }
};

Table Split(const QByteArray& bytes, char separator) {
  EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
  EXPECT_TRUE(bytes.endsWith("\r\n"));
  QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
  lines.removeLast();
  Table table;
  table.header = lines.takeFirst().split(QLatin1Char(separator));
  for (const QString& line : lines) {
    table.rows.push_back(line.split(QLatin1Char(separator)));
    EXPECT_EQ(table.rows.back().size(), table.header.size());
  }
  return table;
}

class Recording : public ::testing::TestWithParam<QLocale::Language> {
 protected:
  bool Russian() const { return GetParam() == QLocale::Russian; }
  char Separator() const { return Russian() ? ';' : ','; }
  // The expected number as written under the locale: the cases are written the Russian way.
  QString Num(QString russian) const {
    return Russian() ? russian : russian.replace(QLatin1Char(','), QLatin1Char('.'));
  }

  void Start() {
    auto buffer = std::make_unique<QBuffer>(&bytes);
    buffer->open(QIODevice::WriteOnly);
    ASSERT_EQ(recorder.Start(std::move(buffer), QStringLiteral("memory")), Result());
  }
  Table Written() const { return Split(bytes, Separator()); }

  test::DefaultLocale locale{GetParam()};
  QByteArray bytes;
  CsvRecorder recorder;
  ChannelTypes types{};
};

TEST_P(Recording, HeaderNamesEveryColumnWithItsUnit) {
  Start();
  recorder.Stop();
  const QString sep{QLatin1Char(Separator())};
  const QStringList first{"Время",
                          "AIN1.0 тип датчика",
                          "AIN1.0 датчик (Откл/Вкл)",
                          "AIN1.0 датчик (Ом)",
                          "AIN1.0 датчик (°C)",
                          "AIN1.0 датчик (%)",
                          "AIN1.0 вход (мВ)",
                          "AIN1.0 вход (мА)",
                          "AIN1.1 тип датчика",
                          "AIN1.1 датчик (Откл/Вкл)",
                          "AIN1.1 датчик (°C)",
                          "AIN1.1 датчик (%)",
                          "AIN1.1 вход (мВ)",
                          "AIN1.1 вход (Ом)",
                          "AIN1.1 вход (мА)",
                          "AIN1.2 тип датчика"};
  const QStringList afterChannels{"АЦП AIN1.0 (мВ)"};
  const QStringList last{"АЦП AIN2.31 (мВ)",
                         "Температура (°C)",
                         "Двигатель ДЗ3 (Гц)",
                         "Гребной вал (Гц)",
                         "Направление (вперед 1 / назад -1)",
                         "Слово состояния",
                         "Вход 1"};
  ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));  // UTF-8 for the spreadsheet
  const QString text = QString::fromUtf8(bytes.mid(3));
  EXPECT_TRUE(text.startsWith(first.join(sep) + sep)) << text.left(300).toStdString();
  EXPECT_TRUE(text.contains(sep + "AIN2.15 вход (мА)" + sep + afterChannels.join(sep) + sep));
  EXPECT_TRUE(text.contains(sep + last.join(sep) + sep));
  EXPECT_TRUE(text.endsWith(sep + QStringLiteral("Выход 31") + sep + "Выход 32\r\n"));
  Table table = Written();
  EXPECT_EQ(table.header.size(), 1 + 16 * 7 + 16 * 7 + 64 + 3 + 2 + 64);
  EXPECT_EQ(table.header.removeDuplicates(), 0);
}

TEST_P(Recording, StatusAnswerRow) {
  struct Case {
    QString type;
    int channel;
    int sensor, input;
    QString sensorColumn, sensorText, inputColumn, inputText;
  };
  const std::vector<Case> cases{
      {"2", 0, 10050, 1234, "AIN1.0 датчик (Ом)", "100,5", "AIN1.0 вход (мВ)", "12,34"},
      {"2", 1, 235, 10930, "AIN1.1 датчик (°C)", "23,5", "AIN1.1 вход (Ом)", "109,3"},
      {"3", 3, -235, 10930, "AIN1.3 датчик (°C)", "-23,5", "AIN1.3 вход (Ом)", "1093"},
      {"4", 4, 235, 1001, "AIN1.4 датчик (°C)", "23,5", "AIN1.4 вход (мВ)", "2,002"},
      {"5", 5, 5000, 12000, "AIN1.5 датчик (%)", "50", "AIN1.5 вход (мА)", "12"},
      {"1", 6, 0, 15, "AIN1.6 датчик (Откл/Вкл)", "0", "AIN1.6 вход (мВ)", "1,5"},
      {"1", 7, -1, -15, "AIN1.7 датчик (Откл/Вкл)", "1", "AIN1.7 вход (мВ)", "-1,5"},
      {"4", 31, -5, -1, "AIN2.15 датчик (°C)", "-0,5", "AIN2.15 вход (мВ)", "-0,002"},
  };
  test::StatusRegisters regs;
  for (const Case& c : cases) {
    test::SetType(types, c.channel, c.type);
    regs.Sensor(c.channel, c.sensor);
    regs.Input(c.channel, c.input);
  }
  test::SetType(types, 8, "abc");
  regs.Sensor(8, 100);
  regs.Input(8, 100);
  regs.words[1] = 0x8000;   // output 32
  regs.words[2] = 0x0001;   // output 1
  regs.words[42] = 0x0001;  // input 17
  regs.words[44] = -1 & 0xFFFF;
  regs.words[45] = 1;  // 65536 Hz
  regs.words[48] = 12;
  regs.words[49] = 0x0002;

  Start();
  recorder.Add(test::StatusSampleAt(test::LocalMs(12, 0, 0, 250), regs, types));
  const Table table = Written();
  ASSERT_EQ(table.rows.size(), 1u);
  EXPECT_EQ(table.Cell(0, "Время"), Num("2026-03-01 12:00:00,250"));  // read as a time
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    const QString name = c.sensorColumn.section(u' ', 0, 0);
    EXPECT_EQ(table.Cell(0, name + " тип датчика"), c.type);
    // The value stands in the column of its unit and nowhere else.
    for (const QString& column : table.header) {
      if (!column.startsWith(name + " датчик") && !column.startsWith(name + " вход")) continue;
      const QString expected = column == c.sensorColumn  ? Num(c.sensorText)
                               : column == c.inputColumn ? Num(c.inputText)
                                                         : QString();
      EXPECT_EQ(table.Cell(0, column), expected) << column.toStdString();
    }
  }
  for (const QString& column : table.header) {  // "?": no type, no values
    if (column.startsWith("AIN1.8 ")) {
      EXPECT_EQ(table.Cell(0, column), "") << column.toStdString();
    }
  }
  EXPECT_EQ(table.Cell(0, "Температура (°C)"), Num("-0,5"));
  EXPECT_EQ(table.Cell(0, "Двигатель ДЗ3 (Гц)"), "65536");
  EXPECT_EQ(table.Cell(0, "Гребной вал (Гц)"), "12");
  EXPECT_EQ(table.Cell(0, "Направление (вперед 1 / назад -1)"), "-1");
  EXPECT_EQ(table.Cell(0, "Слово состояния"), "2");
  EXPECT_EQ(table.Cell(0, "Вход 17"), "1");
  EXPECT_EQ(table.Cell(0, "Вход 16"), "0");
  EXPECT_EQ(table.Cell(0, "Выход 1"), "1");
  EXPECT_EQ(table.Cell(0, "Выход 32"), "1");
  EXPECT_EQ(table.Cell(0, "Выход 2"), "0");
  EXPECT_EQ(table.Cell(0, "АЦП AIN1.0 (мВ)"), "");  // not in this answer
}

TEST_P(Recording, ConverterRowAndUnknownValuesStayEmpty) {
  std::vector<int> words(test::kConverterRegisters, 0);
  words[0] = 12345;
  words[32] = -7 & 0xFFFF;
  test::StatusRegisters regs;
  regs.words[44] = 47;
  regs.words[49] = 0x8201;  // temperature sensor absent, direction invalid

  Start();
  recorder.Add(test::ConverterSampleAt(test::LocalMs(9, 5, 1, 7), words));
  recorder.Add(test::StatusSampleAt(test::LocalMs(9, 5, 1, 407), regs, types));
  const Table table = Written();
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.Cell(0, "Время"), Num("2026-03-01 09:05:01,007"));
  EXPECT_EQ(table.Cell(0, "АЦП AIN1.0 (мВ)"), Num("1234,5"));
  EXPECT_EQ(table.Cell(0, "АЦП AIN2.0 (мВ)"), Num("-0,7"));
  EXPECT_EQ(table.Cell(0, "АЦП AIN2.31 (мВ)"), "0");
  for (const char* column : {"Температура (°C)", "Слово состояния", "Вход 1", "AIN1.0 тип датчика"}) {
    EXPECT_EQ(table.Cell(0, column), "") << column;
  }
  EXPECT_EQ(table.Cell(1, "Температура (°C)"), "");
  EXPECT_EQ(table.Cell(1, "Направление (вперед 1 / назад -1)"), "");
  EXPECT_EQ(table.Cell(1, "Слово состояния"), "33281");
  EXPECT_EQ(table.Cell(1, "АЦП AIN1.0 (мВ)"), "");
}

// A type changed during the recording moves the channel's numbers to the new unit's column;
// none of them ever stands under the old unit.
TEST_P(Recording, SensorTypeChangeMovesTheValuesToTheirUnit) {
  test::StatusRegisters regs;
  regs.Sensor(2, 2500);
  regs.Input(2, 1500);
  Start();
  test::SetType(types, 2, "2");
  recorder.Add(test::StatusSampleAt(1000, regs, types));
  test::SetType(types, 2, "5");
  recorder.Add(test::StatusSampleAt(1400, regs, types));
  test::SetType(types, 2, "");
  recorder.Add(test::StatusSampleAt(1800, regs, types));

  const Table table = Written();
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.Cell(0, "AIN1.2 тип датчика"), "2");
  EXPECT_EQ(table.Cell(0, "AIN1.2 датчик (Ом)"), "25");
  EXPECT_EQ(table.Cell(0, "AIN1.2 датчик (%)"), "");
  EXPECT_EQ(table.Cell(0, "AIN1.2 вход (мВ)"), "15");
  EXPECT_EQ(table.Cell(0, "AIN1.2 вход (мА)"), "");
  EXPECT_EQ(table.Cell(1, "AIN1.2 тип датчика"), "5");
  EXPECT_EQ(table.Cell(1, "AIN1.2 датчик (Ом)"), "");
  EXPECT_EQ(table.Cell(1, "AIN1.2 датчик (%)"), "25");
  EXPECT_EQ(table.Cell(1, "AIN1.2 вход (мВ)"), "");
  EXPECT_EQ(table.Cell(1, "AIN1.2 вход (мА)"), Num("1,5"));
  for (const QString& column : table.header) {
    if (column.startsWith("AIN1.2 ")) {
      EXPECT_EQ(table.Cell(2, column), "") << column.toStdString();
    }
  }
}

// Rows come only from answers: a lost line leaves a gap in time, never a repeated row.
TEST_P(Recording, LostLineLeavesAGap) {
  test::StatusRegisters regs;
  Start();
  recorder.Add(test::StatusSampleAt(test::LocalMs(10, 0, 0, 0), regs, types));
  recorder.Add(test::StatusSampleAt(test::LocalMs(10, 0, 0, 400), regs, types));
  // The line is lost for a minute: no answers, no samples.
  recorder.Add(test::StatusSampleAt(test::LocalMs(10, 1, 0, 400), regs, types));
  const Table table = Written();
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.Cell(1, "Время"), Num("2026-03-01 10:00:00,400"));
  EXPECT_EQ(table.Cell(2, "Время"), Num("2026-03-01 10:01:00,400"));
}

INSTANTIATE_TEST_SUITE_P(Locales, Recording,
                         ::testing::Values(QLocale::Russian, QLocale::English));

// The disk fills up in the middle of a row: the row is taken back, the file ends with the
// last whole row, and the reason is named once.
TEST(RecordingErrors, FullDiskStopsTheRecordingLeavingWholeRowsAndSaysWhy) {
  test::DefaultLocale locale{QLocale::Russian};
  QTemporaryDir dir;
  const QString path = dir.filePath("full.csv");
  QStringList reports;
  CsvRecorder recorder([&reports](const QString& message) { reports << message; });
  ChannelTypes types{};
  const Sample sample = test::StatusSampleAt(0, {}, types);
  auto file = std::make_unique<test::FillingFile>(path);
  ASSERT_TRUE(file->open(QIODevice::WriteOnly | QIODevice::Unbuffered));
  test::FillingFile* disk = file.get();
  ASSERT_EQ(recorder.Start(std::move(file), path), Result());
  recorder.Add(sample);
  disk->room = 300;  // the next row fits only in part
  recorder.Add(sample);
  EXPECT_FALSE(recorder.Recording());
  recorder.Add(sample);
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports.front(), "Запись в файл " + path + " остановлена: нет места на диске");
  EXPECT_EQ(recorder.StopReason(), "нет места на диске");

  const Table table = Split(test::ReadFile(path), ';');  // every row whole, CR LF at the end
  EXPECT_EQ(table.rows.size(), 1u);
}

TEST(RecordingErrors, FileThatCannotBeWrittenIsRefusedAtStartWithItsReason) {
  CsvRecorder recorder;
  // The header does not fit.
  EXPECT_EQ(recorder.Start("/dev/full"), Result::Failed("нет места на диске"));
  EXPECT_FALSE(recorder.Recording());
  QTemporaryDir dir;
  EXPECT_EQ(recorder.Start(dir.filePath("missing/folder/file.csv")),
            Result::Failed("нет такой папки"));
  EXPECT_FALSE(recorder.Recording());
}

// An existing recording is never replaced unasked: the new one takes the first free numbered
// name beside it. Asked to replace, it is replaced; a device is written as it is.
TEST(RecordingErrors, AnExistingFileIsKeptUnlessReplacingWasAsked) {
  struct Case {
    const char* asked;
    std::vector<const char*> existing;
    ExistingFile mode;
    const char* taken;
  };
  const Case cases[] = {
      {"run.csv", {"run.csv"}, ExistingFile::kKeep, "run-2.csv"},
      {"run.csv", {"run.csv", "run-2.csv"}, ExistingFile::kKeep, "run-3.csv"},
      {"run.2026.csv", {"run.2026.csv"}, ExistingFile::kKeep, "run.2026-2.csv"},
      {"run", {"run"}, ExistingFile::kKeep, "run-2"},
      {"new.csv", {}, ExistingFile::kKeep, "new.csv"},
      {"run.csv", {"run.csv"}, ExistingFile::kReplace, "run.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    QTemporaryDir dir;
    for (const char* name : c.existing) ASSERT_TRUE(test::WriteFile(dir.filePath(name), "122 rows"));
    CsvRecorder recorder;
    ASSERT_EQ(recorder.Start(dir.filePath(c.asked), c.mode), Result());
    EXPECT_EQ(recorder.FileName(), dir.filePath(c.taken));
    recorder.Stop();
    for (const char* name : c.existing) {
      if (name != std::string(c.taken)) {
        EXPECT_EQ(test::ReadFile(dir.filePath(name)), "122 rows") << name;
      }
    }
    EXPECT_TRUE(test::ReadFile(dir.filePath(c.taken)).startsWith("\xEF\xBB\xBF"));
  }
  CsvRecorder recorder;
  ASSERT_EQ(recorder.Start("/dev/null", ExistingFile::kKeep), Result());
  EXPECT_EQ(recorder.FileName(), "/dev/null");
}

TEST(RecordingErrors, RecordsIntoARealFileRowByRow) {
  QTemporaryDir dir;
  const QString path = dir.filePath("record.csv");
  CsvRecorder recorder;
  ChannelTypes types{};
  ASSERT_EQ(recorder.Start(path), Result());
  recorder.Add(test::StatusSampleAt(0, {}, types));
  // Written through at once: another reader sees the row while the recording goes on.
  EXPECT_EQ(test::ReadFile(path).count("\r\n"), 2);
  recorder.Stop();
}

}  // namespace
}  // namespace torvex::record
