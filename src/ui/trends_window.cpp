#include "ui/trends_window.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include "decode/numeric.h"

namespace torvex {
namespace {

using record::Measure;
using record::Quantity;

constexpr int kRefreshMs = 1000;
constexpr int kSlowestRefreshMs = 60 * 1000;
constexpr std::int64_t kMinuteMs = 60 * 1000;
constexpr int kMinPoints = 200;

// The lines' colours; when more lines are shown than there are colours, the colours come
// again with a dash pattern (in pen widths) of their own, so that no two lines shown look
// alike: 16 colours x 9 patterns are more than the quantities there are.
const QColor kPalette[] = {
    QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),  QColor(214, 39, 40),
    QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(127, 127, 127),
    QColor(188, 189, 34), QColor(23, 190, 207), QColor(0, 0, 128),     QColor(128, 0, 0),
    QColor(0, 128, 128),  QColor(128, 128, 0), QColor(255, 0, 255),    QColor(0, 0, 0)};
const QVector<qreal> kDashes[] = {
    {},           {6, 3},       {1, 3},        {6, 3, 1, 3}, {6, 3, 1, 3, 1, 3},
    {12, 4},      {12, 4, 1, 4}, {3, 2},       {12, 4, 6, 4}};

QPen PenOfStyle(std::size_t style) {
  QPen pen(kPalette[style % std::size(kPalette)], 1.5);
  const QVector<qreal>& dashes = kDashes[style / std::size(kPalette) % std::size(kDashes)];
  if (!dashes.isEmpty()) pen.setDashPattern(dashes);
  return pen;
}

// The list's groups, as the main window groups the values.
QString GroupOf(Quantity q) {
  switch (q.measure) {
    case Measure::kSensor:
    case Measure::kInput: return q.index < 16 ? QStringLiteral("AIN1") : QStringLiteral("AIN2");
    case Measure::kConverter: return QStringLiteral("Входы АЦП");
    case Measure::kTemperature: return QStringLiteral("Температура");
    case Measure::kEngineSpeed:
    case Measure::kShaftSpeed:
    case Measure::kDirection: return QStringLiteral("Обороты");
  }
  return {};
}

std::int64_t SpanMs(TrendsWindow::Span span) {
  switch (span) {
    case TrendsWindow::Span::kMinute: return kMinuteMs;
    case TrendsWindow::Span::kTenMinutes: return 10 * kMinuteMs;
    case TrendsWindow::Span::kHour: return 60 * kMinuteMs;
    case TrendsWindow::Span::kAll: break;
  }
  return 0;
}

double Seconds(std::int64_t ms) { return static_cast<double>(ms) / 1000.0; }

QString Reading(Quantity quantity, const record::Value& value) {
  // The direction reads as the main window says it.
  if (quantity.measure == Measure::kDirection) {
    return value.number > 0 ? QStringLiteral("Вперед") : QStringLiteral("Назад");
  }
  return FormatReading(value.number, value.decimals, 1, value.unit);
}

}  // namespace

