#include "checkout/plan.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace torvex::checkout {
namespace {

template <class T>
int CountOf(const Plan& plan) {
  return static_cast<int>(std::count_if(plan.steps.begin(), plan.steps.end(),
                                        [](const Step& s) { return std::holds_alternative<T>(s.what); }));
}

TEST(CheckoutPlan, TheStandardBenchPlanDrivesEveryOutput) {
  const PlanParse parsed = ParsePlan(DefaultPlanText());
  ASSERT_TRUE(parsed.plan) << parsed.line << ": " << parsed.error.toStdString();
  const Plan& plan = *parsed.plan;
  EXPECT_EQ(plan.title, "Стандартный стенд с обратными связями");
  EXPECT_EQ(CountOf<AllOffStep>(plan), 1);
  EXPECT_EQ(CountOf<DiscreteStep>(plan), 64);
  EXPECT_EQ(CountOf<AnalogStep>(plan), 24);
  EXPECT_EQ(CountOf<ReadingStep>(plan), 1);
  // Output 1 on then off, each into input 1, in that order, after the baseline.
  const auto& on = std::get<DiscreteStep>(plan.steps[1].what);
  const auto& off = std::get<DiscreteStep>(plan.steps[2].what);
  EXPECT_EQ(on.output, 0);
  EXPECT_EQ(on.input, 0);
  EXPECT_TRUE(on.on);
  EXPECT_FALSE(off.on);
  EXPECT_EQ(plan.steps[1].name, "Выход 1 вкл → вход 1 вкл");
  const auto& voltage = std::get<AnalogStep>(plan.steps[78].what);
  EXPECT_EQ(OutputName(voltage.output), "U1");
  EXPECT_EQ(voltage.set, 5);
  EXPECT_EQ(voltage.expected, 25);
  EXPECT_EQ(voltage.value, (record::Quantity{record::Measure::kInput, 22}));
  EXPECT_EQ(voltage.type, SensorType::kThermocouple);
}

TEST(CheckoutPlan, ReadsCommasAnyOrderAndWiringThatCrosses) {
  const PlanParse parsed = ParsePlan(
      u"[discrete]\npairs = 5 > 7; 1-2 > 4-3   # crossed\n"
      u"[reading]\nvalue = ain1.0   ДАТЧИК\nmin = -0,5\nmax = 1,5\ntype = 2\n"
      u"[versions]\nprotocol = 1.05\n");
  ASSERT_TRUE(parsed.plan) << parsed.line << ": " << parsed.error.toStdString();
  const auto& steps = parsed.plan->steps;
  ASSERT_EQ(steps.size(), 1u + 6 + 1 + 1);
  EXPECT_EQ(std::get<DiscreteStep>(steps[1].what).input, 6);
  EXPECT_EQ(std::get<DiscreteStep>(steps[3].what).input, 3);
  EXPECT_EQ(std::get<DiscreteStep>(steps[5].what).input, 2);
  const auto& reading = std::get<ReadingStep>(steps[7].what);
  EXPECT_EQ(reading.min, -0.5);
  EXPECT_EQ(reading.type, SensorType::kPt100);
  EXPECT_EQ(std::get<VersionsStep>(steps[8].what).protocol, "1.05");
}

TEST(CheckoutPlan, RefusesADamagedPlanWholeWithTheLine) {
  struct Case {
    const char16_t* text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {u"", 0, "нет ни одного шага"},
      {u"pairs = 1 > 1\n", 1, "ключ вне раздела"},
      {u"[discrete\n", 1, "раздел без «]»"},
      {u"[relay]\n", 1, "раздела [relay] не бывает"},
      {u"[discrete]\npairs 1 > 1\n", 2, "ожидается «ключ = значение»"},
      {u"[discrete]\npairs = 1 > 1\npairs = 2 > 2\n", 3, "уже задан в строке 2"},
      {u"[discrete]\npairs = 1 > 1\ncolour = red\n", 3, "нет ключа «colour»"},
      {u"[discrete]\nsettle-ms = 10\n", 1, "не задан ключ «pairs»"},
      {u"[discrete]\npairs = 0 > 1\n", 2, "не номер 1-32"},
      {u"[discrete]\npairs = 1-4 > 1-3\n", 2, "выходов 4, а входов 3"},
      {u"[discrete]\npairs = 1 > 1\nsettle-ms = -1\n", 3, "settle-ms"},
      {u"[analog]\noutput = I5\nvalue = AIN2.10 вход\npoints = 4 > 4\ntolerance = 1\n", 2, "не аналоговый выход"},
      {u"[analog]\noutput = I1\nvalue = AIN3.1 вход\npoints = 4 > 4\ntolerance = 1\n", 3, "нет величины"},
      {u"[analog]\noutput = I1\nvalue = AIN2.10 вход\npoints = 3 > 4\ntolerance = 1\n", 4, "I1 = 3 мА: вне 4-20 мА"},
      {u"[analog]\noutput = U1\nvalue = AIN2.6 вход\npoints = 11 > 4\ntolerance = 1\n", 4, "вне 0-10 В"},
      {u"[analog]\noutput = I1\nvalue = AIN2.10 вход\npoints = 4 4\ntolerance = 1\n", 4, "«задано > ожидается»"},
      {u"[analog]\noutput = I1\nvalue = AIN2.10 вход\npoints = 4 > x\ntolerance = 1\n", 4, "«x» не число"},
      {u"[analog]\noutput = I1\nvalue = AIN2.10 вход\npoints = 4 > 4\ntolerance = nan\n", 5, "не число"},
      {u"[analog]\noutput = I1\nvalue = AIN2.10 вход\npoints = 4 > 4\n", 1, "не задан ключ «tolerance»"},
      {u"[reading]\nvalue = Температура\nmin = 40\nmax = 10\n", 4, "max меньше min"},
      {u"[reading]\nvalue = Температура\nmin = 1\nmax = 2\ntype = 6\n", 5, "код типа датчика 1-5"},
      {u"[versions]\n", 1, "ни software, ни protocol"},
      {u"[plan]\ntitle = a\n[plan]\n", 3, "раздел [plan] уже был"},
  };
  for (const Case& c : cases) {
    const PlanParse parsed = ParsePlan(QStringView(c.text));
    EXPECT_FALSE(parsed.plan) << c.says;
    EXPECT_EQ(parsed.line, c.line) << c.says << ": " << parsed.error.toStdString();
    EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.says))) << c.says << "\ngot: " << parsed.error.toStdString();
  }
}

}  // namespace
}  // namespace torvex::checkout
