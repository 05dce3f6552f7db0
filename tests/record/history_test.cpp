// The trends' history: bounded, split at gaps and unit changes, thinned for long spans.
#include <gtest/gtest.h>

#include <algorithm>

#include "record/history.h"
#include "samples.h"

namespace torvex::record {
namespace {


constexpr Quantity kSensor0{Measure::kSensor, 0};

class HistoryTest : public ::testing::Test {
 protected:
  // A status sample with channel 0's sensor value and type.
  void Add(std::int64_t time, int raw, const QString& type = "5") {
    test::SetType(types, 0, type);
    test::StatusRegisters regs;
    regs.Sensor(0, raw);
    history.Add(test::StatusSampleAt(time, regs, types));
  }

  ChannelTypes types{};
  History history{1000};
};

TEST_F(HistoryTest, KeepsTheNewestUpToItsCapacity) {
  for (int i = 0; i < 1500; ++i) Add(i * 400, i);
  EXPECT_EQ(history.Size(), 1000u);
  EXPECT_EQ(history.FirstTime(), 500 * 400);
  EXPECT_EQ(history.LastTime(), 1499 * 400);
  const auto runs = history.Series(kSensor0, 0, 1499 * 400, 0);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].times.front(), 500 * 400);
  EXPECT_DOUBLE_EQ(runs[0].values.front(), 5.0);  // raw 500 at 0.01 %
}

// Polling fast: the recent minutes keep every sample, older ones the usual poll's density, and
// a series runs seamlessly from the older part into the recent one.
TEST_F(HistoryTest, KeepsEveryRecentSampleAndThinsOlderOnes) {
  constexpr std::int64_t kStepMs = 40;  // 25 status answers a second
  constexpr std::int64_t kEnd = 30 * 60 * 1000;
  constexpr std::size_t kCapacity = 20'000;  // 10 minutes at this pace, and some
  History fast{kCapacity};
  test::SetType(types, 0, "5");
  test::StatusRegisters regs;
  for (std::int64_t t = 0; t <= kEnd; t += kStepMs) {
    regs.Sensor(0, static_cast<int>(t / kStepMs % 1000));
    fast.Add(test::StatusSampleAt(t, regs, types));
  }

  const auto lastMinute = fast.Series(kSensor0, kEnd - 60'000, kEnd, 0);
  ASSERT_EQ(lastMinute.size(), 1u);
  EXPECT_EQ(lastMinute[0].times.size(), 60'000u / kStepMs + 1);

  const auto all = fast.Series(kSensor0, 0, kEnd, 0);
  ASSERT_EQ(all.size(), 1u);  // no gap where the thinned part meets the recent one
  const auto& times = all[0].times;
  EXPECT_LE(fast.Size(), kCapacity);
  EXPECT_EQ(times.back(), kEnd);
  const auto recentFrom = std::find(times.begin(), times.end(), kEnd - kRecentMs);
  ASSERT_NE(recentFrom, times.end());
  for (auto it = times.begin(); it + 1 < recentFrom; ++it) EXPECT_GE(*(it + 1) - *it, kThinMs);
  // The value just before the recent stretch comes from the thinned part.
  EXPECT_TRUE(fast.ValueAt(kSensor0, kEnd - kRecentMs - 1).has_value());
}

// The usual poll's samples, a late tick now and then, pass the thinning whole.
TEST_F(HistoryTest, TheUsualPollIsNotThinned) {
  History day;
  test::StatusRegisters regs;
  std::int64_t t = 0;
  for (int i = 0; i < 3000; ++i) {
    t += i % 7 == 3 ? 370 : 400;
    day.Add(test::StatusSampleAt(t, regs, types));
  }
  EXPECT_EQ(day.Size(), 3000u);
}

TEST_F(HistoryTest, RunsEndAtGapsUnitChangesAndUnknownTypes) {
  Add(0, 100);
  Add(400, 200);
  Add(400 + kGapMs + 100, 300);  // the line was lost in between
  Add(5000, 400, "2");          // now Pt100: ohms
  Add(5400, 500, "0");          // "?": no value
  Add(5800, 600, "2");
  const auto runs = history.Series(kSensor0, 0, 10000, 0);
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0].unit, "%");
  EXPECT_EQ(runs[0].times, (std::vector<std::int64_t>{0, 400}));
  EXPECT_EQ(runs[0].values, (std::vector<double>{1, 2}));
  EXPECT_EQ(runs[1].unit, "%");
  EXPECT_EQ(runs[1].values, (std::vector<double>{3}));
  EXPECT_EQ(runs[2].unit, "Ом");
  EXPECT_EQ(runs[2].values, (std::vector<double>{4}));
  EXPECT_EQ(runs[3].values, (std::vector<double>{6}));

  EXPECT_DOUBLE_EQ(history.ValueAt(kSensor0, 450)->number, 2);
  EXPECT_FALSE(history.ValueAt(kSensor0, 400 + kGapMs + 50));  // too old to stand for it
  EXPECT_FALSE(history.ValueAt(kSensor0, 5500));                  // "?"
  EXPECT_EQ(history.ValueAt(kSensor0, 5000)->unit, "Ом");
  EXPECT_FALSE(history.ValueAt(kSensor0, -1));
  EXPECT_FALSE(history.ValueAt({Measure::kConverter, 0}, 400));  // no converter answers
}

TEST_F(HistoryTest, LongSpansKeepEachStretchsPeaks) {
  for (int i = 0; i < 1000; ++i) Add(i * 400, i == 501 ? 9999 : (i == 777 ? -9999 : 0));
  const auto runs = history.Series(kSensor0, 0, 999 * 400, 100);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_LE(runs[0].values.size(), 100u);
  EXPECT_GE(runs[0].values.size(), 50u);
  EXPECT_DOUBLE_EQ(*std::max_element(runs[0].values.begin(), runs[0].values.end()), 99.99);
  EXPECT_DOUBLE_EQ(*std::min_element(runs[0].values.begin(), runs[0].values.end()), -99.99);
  EXPECT_TRUE(std::is_sorted(runs[0].times.begin(), runs[0].times.end()));
  // Several quantities at once read as each alone.
  const auto both = history.Series({kSensor0, {Measure::kTemperature}}, 0, 999 * 400, 100);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0][0].values, runs[0].values);
  EXPECT_EQ(both[1][0].unit, "°C");
  // A span within the history: only its samples.
  const auto part = history.Series(kSensor0, 400, 1200, 100);
  ASSERT_EQ(part.size(), 1u);
  EXPECT_EQ(part[0].times, (std::vector<std::int64_t>{400, 800, 1200}));
}

}  // namespace
}  // namespace torvex::record