TrendsWindow::TrendsWindow(const record::History& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), quantities_(record::AllQuantities()) {
  setObjectName(QStringLiteral("frm_trends"));
  setWindowTitle(QStringLiteral("Графики"));
  resize(1100, 640);

  tree_values_ = new QTreeWidget;
  tree_values_->setObjectName(QStringLiteral("tree_values"));
  tree_values_->setHeaderHidden(true);
  BuildList();

  cmb_span_ = new QComboBox;
  cmb_span_->setObjectName(QStringLiteral("cmb_span"));
  cmb_span_->addItems({QStringLiteral("1 мин"), QStringLiteral("10 мин"), QStringLiteral("1 ч"),
                       QStringLiteral("Всё")});
  cmb_span_->setCurrentIndex(static_cast<int>(span_));
  cmd_pause_ = new QPushButton(QStringLiteral("Пауза"));
  cmd_pause_->setObjectName(QStringLiteral("cmd_pause"));
  cmd_save_ = new QPushButton(QStringLiteral("Сохранить рисунок..."));
  cmd_save_->setObjectName(QStringLiteral("cmd_save"));

  plot_ = new QCustomPlot;
  plot_->setObjectName(QStringLiteral("plot"));
  auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
  ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
  plot_->xAxis->setTicker(ticker);
  // The legend under the plot, in columns, so that it never hides a line.
  plot_->legend->setVisible(true);
  plot_->legend->setFont(font());
  plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
  plot_->legend->setWrap(4);
  plot_->legend->setRowSpacing(0);
  plot_->legend->setBorderPen(Qt::NoPen);
  plot_->plotLayout()->addElement(1, 0, plot_->legend);
  plot_->plotLayout()->setRowStretchFactor(1, 0.001);
  cursorLine_ = new QCPItemStraightLine(plot_);
  cursorLine_->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
  cursorLine_->point1->setTypeY(QCPItemPosition::ptAxisRectRatio);
  cursorLine_->point2->setTypeY(QCPItemPosition::ptAxisRectRatio);
  cursorLine_->setVisible(false);

  lbl_cursor_ = new QLabel(QStringLiteral("Щелкните по графику, чтобы прочитать значения"));
  lbl_cursor_->setObjectName(QStringLiteral("lbl_cursor"));
  lbl_cursor_->setWordWrap(true);
  lbl_cursor_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Интервал:")));
  controls->addWidget(cmb_span_);
  controls->addWidget(cmd_pause_);
  controls->addStretch();
  controls->addWidget(cmd_save_);
  auto* right = new QWidget;
  auto* column = new QVBoxLayout(right);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(controls);
  column->addWidget(plot_, 1);
  column->addWidget(lbl_cursor_);
  auto* splitter = new QSplitter;
  splitter->addWidget(tree_values_);
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({230, 870});
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(splitter);

  connect(tree_values_, &QTreeWidget::itemChanged, this, [this] { RefreshNow(); });
  connect(cmb_span_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetSpan(static_cast<Span>(index)); });
  connect(cmd_pause_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
  connect(cmd_save_, &QPushButton::clicked, this, &TrendsWindow::SavePictureAsked);
  // The cursor goes where the plot is clicked and follows the mouse while the button is held.
  const auto moveCursor = [this](QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const double seconds = plot_->xAxis->pixelToCoord(event->position().x());
    PlaceCursor(static_cast<std::int64_t>(std::llround(seconds * 1000)));
  };
  connect(plot_, &QCustomPlot::mousePress, this, moveCursor);
  connect(plot_, &QCustomPlot::mouseMove, this, moveCursor);
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &TrendsWindow::RefreshNow);
}

void TrendsWindow::BuildList() {
  std::map<QString, QTreeWidgetItem*> groups;
  for (const Quantity& q : quantities_) {
    QTreeWidgetItem*& group = groups[GroupOf(q)];
    if (!group) {
      group = new QTreeWidgetItem(tree_values_, {GroupOf(q)});
      group->setFlags(Qt::ItemIsEnabled);
    }
    auto* item = new QTreeWidgetItem(group, {record::QuantityName(q)});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    items_.push_back(item);
  }
  // The channels open; the 64 converter inputs folded until wanted.
  for (auto& [name, group] : groups) group->setExpanded(name != QStringLiteral("Входы АЦП"));
}

