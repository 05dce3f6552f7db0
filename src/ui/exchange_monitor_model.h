#pragma once
// The exchange monitor's table: a view of the trace's ring of frames. The ring fills as the
// engine works; the model takes what is new only when Refresh is called (the window does so on
// a timer while it is shown), in one removal and one insertion per call, so a shown table
// costs a few row updates a second and a hidden one nothing. It shows the newest frames the
// trace keeps for showing; the ring holds a few more, and warns before it would overwrite a
// frame shown, so a row never shows a frame that has gone.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QAbstractTableModel>
#include <QFont>

#include "monitor/exchange_trace.h"

namespace torvex {

class ExchangeMonitorModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kTime, kDirection, kBytes, kMeaning, kOutcome, kDelay, kColumns };

  explicit ExchangeMonitorModel(ExchangeTrace& trace, QObject* parent = nullptr);
  ~ExchangeMonitorModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Takes in the frames recorded since the last call and lets go of those the ring has
  // dropped. Returns the number of rows removed from the top.
  int Refresh();
  // What runs when the ring is about to overwrite a frame shown (Refresh unless set): the
  // window refreshes itself then, keeping its place.
  void SetRefresher(std::function<void()> refresher) { refresher_ = std::move(refresher); }
  // Only the failed exchanges, the controller's refusals and notes on the line, each after the
  // request it answered.
  void SetOnlyErrors(bool only);
  bool OnlyErrors() const { return onlyErrors_; }
  // The frames shown, in order, as ring sequence numbers.
  std::uint64_t SequenceAt(int row) const;
  std::uint64_t FirstShown() const { return first_; }
  std::uint64_t EndShown() const { return end_; }
  // Whether the row of the frame `sequence` is shown.
  bool Shows(std::uint64_t sequence) const;
  const ExchangeTrace& Trace() const { return trace_; }
  // How many bytes of a frame the bytes column shows before "…" (the tool tip has them all):
  // laying out a 185-byte answer only to elide it at the column's edge is what a repaint of
  // the table would otherwise spend most of its time on.
  void SetBytesShown(int count);

 private:
  // A frame shown with "only errors", by itself (its request is shown with it).
  static bool Notable(const FrameRecord& record);
  // The oldest frame to show: the newest the trace keeps for showing, as far as the ring has
  // them.
  std::uint64_t OldestToShow() const;
  // With onlyErrors_: the rows of the notable frames from end_ up to `end`, each after its
  // request; and the same put behind the rows shown.
  std::vector<std::uint64_t> ErrorRows(std::uint64_t end);
  void TakeErrorRows(std::uint64_t end);
  void Watch();
  void Rebuild();

  ExchangeTrace& trace_;
  std::function<void()> refresher_;
  bool onlyErrors_ = false;
  // Frames of the ring taken in: first_ up to end_.
  std::uint64_t first_ = 0;
  std::uint64_t end_ = 0;
  // With onlyErrors_, the sequence numbers of the rows, and the last request seen among the
  // frames taken in.
  std::deque<std::uint64_t> errorRows_;
  std::optional<std::uint64_t> lastRequest_;
  QFont bytesFont_;
  std::size_t bytesShown_ = 24;
};

}  // namespace torvex
