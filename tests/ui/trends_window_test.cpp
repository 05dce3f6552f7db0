// The trends window's model on the offscreen platform: what it plots from the history, its
// axes per unit, spans, pause, cursor and picture.
#include "ui/trends_window.h"

#include <gtest/gtest.h>

#include <set>

#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QLabel>
#include <QTreeWidget>
#include <qcustomplot.h>

#include "decode/default_locale.h"
#include "record/sample_from_answer.h"
#include "support/fake_view.h"
#include "decode/answer_frames.h"
#include "ui/main_window.h"

namespace torvex {
namespace {

using record::Measure;
using record::Quantity;

constexpr Quantity kSensor0{Measure::kSensor, 0};
constexpr Quantity kTemperature{Measure::kTemperature};
constexpr std::int64_t kStart = 1'800'000'000'000;  // ms since the epoch

class TrendsWindowTest : public ::testing::Test {
 protected:
  // A status answer every 400 ms with channel 0's sensor value and type and a temperature.
  void AddStatus(std::int64_t time, int sensor, const QString& type, int halfDegrees) {
    ChannelTypes types{};
    types[0] = SensorTypeFromText(type);
    std::vector<int> words(90, 0);
    words[10] = sensor & 0xFFFF;
    words[44] = halfDegrees;
    history.Add(*record::SampleFromAnswer(test::ReadAnswer(words, 180).Answer(), types, time));
  }
  QStringList GraphNames() {
    QStringList names;
    for (int i = 0; i < window.Plot().graphCount(); ++i) names << window.Plot().graph(i)->name();
    names.sort();
    return names;
  }
  QStringList AxisLabels() {
    QStringList labels;
    for (QCPAxis* axis : window.Plot().axisRect()->axes(QCPAxis::atLeft)) {
      if (!axis->graphs().isEmpty()) labels << axis->label();
    }
    labels.sort();
    return labels;
  }

