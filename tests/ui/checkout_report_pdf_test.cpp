// The checkout's report as a document to sign, read back page by page with pdftotext: every
// page numbered "лист N из M", the steps' header on every page that holds steps, no row cut
// between two pages; and a report that cannot be written whole leaves the one before it as it
// was.
#include "ui/checkout_report_pdf.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "support/file_size_limit.h"
#include "support/files.h"

namespace torvex {
namespace {

QString PageText(const QString& pdf, int page) {
  QProcess pdftotext;
  const QString number = QString::number(page);
  pdftotext.start(QStringLiteral("pdftotext"), {"-f", number, "-l", number, "-layout", pdf, "-"});
  pdftotext.waitForFinished(30000);
  return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

int Pages(const QString& pdf) {
  QProcess pdfinfo;
  pdfinfo.start(QStringLiteral("pdfinfo"), {pdf});
  pdfinfo.waitForFinished(30000);
  const auto pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(pdfinfo.readAllStandardOutput());
  return pages.hasMatch() ? pages.captured(1).toInt() : 0;
}

// Many steps, every seventh with a note long enough to take several lines: a row that a page's
// foot would cut. Each row begins and ends with a word of its own.
checkout::Report LongReport() {
  checkout::Report r;
  r.planTitle = QStringLiteral("Стенд с длинными примечаниями");
  r.started = QDateTime(QDate(2026, 12, 11), QTime(10, 15));
  r.operatorName = QStringLiteral("Иванов И.И.");
  r.unitSerial = QStringLiteral("ТВ-0421");
  r.params = paramfile::ParamImage{};
  r.paramsChecksum = checkout::ParamsChecksum(*r.params);
  for (int i = 1; i <= 150; ++i) {
    const QString n = QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
    const QString note = i % 7 == 0 ? QStringLiteral("слово ").repeated(40) : QString();
    r.steps.push_back({i, QStringLiteral("начало%1 шаг проверки").arg(n), QStringLiteral("вход вкл"),
                       QStringLiteral("все откл"), QStringLiteral("отказ"), note + QStringLiteral("конец%1").arg(n), {}});
  }
  r.failed = 150;
  r.conclusion = checkout::Conclusion::kUnfit;
  r.outputs = checkout::OutputsAfter::kRestored;
  return r;
}

TEST(ReportPdf, IsADocumentToSignPageByPage) {
  const QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("отчёт.pdf"));
  ASSERT_EQ(WriteReport(LongReport(), pdf), std::nullopt);
  const int pages = Pages(pdf);
  ASSERT_GE(pages, 5);
  std::map<int, std::set<int>> startsOn;  // step: the pages its first word is on
  std::map<int, std::set<int>> endsOn;
  const QRegularExpression start(QStringLiteral("начало(\\d{3})"));
  const QRegularExpression end(QStringLiteral("конец(\\d{3})"));
  for (int page = 1; page <= pages; ++page) {
    const QString text = PageText(pdf, page);
    EXPECT_TRUE(text.contains(QStringLiteral("лист %1 из %2").arg(page).arg(pages))) << "page " << page;
    EXPECT_TRUE(text.contains(QStringLiteral("Протокол проверки контроллера TORVEX-CPU, зав. № ТВ-0421")))
        << "page " << page;
    for (auto it = start.globalMatch(text); it.hasNext();) startsOn[it.next().captured(1).toInt()].insert(page);
    for (auto it = end.globalMatch(text); it.hasNext();) endsOn[it.next().captured(1).toInt()].insert(page);
    if (text.contains(QStringLiteral("начало"))) {
      EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("№\\s+Шаг\\s+Ожидается\\s+Измерено\\s+Результат"))))
          << "page " << page << " holds steps without the table's header:\n" << text.toStdString();
    }
  }
  ASSERT_EQ(startsOn.size(), 150u);
  for (const auto& [step, on] : startsOn) {
    EXPECT_EQ(on.size(), 1u) << "step " << step;
    EXPECT_EQ(endsOn[step], on) << "step " << step << " is cut between two pages";
  }
  EXPECT_TRUE(PageText(pdf, pages).contains(QStringLiteral("Приложение. Параметры контроллера")) ||
              PageText(pdf, pages - 1).contains(QStringLiteral("Приложение. Параметры контроллера")));
}

class ReportFiles : public ::testing::Test {
 protected:
  const QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("отчёт.pdf"));
};

TEST_F(ReportFiles, ReportOnAFullDiskIsNotWrittenAndTheOldOneStays) {
  ASSERT_TRUE(test::WriteFile(pdf, "the report before"));
  ASSERT_TRUE(test::WriteFile(CsvPathOf(pdf), "its table"));
  std::optional<QString> error;
  {
    const test::FileSizeLimit limit(4096);
    error = WriteReport(LongReport(), pdf);
  }
  ASSERT_TRUE(error.has_value()) << "a failure reported as success";
  EXPECT_TRUE(error->startsWith(QStringLiteral("Отчёт «%1» не записан: ").arg(pdf))) << error->toStdString();
  EXPECT_FALSE(error->endsWith(QStringLiteral(": "))) << "with its reason";
  EXPECT_EQ(test::ReadFile(pdf), "the report before");
  EXPECT_EQ(test::ReadFile(CsvPathOf(pdf)), "its table");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "nothing half-written left behind";
}

TEST_F(ReportFiles, ATableThatCannotBeWrittenIsNamed) {
  ASSERT_TRUE(QDir().mkpath(CsvPathOf(pdf)));  // a folder where the table would go
  const std::optional<QString> error = WriteReport(LongReport(), pdf);
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->startsWith(QStringLiteral("Таблица отчёта «%1» не записана: ").arg(CsvPathOf(pdf))))
      << error->toStdString();
  EXPECT_TRUE(QFileInfo(CsvPathOf(pdf)).isDir());
}

}  // namespace
}  // namespace torvex
