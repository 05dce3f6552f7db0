#pragma once
// The window "Монитор обмена": every frame on the line with its time, direction, bytes, meaning
// and outcome, the exchange's counters, and pause, clear, only-errors and save. Modeless and
// passive: it only reads what the trace keeps, so opening, hiding or closing it changes
// nothing in the exchange. While shown it takes in new frames twice a second and follows
// the newest unless the user has scrolled up; while hidden it does nothing. With "only
// errors" it shows each failed exchange after its request.
#include <QTimer>
#include <QWidget>

#include "monitor/exchange_counters.h"
#include "platform/result.h"
#include "ui/exchange_monitor_model.h"

class QLabel;
class QPushButton;
class QTableView;

namespace torvex {

class FrameRowDelegate;

class ExchangeMonitor : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRefreshMs = 500;

  // A window of its own, closed with its owner.
  ExchangeMonitor(ExchangeTrace& trace, QWidget* owner);

  ExchangeMonitorModel& Model() { return model_; }
  QTableView* Table() const { return table_; }
  // Takes in what the trace has gathered since the last refresh.
  void Refresh();
  // Writes the rows shown into a file, in the exchange log's format.
  Result SaveTo(const QString& path) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void UpdateCounters();
  void ScrollToNewest();
  void Save();

  ExchangeTrace& trace_;
  ExchangeMonitorModel model_;
  QTableView* table_ = nullptr;
  FrameRowDelegate* delegate_ = nullptr;
  QLabel* counters_ = nullptr;
  QPushButton* pause_ = nullptr;
  QTimer timer_;
  ExchangeCounters shownCounters_{};
  bool countersShown_ = false;
  // The table keeps the newest row in view until the user scrolls up, and again once they
  // scroll back to the end.
  bool following_ = true;
  // The scroll bar moves because the table does it, not the user.
  bool adjusting_ = false;
};

}  // namespace torvex