  test::DefaultLocale locale{QLocale::Russian};
  record::History history;
  TrendsWindow window{history};
};

TEST_F(TrendsWindowTest, ListsTheValuesGroupedAsTheMainWindow) {
  auto* tree = window.findChild<QTreeWidget*>("tree_values");
  ASSERT_TRUE(tree);
  QStringList groups;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) groups << tree->topLevelItem(i)->text(0);
  EXPECT_EQ(groups, (QStringList{"AIN1", "AIN2", "Входы АЦП", "Температура", "Обороты"}));
  EXPECT_EQ(tree->topLevelItem(0)->childCount(), 32);
  EXPECT_EQ(tree->topLevelItem(0)->child(1)->text(0), "AIN1.0 вход");
  EXPECT_EQ(tree->topLevelItem(2)->childCount(), 64);
  EXPECT_EQ(tree->topLevelItem(4)->child(1)->text(0), "Гребной вал");
  EXPECT_EQ(window.windowTitle(), "Графики");
  EXPECT_TRUE(window.Checked().empty());
}

TEST_F(TrendsWindowTest, PlotsTheCheckedValuesOnAnAxisPerUnit) {
  for (int i = 0; i < 100; ++i) AddStatus(kStart + 400 * i, 10050, "2", 47);
  window.SetChecked(kSensor0, true);
  window.SetChecked(kTemperature, true);
  const std::int64_t now = kStart + 400 * 99;
  window.Refresh(now);

  EXPECT_EQ(GraphNames(), (QStringList{"AIN1.0 датчик, Ом", "Температура, °C"}));
  EXPECT_EQ(AxisLabels(), (QStringList{"°C", "Ом"}));
  QCPGraph* graph = window.Plot().graph(0);
  // The last minute: 150 answers fit, the first 40 s of them are older.
  EXPECT_DOUBLE_EQ(window.Plot().xAxis->range().upper, now / 1000.0);
  EXPECT_DOUBLE_EQ(window.Plot().xAxis->range().lower, (now - 60000) / 1000.0);
  EXPECT_TRUE(graph->valueAxis()->range().contains(graph->name().startsWith("AIN") ? 100.5 : 23.5));

  window.SetChecked(kTemperature, false);
  window.Refresh(now);
  EXPECT_EQ(GraphNames(), (QStringList{"AIN1.0 датчик, Ом"}));
  EXPECT_EQ(AxisLabels(), (QStringList{"Ом"}));
}

TEST_F(TrendsWindowTest, ATypeChangeMovesTheLineToTheNewUnitsAxis) {
  for (int i = 0; i < 10; ++i) AddStatus(kStart + 400 * i, 10050, "2", 0);
  for (int i = 10; i < 20; ++i) AddStatus(kStart + 400 * i, 5000, "5", 0);
  window.SetChecked(kSensor0, true);
  window.Refresh(kStart + 400 * 19);
  EXPECT_EQ(GraphNames(), (QStringList{"AIN1.0 датчик, %", "AIN1.0 датчик, Ом"}));
  EXPECT_EQ(AxisLabels(), (QStringList{"%", "Ом"}));
  for (int i = 0; i < window.Plot().graphCount(); ++i) {
    QCPGraph* graph = window.Plot().graph(i);
    const bool percent = graph->name().endsWith("%");
    bool found = false;
    const QCPRange values = graph->getValueRange(found);
    ASSERT_TRUE(found);
    EXPECT_DOUBLE_EQ(values.lower, percent ? 50 : 100.5);
    EXPECT_DOUBLE_EQ(values.upper, percent ? 50 : 100.5);
  }
}

TEST_F(TrendsWindowTest, SpansPauseAndCursor) {
  for (int i = 0; i < 20000; ++i) AddStatus(kStart + 400 * i, 1000 + i % 100, "5", 40);
  const std::int64_t now = kStart + 400 * 19999;
  window.SetChecked(kSensor0, true);
  window.SetSpan(TrendsWindow::Span::kHour);
  window.Refresh(now);
  EXPECT_DOUBLE_EQ(window.Plot().xAxis->range().size(), 3600.0);
  window.SetSpan(TrendsWindow::Span::kAll);
  window.Refresh(now);
  EXPECT_DOUBLE_EQ(window.Plot().xAxis->range().lower, kStart / 1000.0);
  // Two hours of answers are thinned to what the plot's width can show.
  EXPECT_LT(window.Plot().graph(0)->dataCount(), 5000);

  window.SetPaused(true);
  EXPECT_EQ(window.findChild<QPushButton*>("cmd_pause")->text(), "Продолжить");
  AddStatus(now + 400, 1234, "5", 40);
  window.SetChecked(kTemperature, true);  // drawn up to the paused moment
  EXPECT_DOUBLE_EQ(window.Plot().xAxis->range().upper, now / 1000.0);
  window.SetPaused(false);
  EXPECT_EQ(window.findChild<QPushButton*>("cmd_pause")->text(), "Пауза");

  const QString text = window.PlaceCursor(kStart + 400 * 5 + 100);
  EXPECT_TRUE(text.endsWith("AIN1.0 датчик: 10,05 %; Температура: 20 °C")) << text.toStdString();
  EXPECT_TRUE(window.PlaceCursor(kStart - 1).endsWith("AIN1.0 датчик: нет данных; Температура: нет данных"));
}

TEST_F(TrendsWindowTest, SavesThePlotAsAPicture) {
  for (int i = 0; i < 50; ++i) AddStatus(kStart + 400 * i, 100 * i, "5", 0);
  window.SetChecked(kSensor0, true);
  window.resize(900, 500);
  window.Refresh(kStart + 400 * 49);
  QTemporaryDir dir;
  const QString path = dir.filePath("plot.png");
  ASSERT_TRUE(window.SavePicture(path));
  const QImage picture(path);
  EXPECT_FALSE(picture.isNull());
  EXPECT_GT(picture.width(), 100);
}

TEST_F(TrendsWindowTest, ClickingThePlotPutsTheCursorThere) {
  for (int i = 0; i < 100; ++i) AddStatus(kStart + 400 * i, 100 * i, "5", 0);
  window.SetChecked(kSensor0, true);
  window.resize(900, 500);
  window.Refresh(kStart + 400 * 99);
  window.Plot().replot();  // lays the axes out
  const auto at = [this](std::int64_t ms) {
    return QPoint(static_cast<int>(window.Plot().xAxis->coordToPixel(ms / 1000.0)), 100);
  };
  QTest::mouseClick(&window.Plot(), Qt::LeftButton, {}, at(kStart + 400 * 10 + 100));
  auto* readout = window.findChild<QLabel*>("lbl_cursor");
  EXPECT_TRUE(readout->text().endsWith("AIN1.0 датчик: 10 %")) << readout->text().toStdString();
}

// No two values shown look alike: as many colours as there are, then the colours again with
// dash patterns; a value keeps its look when others are checked.
TEST_F(TrendsWindowTest, EveryShownValueLooksItsOwn) {
  // Values for every quantity: every channel a Pt100 (values in both units), and the converter.
  ChannelTypes types{};
  types.fill(SensorType::kPt100);
  std::vector<int> status(90, 0);
  status[49] = 0x0001;  // forward
  std::vector<int> converter(64, 0);
  for (int i = 0; i < 10; ++i) {
    history.Add(*record::SampleFromAnswer(test::ReadAnswer(status, 180).Answer(), types, kStart + 400 * i));
    history.Add(*record::SampleFromAnswer(test::ReadAnswer(converter, 128).Answer(), types, kStart + 400 * i + 200));
  }
  const std::int64_t now = kStart + 4000;
  const auto pens = [this] {
    std::map<QString, QPen> byName;
    for (int i = 0; i < window.Plot().graphCount(); ++i) {
      byName[window.Plot().graph(i)->name()] = window.Plot().graph(i)->pen();
    }
    return byName;
  };
  // One after the other, as the operator checks them: each its own colour, and the first one
  // keeps its colour.
  const Quantity order[] = {kTemperature, kSensor0, {Measure::kShaftSpeed}, {Measure::kEngineSpeed}};
  QColor first;
  for (const Quantity& q : order) {
    window.SetChecked(q, true);
    window.Refresh(now);
    std::set<QRgb> colours;
    for (const auto& [name, pen] : pens()) colours.insert(pen.color().rgb());
    EXPECT_EQ(colours.size(), pens().size());
    if (!first.isValid()) first = pens().begin()->second.color();
    EXPECT_EQ(pens().at("Температура, °C").color(), first);
  }
  // Everything: colours first, dash patterns where they run out; no two alike.
  for (const Quantity& q : record::AllQuantities()) window.SetChecked(q, true);
  window.Refresh(now);
  const auto all = pens();
  EXPECT_EQ(all.size(), record::AllQuantities().size());
  std::set<std::pair<QRgb, QList<qreal>>> looks;
  std::set<QRgb> solidColours;
  for (const auto& [name, pen] : all) {
    looks.insert({pen.color().rgb(), pen.style() == Qt::SolidLine ? QList<qreal>{} : pen.dashPattern()});
    if (pen.style() == Qt::SolidLine) solidColours.insert(pen.color().rgb());
  }
  EXPECT_EQ(looks.size(), all.size());
  EXPECT_EQ(solidColours.size(), 16u);
}

// The shaft's direction is a line of its own: 1 forward, -1 astern, a gap where unknown.
TEST_F(TrendsWindowTest, TheShaftsDirectionIsASeries) {
  const int words[] = {0x0001, 0x0001, 0x0002, 0x0002, 0x0202, 0x0000, 0x0001};
  std::vector<int> status(90, 0);
  for (int i = 0; i < 7; ++i) {
    status[49] = words[i];
    history.Add(*record::SampleFromAnswer(test::ReadAnswer(status, 180).Answer(), ChannelTypes{}, kStart + 400 * i));
  }
  const Quantity direction{Measure::kDirection};
  auto* tree = window.findChild<QTreeWidget*>("tree_values");
  const QTreeWidgetItem* speeds = tree->topLevelItem(4);
  EXPECT_EQ(speeds->child(speeds->childCount() - 1)->text(0), "Направление вала");
  window.SetChecked(direction, true);
  window.Refresh(kStart + 400 * 6);
  EXPECT_EQ(GraphNames(), (QStringList{"Направление вала, вперед 1 / назад -1"}));
  std::vector<double> values;
  for (const QCPGraphData& point : *window.Plot().graph(0)->data()) values.push_back(point.value);
  ASSERT_EQ(values.size(), 7u);  // two runs, each closed by a gap
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[3], -1);
  EXPECT_TRUE(std::isnan(values[4]));
  EXPECT_EQ(values[5], 1);
  EXPECT_TRUE(window.PlaceCursor(kStart + 400 * 2).endsWith("Направление вала: Назад"));
}

