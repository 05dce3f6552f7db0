// The operator's manual as printed: read back from the PDF with pdftotext, every line of code
// whole, the title page naming the version, the contents giving true pages, no heading left at
// a page's foot, and tables that carry their header onto each page they continue on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString kManualDir = QStringLiteral(TORVEX_SOURCE_DIR "/docs/manual");
const QString kManualPdf = QStringLiteral(TORVEX_MANUAL_PDF);
// What starts the rest of a code line that the page's width broke.
const QChar kContinuation(0x21AA);

QString ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The PDF's pages as pdftotext lays them out, each line where it stands on the page.
QStringList Pages(const QString& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {"-layout", "-enc", "UTF-8", pdf, "-"});
  process.waitForFinished(60000);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(u'\f');
  if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
  return pages;
}

QString WithoutBlanks(QString text) {
  return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

// A page's text on one line, its number at the foot left out.
QString PageBody(const QString& page) {
  return page.simplified().remove(QRegularExpression(QStringLiteral(" ?\\d+$")));
}

QStringList Chapters() {
  static const QRegularExpression kChapter(QStringLiteral("^\\d+\\. \\[[^\\]]+\\]\\(([^)#]+\\.md)\\)"),
                                           QRegularExpression::MultilineOption);
  QStringList chapters;
  for (const auto& match : kChapter.globalMatch(ReadText(kManualDir + "/README.md"))) {
    chapters << match.captured(1);
  }
  return chapters;
}

// The manual's sources in the order of the PDF.
QStringList Sources() {
  QStringList sources{kManualDir + "/README.md"};
  for (const QString& chapter : Chapters()) sources << kManualDir + '/' + chapter;
  return sources;
}

// The manual's headings as the PDF prints them: Markdown's marks and escapes gone.
QStringList Headings(const QString& markdown) {
  static const QRegularExpression kHeading(QStringLiteral("^#{1,6}\\s+(.*?)\\s*$"), QRegularExpression::MultilineOption);
  static const QRegularExpression kLink(QStringLiteral("\\[([^\\]]*)\\]\\([^)]*\\)"));
  QStringList headings;
  bool fenced = false;
  for (const QString& line : markdown.split(u'\n')) {
    if (line.trimmed().startsWith(QStringLiteral("```"))) fenced = !fenced;
    const auto match = kHeading.match(line);
    if (fenced || !match.hasMatch()) continue;
    headings << match.captured(1).replace(kLink, QStringLiteral("\\1")).remove(u'`').remove(u'\\').simplified();
  }
  return headings;
}

// The headings that end a page (its number aside).
QStringList StrandedHeadings(const QStringList& pages, const QStringList& headings) {
  QStringList stranded;
  for (qsizetype n = 0; n < pages.size(); ++n) {
    const QString body = PageBody(pages[n]);
    for (const QString& heading : headings) {
      if (body == heading || body.endsWith(u' ' + heading)) stranded << QStringLiteral("page %1: %2").arg(n + 1).arg(heading);
    }
  }
  return stranded;
}

TEST(ManualPdf, EveryLineOfCodeIsWholeOnThePage) {
  // The code lines of the sources, each counted as often as it is written.
  QHash<QString, int> written;
  for (const QString& source : Sources()) {
    bool fenced = false;
    for (const QString& line : ReadText(source).split(u'\n')) {
      if (line.trimmed().startsWith(QStringLiteral("```"))) {
        fenced = !fenced;
      } else if (fenced && !line.trimmed().isEmpty()) {
        ++written[WithoutBlanks(line)];
      }
    }
  }
  ASSERT_GT(written.size(), 50);

  // The printed lines, each broken one joined again; blanks do not count (tabs are printed as
  // spaces, and pdftotext spaces a line as it sees fit).
  QHash<QString, int> printed;
  QString previous;
  for (const QString& page : Pages(kManualPdf)) {
    for (const QString& line : page.split(u'\n')) {
      const QString text = WithoutBlanks(line);
      if (text.startsWith(kContinuation) && !previous.isEmpty()) {
        --printed[previous];
        previous += text.mid(1);
      } else {
        previous = text;
      }
      ++printed[previous];
    }
  }
  QStringList missing;
  for (auto it = written.cbegin(); it != written.cend(); ++it) {
    if (printed.value(it.key()) < it.value()) missing << it.key();
  }
  EXPECT_TRUE(missing.isEmpty()) << "not whole in the PDF:\n" << missing.join(u'\n').toStdString();
}

TEST(ManualPdf, TheTitlePageNamesTheProgramsVersionAndTheEdition) {
  const QStringList pages = Pages(kManualPdf);
  ASSERT_FALSE(pages.isEmpty());
  const QString title = pages.front().simplified();
  EXPECT_TRUE(title.contains(QStringLiteral("Руководство оператора"))) << title.toStdString();
  EXPECT_TRUE(title.contains(QStringLiteral("Программа torvex-tp, версия " TORVEX_VERSION))) << title.toStdString();
  EXPECT_TRUE(title.contains(QRegularExpression(QStringLiteral("Редакция руководства от \\d\\d\\.\\d\\d\\.\\d{4}"))))
      << title.toStdString();
}

TEST(ManualPdf, TheContentsGiveThePageEachChapterStartsOn) {
  const QStringList pages = Pages(kManualPdf);
  const QStringList chapters = Chapters();
  ASSERT_GE(chapters.size(), 10);
  static const QRegularExpression kItem(QStringLiteral("^\\s*(\\d+\\. \\S.*?)[ .]+ (\\d+)\\s*$"));
  QStringList found;
  for (qsizetype n = 0; n < pages.size() && found.size() < chapters.size(); ++n) {
    for (const QString& line : pages[n].split(u'\n')) {
      const auto item = kItem.match(line);
      if (!item.hasMatch()) continue;
      const int page = item.captured(2).toInt();
      ASSERT_GE(page, 1);
      ASSERT_LE(page, pages.size()) << line.toStdString();
      // The chapter's heading, on one line or more.
      EXPECT_TRUE(pages[page - 1].simplified().startsWith(item.captured(1)))
          << "page " << page << " for " << line.toStdString();
      found << item.captured(1);
    }
  }
  EXPECT_EQ(found.size(), chapters.size()) << found.join(u'\n').toStdString();
}

TEST(ManualPdf, NoPageEndsWithAHeading) {
  QStringList headings;
  for (const QString& source : Sources()) headings << Headings(ReadText(source));
  ASSERT_GT(headings.size(), 100);
  const QStringList stranded = StrandedHeadings(Pages(kManualPdf), headings);
  EXPECT_TRUE(stranded.isEmpty()) << stranded.join(u'\n').toStdString();
}

// A small manual whose table runs over pages, and whose sections fall at every height of a page.
class ManualFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    Write("README.md", "# Пробное руководство\n\n## Содержание\n\n1. [Таблица](01-table.md)\n"
                       "2. [Разделы](02-sections.md)\n");
    QString table = QStringLiteral("# 1. Таблица\n\n| Столбец А | Столбец Б |\n|---|---|\n");
    for (int row = 1; row <= 90; ++row) {
      table += QStringLiteral("| ряд %1 | начало %1, %2 конец %1 |\n")
                   .arg(row)
                   .arg(QStringLiteral("слова, которые переносятся в ячейке, ").repeated(row % 4 + 1));
    }
    Write("01-table.md", table);
    QString sections = QStringLiteral("# 2. Разделы\n\n");
    for (int n = 1; n <= 60; ++n) {
      sections += QStringLiteral("## 2.%1. Раздел %1\n\n").arg(n);
      for (int k = 0; k <= n % 5; ++k) sections += QStringLiteral("Абзац раздела %1, строка %2.\n\n").arg(n).arg(k);
    }
    Write("02-sections.md", sections);
    QProcess build;
    build.start(QStringLiteral(TORVEX_MANUAL_PDF_BUILDER), {Pdf(), dir_.path(), "9.8.7", "2031-01-02"});
    ASSERT_TRUE(build.waitForFinished(60000));
    ASSERT_EQ(build.exitCode(), 0) << build.readAllStandardError().toStdString();
    pages_ = Pages(Pdf());
    ASSERT_GT(pages_.size(), 4);
  }
  void Write(const QString& name, const QString& text) {
    QFile file(dir_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
  }
  QString Pdf() const { return dir_.filePath(QStringLiteral("manual.pdf")); }

  QTemporaryDir dir_;
  QStringList pages_;
};

