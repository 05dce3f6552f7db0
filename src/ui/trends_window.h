#pragma once
// The trends window "Графики": any measured values over time from the shared history, a live
// plot with its time span, value axes per unit, pause, a cursor that reads the values at a
// moment, and a picture of the plot. Modeless; hiding it stops nothing but its own redraws.
#include <cstdint>
#include <map>
#include <vector>

#include <QString>
#include <QVector>
#include <QTimer>
#include <QWidget>

#include "record/history.h"

class QCPAxis;
class QCPGraph;
class QCPGraphData;
class QCPItemStraightLine;
class QComboBox;
class QCustomPlot;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace torvex {

class TrendsWindow : public QWidget {
  Q_OBJECT
 public:
  // The time spans of cmb_span, in its order.
  enum class Span { kMinute, kTenMinutes, kHour, kAll };

  explicit TrendsWindow(const record::History& history, QWidget* parent = nullptr);

  // The window's state, as the operator sets it with its controls.
  void SetChecked(record::Quantity quantity, bool checked);
  bool IsChecked(record::Quantity quantity) const;
  std::vector<record::Quantity> Checked() const;
  // Checks the sensor values of the 16 AIN1 channels (the tool's --trends).
  void ShowAin1Sensors();
  void SetSpan(Span span);
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }

  // Redraws from the history up to `now` (ms since the epoch); the window's timer calls it
  // every second while the window is shown and not paused. Pausing keeps the moment shown.
  void Refresh(std::int64_t now);
  // Puts the cursor at a moment and returns what it reads there.
  QString PlaceCursor(std::int64_t time);
  bool SavePicture(const QString& path);

  QCustomPlot& Plot() { return *plot_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildList();
  void RefreshNow();
  QCPAxis* AxisFor(const QString& unit);
  QCPGraph* GraphFor(std::size_t quantity, const QString& unit);
  void MarkUnplotted(
      const std::map<std::pair<std::size_t, QString>, QVector<QCPGraphData>>& plotted);
  QString CursorText(std::int64_t time) const;
  void SavePictureAsked();

  const record::History& history_;
  const std::vector<record::Quantity> quantities_;
  QTreeWidget* tree_values_ = nullptr;
  QComboBox* cmb_span_ = nullptr;
  QPushButton* cmd_pause_ = nullptr;
  QPushButton* cmd_save_ = nullptr;
  QCustomPlot* plot_ = nullptr;
  QLabel* lbl_cursor_ = nullptr;
  QCPItemStraightLine* cursorLine_ = nullptr;
  std::vector<QTreeWidgetItem*> items_;  // one per quantity, in quantities_' order
  std::map<QString, QCPAxis*> axes_;     // value axis per unit
  std::map<std::pair<std::size_t, QString>, QCPGraph*> graphs_;
  std::map<std::size_t, std::size_t> styles_;  // the look (colour, dashes) of each checked value
  Span span_ = Span::kMinute;
  bool paused_ = false;
  std::int64_t cursorTime_ = -1;
  std::int64_t shownUntil_ = 0;  // the right edge of the plot
  QTimer timer_;
};

}  // namespace torvex