// A tick claims a line: a checked value with nothing to plot says so in the list.
TEST_F(TrendsWindowTest, ACheckedValueWithoutALineIsGreyed) {
  for (int i = 0; i < 10; ++i) AddStatus(kStart + 400 * i, 10050, "2", 47);
  const Quantity ain2{Measure::kSensor, 16};  // type unknown: no values
  window.SetChecked(kSensor0, true);
  window.SetChecked(ain2, true);
  window.Refresh(kStart + 4000);
  auto* tree = window.findChild<QTreeWidget*>("tree_values");
  const QTreeWidgetItem* plotted = tree->topLevelItem(0)->child(0);
  const QTreeWidgetItem* empty = tree->topLevelItem(1)->child(0);
  ASSERT_EQ(empty->text(0), "AIN2.0 датчик");
  EXPECT_EQ(plotted->checkState(0), Qt::Checked);
  EXPECT_EQ(empty->checkState(0), Qt::Checked);
  EXPECT_EQ(plotted->foreground(0).color(), QBrush().color());
  EXPECT_TRUE(plotted->toolTip(0).isEmpty());
  EXPECT_EQ(empty->foreground(0).color(), QColor(Qt::gray));
  EXPECT_EQ(empty->toolTip(0), "Нет данных за показанный интервал");
  // Only the checked ones tell it; the list's state is untouched.
  EXPECT_TRUE(tree->topLevelItem(1)->child(1)->toolTip(0).isEmpty());
  EXPECT_EQ(window.Checked().size(), 2u);
  window.SetChecked(ain2, false);
  EXPECT_TRUE(empty->toolTip(0).isEmpty());
}

}  // namespace
}  // namespace torvex
