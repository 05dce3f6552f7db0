// The report's CSV twin as a spreadsheet takes it: each number alone in its cell, in the form
// of the user's locale, its unit in a column beside it; and a checkout that never reached the
// controller concludes nothing about the unit or its outputs.
#include "checkout/report.h"

#include <gtest/gtest.h>

#include "decode/default_locale.h"

namespace torvex::checkout {
namespace {

// The CSV's lines, each split into its fields; quoted fields as a spreadsheet reads them.
std::vector<QStringList> Lines(const QString& csv, QChar separator) {
  std::vector<QStringList> lines;
  QStringList fields{QString()};
  bool quoted = false;
  for (qsizetype i = 0; i < csv.size(); ++i) {
    const QChar c = csv[i];
    if (quoted) {
      if (c == u'"' && i + 1 < csv.size() && csv[i + 1] == u'"') {
        fields.back() += c;
        ++i;
      } else if (c == u'"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == u'"') {
      quoted = true;
    } else if (c == separator) {
      fields << QString();
    } else if (c == u'\r' && i + 1 < csv.size() && csv[i + 1] == u'\n') {
      lines.push_back(fields);
      fields = QStringList{QString()};
      ++i;
    } else {
      fields.back() += c;
    }
  }
  return lines;
}

QStringList Row(const std::vector<QStringList>& lines, const QString& first) {
  for (const QStringList& line : lines) {
    if (line.value(0) == first) return line;
  }
  return {};
}

Report ThreeSteps() {
  Report r;
  r.planTitle = QStringLiteral("Стенд №2; цех 5");
  r.started = QDateTime(QDate(2026, 12, 11), QTime(10, 15));
  r.operatorName = QStringLiteral("Иванов И.И.");
  r.unitSerial = QStringLiteral("ТВ-0421");
  r.conclusion = Conclusion::kUnfit;
  r.outputs = OutputsAfter::kRestored;
  r.steps = {
      {1, QStringLiteral("Выход 1 вкл → вход 1 вкл"), QStringLiteral("вход 1 вкл, прочие как были"),
       QStringLiteral("вкл: 1"), QStringLiteral("норма"), QString(), {}},
      {2, QStringLiteral("I1 → AIN2.10 вход, 12 мА"), QStringLiteral("12 мА ± 0,1"), QStringLiteral("12,598 мА"),
       QStringLiteral("отказ"), QStringLiteral("вне допуска"),
       {12, 11.9, 12.1, record::Value{12.598, 3, QStringLiteral("мА")}, QStringLiteral("мА")}},
      {3, QStringLiteral("Датчик температуры платы"), QStringLiteral("10 … 40 °C"), QStringLiteral("нет значения"),
       QStringLiteral("отказ"), QStringLiteral("датчик температуры отсутствует"),
       {std::nullopt, 10, 40, std::nullopt, QStringLiteral("°C")}},
  };
  return r;
}

struct LocaleCase {
  QLocale::Language language;
  char16_t separator;
  const char* measured;
  const char* low;
  const char* high;
};

void PrintTo(const LocaleCase& c, std::ostream* out) { *out << QLocale::languageToCode(c.language).toStdString(); }

class ReportCsvIn : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(ReportCsvIn, PutsEachNumberInACellOfItsOwnInTheLocalesForm) {
  const LocaleCase c = GetParam();
  const test::DefaultLocale locale(c.language);
  const QString csv = ReportCsv(ThreeSteps());
  ASSERT_TRUE(csv.startsWith(QChar(0xFEFF))) << "a spreadsheet takes it for UTF-8 by its mark";
  const auto lines = Lines(csv.mid(1), QChar(c.separator));
  EXPECT_EQ(lines[0], (QStringList{"Протокол проверки контроллера TORVEX-CPU", "Стенд №2; цех 5"}));
  EXPECT_EQ(Row(lines, "Заводской номер"), (QStringList{"Заводской номер", "ТВ-0421"}));
  EXPECT_EQ(Row(lines, "Выходы после проверки"), (QStringList{"Выходы после проверки", "восстановлены как были"}));
  EXPECT_EQ(Row(lines, "№"), (QStringList{"№", "Шаг", "Ожидается", "Не менее", "Не более", "Измерено", "Единица",
                                          "Результат", "Примечание"}));
  EXPECT_EQ(Row(lines, "1"), (QStringList{"1", "Выход 1 вкл → вход 1 вкл", "вход 1 вкл, прочие как были", "", "",
                                          "вкл: 1", "", "норма", ""}));
  EXPECT_EQ(Row(lines, "2"), (QStringList{"2", "I1 → AIN2.10 вход, 12 мА", "12", c.low, c.high,
                                          c.measured, "мА", "отказ", "вне допуска"}));
  EXPECT_EQ(Row(lines, "3"), (QStringList{"3", "Датчик температуры платы", "", "10", "40", "нет значения", "°C",
                                          "отказ", "датчик температуры отсутствует"}));
}

INSTANTIATE_TEST_SUITE_P(Locales, ReportCsvIn,
                         ::testing::Values(LocaleCase{QLocale::Russian, u';', "12,598", "11,9", "12,1"},
                                           LocaleCase{QLocale::English, u',', "12.598", "11.9", "12.1"}));

TEST(ReportCsv, ACheckoutThatNeverReachedTheControllerConcludesNothing) {
  const test::DefaultLocale locale(QLocale::Russian);
  const Report report = NotRunReport(QStringLiteral("План"), {QString(), QDateTime::currentDateTime(),
                                                              QStringLiteral("Иванов И.И."), QString(),
                                                              QStringLiteral("COM1"), QStringLiteral("9600,n,8,2")},
                                     7, QStringLiteral("нет связи с контроллером"));
  const auto lines = Lines(ReportCsv(report).mid(1), u';');
  EXPECT_EQ(Row(lines, "Проверка"), (QStringList{"Проверка", "не проведена: нет связи с контроллером"}));
  EXPECT_EQ(Row(lines, "Заключение"), (QStringList{"Заключение", "НЕ ПРОВЕРЕН"}));
  EXPECT_EQ(Row(lines, "Выходы после проверки"), (QStringList{"Выходы после проверки", ""}));
  EXPECT_EQ(Row(lines, "Заводской номер"), (QStringList{"Заводской номер", ""}));
}

}  // namespace
}  // namespace torvex::checkout
