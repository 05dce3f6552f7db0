#pragma once
// The exchange monitor's table: a view of the recorder's ring of frames. The ring fills as the
// engine works; the model takes what is new only when Refresh is called (the window does so on
// a timer while it is shown), in one removal and one insertion per call, so a shown table
// costs a few row updates a second and a hidden one nothing.
#include <cstdint>
#include <deque>

#include <QAbstractTableModel>
#include <QFont>

#include "monitor/exchange_recorder.h"

namespace torvex {

class ExchangeMonitorModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kTime, kDirection, kBytes, kMeaning, kOutcome, kDelay, kColumns };

  explicit ExchangeMonitorModel(ExchangeRecorder& recorder, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Takes in the frames recorded since the last call and lets go of those the ring has
  // dropped. Returns the number of rows removed from the top.
  int Refresh();
  // Only the frames whose exchange failed (no answer, bad CRC, mismatch, dropped, exception).
  void SetOnlyErrors(bool only);
  bool OnlyErrors() const { return onlyErrors_; }
  // The frames shown, in order, as ring sequence numbers.
  std::uint64_t SequenceAt(int row) const;
  std::uint64_t FirstShown() const { return first_; }
  std::uint64_t EndShown() const { return end_; }
  const ExchangeRecorder& Recorder() const { return recorder_; }
  // How many bytes of a frame the bytes column shows before "…" (the tool tip has them all):
  // laying out a 185-byte answer only to elide it at the column's edge is what a repaint of
  // the table would otherwise spend most of its time on.
  void SetBytesShown(int count);

 private:
  static bool Shown(const FrameRecord& record, bool onlyErrors);
  void Rebuild();

  ExchangeRecorder& recorder_;
  bool onlyErrors_ = false;
  // Frames of the ring taken in: first_ up to end_.
  std::uint64_t first_ = 0;
  std::uint64_t end_ = 0;
  // With onlyErrors_, the sequence numbers of the rows.
  std::deque<std::uint64_t> errorRows_;
  QFont bytesFont_;
  std::size_t bytesShown_ = 24;
};

}  // namespace torvex