TEST_F(ManualFixture, ATableCarriesItsHeaderOntoEachPageAndNeverSplitsARow) {
  int tablePages = 0;
  for (int row = 1; row <= 90; ++row) {
    const QString start = QStringLiteral("начало %1,").arg(row);
    const QString end = QStringLiteral("конец %1 ").arg(row);
    int found = 0;
    for (qsizetype n = 0; n < pages_.size(); ++n) {
      const QString body = pages_[n].simplified() + u' ';
      if (!body.contains(start)) continue;
      ++found;
      EXPECT_TRUE(body.contains(end)) << "row " << row << " runs over from page " << n + 1;
      EXPECT_TRUE(pages_[n].contains(QRegularExpression(QStringLiteral("Столбец А\\s+Столбец Б"))))
          << "page " << n + 1 << " has no header";
    }
    EXPECT_EQ(found, 1) << "row " << row;
  }
  for (const QString& page : pages_) tablePages += page.contains(QStringLiteral("Столбец А")) ? 1 : 0;
  EXPECT_GE(tablePages, 3);
}

TEST_F(ManualFixture, AHeadingStartsThePageWhatFollowsItIsOn) {
  QStringList headings;
  for (int n = 1; n <= 60; ++n) headings << QStringLiteral("2.%1. Раздел %1").arg(n);
  EXPECT_TRUE(StrandedHeadings(pages_, headings).isEmpty()) << StrandedHeadings(pages_, headings).join(u'\n').toStdString();
}

}  // namespace
