// The recording opened by a real spreadsheet: LibreOffice Calc, headless, reads the file under
// the Russian and the English locale as a user's desktop does, and saves what it read; the
// time column must be date-times and the values numbers, not text.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "decode/default_locale.h"
#include "record/csv_recorder.h"
#include "samples.h"
#include "support/result_printer.h"

namespace torvex::record {
namespace {

struct Cell {
  QString type;   // office:value-type: "date", "float", "string" or empty
  QString value;  // office:date-value or office:value
};
using Sheet = std::vector<std::vector<Cell>>;

// The first table of a flat OpenDocument spreadsheet, repeated cells spelt out.
Sheet ReadSheet(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  Sheet sheet;
  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement() && xml.qualifiedName() == u"table:table") break;
    if (!xml.isStartElement()) continue;
    if (xml.qualifiedName() == u"table:table-row") sheet.emplace_back();
    if (xml.qualifiedName() != u"table:table-cell" || sheet.empty()) continue;
    const QXmlStreamAttributes a = xml.attributes();
    const Cell cell{a.value(QStringLiteral("office:value-type")).toString(),
                    a.hasAttribute(QStringLiteral("office:date-value")) ? a.value(QStringLiteral("office:date-value")).toString()
                                                        : a.value(QStringLiteral("office:value")).toString()};
    const int repeated = std::max(1, a.value(QStringLiteral("table:number-columns-repeated")).toInt());
    for (int i = 0; i < repeated && sheet.back().size() < 1000; ++i) sheet.back().push_back(cell);
  }
  return sheet;
}

// The locale built from the system's sources into a folder of the build, once: no root needed,
// and the test does not depend on the locales the machine happens to have generated.
QString LocaleFolder(const QString& name) {
  const QString folder = QStringLiteral(TORVEX_LOCALE_DIR);
  if (QFile::exists(folder + u'/' + name + QStringLiteral(".UTF-8/LC_CTYPE"))) return folder;
  QDir().mkpath(folder);
  QProcess localedef;
  localedef.start(QStringLiteral("localedef"),
                  {QStringLiteral("-i"), name, QStringLiteral("-f"), QStringLiteral("UTF-8"),
                   folder + u'/' + name + QStringLiteral(".UTF-8")});
  if (!localedef.waitForFinished(120000) || localedef.exitCode() != 0) {
    ADD_FAILURE() << "localedef " << name.toStdString() << " failed (package locales): "
                  << localedef.readAllStandardError().toStdString();
  }
  return folder;
}

struct LocaleCase {
  QLocale::Language language;
  const char* name;  // the system locale
  int separator;     // the CSV filter's field separator, as a character code
};

void PrintTo(const LocaleCase& c, std::ostream* out) { *out << c.name; }

class Spreadsheet : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(Spreadsheet, ReadsTheTimeAsADateTimeAndTheValuesAsNumbers) {
  const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (office.isEmpty()) {
    GTEST_SKIP() << "LibreOffice Calc is not installed (scripts/install-deps installs "
                    "libreoffice-calc-nogui)";
  }
  const LocaleCase c = GetParam();
  const QString localeName = QString::fromLatin1(c.name);
  const QString locales = LocaleFolder(localeName);
  QTemporaryDir dir;
  const QString csv = dir.filePath(QStringLiteral("run.csv"));
  const std::int64_t times[] = {test::LocalMs(17, 47, 55, 811), test::LocalMs(17, 47, 56, 7)};
  {
    test::DefaultLocale locale{c.language};
    ChannelTypes types{};
    test::SetType(types, 0, "2");
    test::StatusRegisters regs;
    regs.Sensor(0, 10050);  // 100,5 Ом
    CsvRecorder recorder;
    ASSERT_EQ(recorder.Start(csv), Result());
    for (std::int64_t t : times) recorder.Add(test::StatusSampleAt(t, regs, types));
  }

  QProcess calc;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("LANGUAGE"));
  for (const char* variable : {"LANG", "LC_ALL"}) {
    env.insert(QString::fromLatin1(variable), localeName + QStringLiteral(".UTF-8"));
  }
  env.insert(QStringLiteral("LOCPATH"), locales);
  env.insert(QStringLiteral("HOME"), dir.path());
  calc.setProcessEnvironment(env);
  calc.setProcessChannelMode(QProcess::MergedChannels);
  // The file opened as a user opens it: separator, quote, UTF-8 (76), from the first line.
  calc.start(office, {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                      QStringLiteral("-env:UserInstallation=file://") + dir.filePath("profile"),
                      QStringLiteral("--infilter=CSV:%1,34,76,1").arg(c.separator),
                      QStringLiteral("--convert-to"), QStringLiteral("fods"),
                      QStringLiteral("--outdir"), dir.path(), csv});
  ASSERT_TRUE(calc.waitForFinished(300000)) << "LibreOffice did not finish";
  const QString output = QString::fromLocal8Bit(calc.readAll());
  const Sheet sheet = ReadSheet(dir.filePath(QStringLiteral("run.fods")));
  ASSERT_EQ(sheet.size(), 3u) << output.toStdString();

  constexpr std::size_t kOhms = 3;  // "AIN1.0 датчик (Ом)"
  for (std::size_t row = 1; row < 3; ++row) {
    SCOPED_TRACE(row);
    ASSERT_GT(sheet[row].size(), kOhms);
    const Cell& time = sheet[row][0];
    EXPECT_EQ(time.type, "date") << "the time was read as " << time.type.toStdString();
    // Saved to the hundredth of a second.
    const QDateTime read = QDateTime::fromString(time.value, Qt::ISODateWithMs);
    EXPECT_NEAR(static_cast<double>(read.toMSecsSinceEpoch()), static_cast<double>(times[row - 1]), 10)
        << time.value.toStdString();
    EXPECT_EQ(sheet[row][kOhms].type, "float");
    EXPECT_EQ(sheet[row][kOhms].value, "100.5");
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, Spreadsheet,
                         ::testing::Values(LocaleCase{QLocale::Russian, "ru_RU", ';'},
                                           LocaleCase{QLocale::English, "en_US", ','}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace torvex::record
