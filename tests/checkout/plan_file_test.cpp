// A plan as an engineer writes it in an editor, and plan files that are no plan text at all.
#include "checkout/plan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/files.h"

namespace torvex::checkout {
namespace {

// "#" inside a title or a step's name is text, elsewhere it starts a comment; CR LF and a lone
// CR end a line as LF does.
TEST(CheckoutPlanText, AHashInATitleOrNameIsTextAndAnyLineEndEndsALine) {
  for (const QString& end : {QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r")}) {
    QString text = QStringLiteral(
        "# Стенд цеха 5\n[plan]\ntitle = Стенд #2, цех 5\n# title = не это\n"
        "[reading]\nname = Датчик #3 платы\nvalue = Температура\nmin = 10   # °C\nmax = 40\n");
    text.replace(u'\n', end);
    const PlanParse parsed = ParsePlan(text);
    ASSERT_TRUE(parsed.plan) << parsed.line << ": " << parsed.error.toStdString();
    EXPECT_EQ(parsed.plan->title, "Стенд #2, цех 5");
    ASSERT_EQ(parsed.plan->steps.size(), 1u);
    EXPECT_EQ(parsed.plan->steps[0].name, "Датчик #3 платы");
    EXPECT_EQ(std::get<ReadingStep>(parsed.plan->steps[0].what).min, 10);
  }
}

// A file that is no UTF-8 text, or nothing to read, is refused at once with why.
TEST(CheckoutPlanText, AFileThatIsNoPlanTextIsRefusedWithWhy) {
  QTemporaryDir dir;
  const QString utf16 = dir.filePath("utf16.plan");
  const QString text = QStringLiteral("[plan]\ntitle = Стенд\n");
  ASSERT_TRUE(test::WriteFile(utf16, QByteArray("\xFF\xFE") +
                                         QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                                    text.size() * 2)));
  const QString fifo = dir.filePath("fifo.plan");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const struct {
    QString path;
    QString error;
  } cases[] = {
      {utf16, "план «" + utf16 + "»: это не текст в кодировке UTF-8 (похоже, UTF-16): сохраните файл в UTF-8"},
      {fifo, "план «" + fifo + "» не открывается: это канал (FIFO), а не файл"},
      {dir.filePath("none.plan"), "план «" + dir.filePath("none.plan") + "» не открывается: нет такого файла или папки"},
  };
  for (const auto& c : cases) {
    const PlanFile read = ReadPlanFile(c.path);
    EXPECT_FALSE(read.plan);
    EXPECT_EQ(read.error, c.error);
  }
}

}  // namespace
}  // namespace torvex::checkout