void TrendsWindow::SetChecked(Quantity quantity, bool checked) {
  for (std::size_t i = 0; i < quantities_.size(); ++i) {
    if (quantities_[i] == quantity) {
      items_[i]->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
  }
}

bool TrendsWindow::IsChecked(Quantity quantity) const {
  for (std::size_t i = 0; i < quantities_.size(); ++i) {
    if (quantities_[i] == quantity) return items_[i]->checkState(0) == Qt::Checked;
  }
  return false;
}

std::vector<Quantity> TrendsWindow::Checked() const {
  std::vector<Quantity> checked;
  for (std::size_t i = 0; i < quantities_.size(); ++i) {
    if (items_[i]->checkState(0) == Qt::Checked) checked.push_back(quantities_[i]);
  }
  return checked;
}

void TrendsWindow::ShowAin1Sensors() {
  for (int c = 0; c < 16; ++c) SetChecked({Measure::kSensor, c}, true);
}

void TrendsWindow::SetSpan(Span span) {
  span_ = span;
  if (cmb_span_->currentIndex() != static_cast<int>(span)) {
    cmb_span_->setCurrentIndex(static_cast<int>(span));
  }
  RefreshNow();
}

void TrendsWindow::SetPaused(bool paused) {
  paused_ = paused;
  cmd_pause_->setText(paused ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
  if (paused) timer_.stop();
  else if (isVisible()) timer_.start();
  if (!paused) RefreshNow();
}

void TrendsWindow::RefreshNow() {
  // A paused plot stays at its moment; a value checked meanwhile is drawn up to it.
  Refresh(paused_ && shownUntil_ > 0 ? shownUntil_ : QDateTime::currentMSecsSinceEpoch());
}

QCPAxis* TrendsWindow::AxisFor(const QString& unit) {
  if (auto it = axes_.find(unit); it != axes_.end()) return it->second;
  bool mainAxisTaken = false;
  for (const auto& [u, axis] : axes_) mainAxisTaken |= axis == plot_->yAxis;
  QCPAxis* axis =
      mainAxisTaken ? plot_->axisRect()->addAxis(QCPAxis::atLeft) : plot_->yAxis;
  axis->setLabel(unit);
  axis->setVisible(true);
  axes_[unit] = axis;
  return axis;
}

QCPGraph* TrendsWindow::GraphFor(std::size_t quantity, const QString& unit) {
  const auto key = std::make_pair(quantity, unit);
  if (auto it = graphs_.find(key); it != graphs_.end()) return it->second;
  QCPGraph* graph = plot_->addGraph(plot_->xAxis, AxisFor(unit));
  graph->setName(record::QuantityName(quantities_[quantity]) + QStringLiteral(", ") + unit);
  graph->setPen(PenOfStyle(styles_.at(quantity)));
  graph->setAdaptiveSampling(true);
  graphs_[key] = graph;
  return graph;
}

void TrendsWindow::Refresh(std::int64_t now) {
  shownUntil_ = now;
  const std::int64_t spanMs = SpanMs(span_);
  const std::int64_t from =
      spanMs > 0 ? now - spanMs : (history_.Empty() ? now - kMinuteMs : history_.FirstTime());
  const int width = std::max(1, plot_->axisRect()->width());
  const int maxPoints = std::max(kMinPoints, 2 * width);
  // A plot changes no faster than its time per pixel: a day's span is redrawn once a minute,
  // not every second.
  timer_.setInterval(static_cast<int>(
      std::clamp<std::int64_t>((now - from) / width, kRefreshMs, kSlowestRefreshMs)));

  std::vector<std::size_t> shown;
  std::vector<Quantity> wanted;
  for (std::size_t i = 0; i < quantities_.size(); ++i) {
    if (items_[i]->checkState(0) != Qt::Checked) continue;
    shown.push_back(i);
    wanted.push_back(quantities_[i]);
  }
  // A value keeps its look while it is checked; one checked anew takes the first look that no
  // other checked value has.
  std::erase_if(styles_, [&shown](const auto& entry) {
    return std::find(shown.begin(), shown.end(), entry.first) == shown.end();
  });
  for (std::size_t i : shown) {
    if (styles_.contains(i)) continue;
    std::size_t style = 0;
    while (std::any_of(styles_.begin(), styles_.end(),
                       [style](const auto& entry) { return entry.second == style; })) {
      ++style;
    }
    styles_[i] = style;
  }
  const auto series = history_.Series(wanted, from, now, maxPoints);
  std::map<std::pair<std::size_t, QString>, QVector<QCPGraphData>> graphPoints;
  for (std::size_t k = 0; k < shown.size(); ++k) {
    for (const record::SeriesRun& run : series[k]) {
      QVector<QCPGraphData>& points = graphPoints[{shown[k], run.unit}];
      for (std::size_t p = 0; p < run.times.size(); ++p) {
        points.append({Seconds(run.times[p]), run.values[p]});
      }
      // A gap in the values is a gap in the line.
      points.append({Seconds(run.times.back()) + 0.0005, std::numeric_limits<double>::quiet_NaN()});
    }
  }

  // What is no longer shown goes, its graph first, then an axis without graphs.
  for (auto it = graphs_.begin(); it != graphs_.end();) {
    if (graphPoints.contains(it->first)) {
      ++it;
      continue;
    }
    plot_->removeGraph(it->second);
    it = graphs_.erase(it);
  }
  for (auto it = axes_.begin(); it != axes_.end();) {
    if (!it->second->graphs().isEmpty()) {
      ++it;
      continue;
    }
    if (it->second == plot_->yAxis) {
      plot_->yAxis->setLabel(QString());
    } else {
      plot_->axisRect()->removeAxis(it->second);
    }
    it = axes_.erase(it);
  }
  for (auto& [key, points] : graphPoints) GraphFor(key.first, key.second)->data()->set(points, true);
  MarkUnplotted(graphPoints);

  plot_->xAxis->setRange(Seconds(from), Seconds(now));
  static_cast<QCPAxisTickerDateTime*>(plot_->xAxis->ticker().data())
      ->setDateTimeFormat(now - from > 12 * 60 * kMinuteMs ? QStringLiteral("dd.MM hh:mm")
                                                           : QStringLiteral("hh:mm:ss"));
  for (auto& [unit, axis] : axes_) {
    axis->rescale();
    const QCPRange range = axis->range();
    // A flat line sits in the middle of its axis, not on its edge.
    if (range.size() < 1e-9) axis->setRange(range.lower - 1, range.upper + 1);
    else axis->scaleRange(1.1, range.center());
  }
  if (cursorTime_ >= 0) lbl_cursor_->setText(CursorText(cursorTime_));
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TrendsWindow::MarkUnplotted(
    const std::map<std::pair<std::size_t, QString>, QVector<QCPGraphData>>& plotted) {
  // A tick alone would claim a line that is not there: a checked value with nothing to plot in
  // the span is greyed, and says why.
  const QSignalBlocker quiet(tree_values_);  // a look is no change of what is checked
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const bool missing = items_[i]->checkState(0) == Qt::Checked &&
                         plotted.lower_bound({i, QString()}) == plotted.lower_bound({i + 1, QString()});
    items_[i]->setForeground(0, missing ? QBrush(Qt::gray) : QBrush());
    items_[i]->setToolTip(0, missing ? QStringLiteral("Нет данных за показанный интервал") : QString());
  }
}

QString TrendsWindow::CursorText(std::int64_t time) const {
  QStringList parts{QDateTime::fromMSecsSinceEpoch(time).toString(QStringLiteral("HH:mm:ss.zzz"))};
  for (const Quantity& q : Checked()) {
    const auto value = history_.ValueAt(q, time);
    parts << record::QuantityName(q) + QStringLiteral(": ") +
                 (value ? Reading(q, *value) : QStringLiteral("нет данных"));
  }
  return parts.join(QStringLiteral("; "));
}

QString TrendsWindow::PlaceCursor(std::int64_t time) {
  cursorTime_ = time;
  cursorLine_->point1->setCoords(Seconds(time), 0);
  cursorLine_->point2->setCoords(Seconds(time), 1);
  cursorLine_->setVisible(true);
  const QString text = CursorText(time);
  lbl_cursor_->setText(text);
  plot_->replot(QCustomPlot::rpQueuedReplot);
  return text;
}

bool TrendsWindow::SavePicture(const QString& path) { return plot_->savePng(path); }

void TrendsWindow::SavePictureAsked() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Сохранить рисунок"),
      QStringLiteral("графики-%1.png")
          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"))),
      QStringLiteral("PNG (*.png)"));
  if (!path.isEmpty()) SavePicture(path);
}

void TrendsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RefreshNow();
  if (!paused_) timer_.start();
}

void TrendsWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

}  // namespace torvex
