#pragma once
// Draws the exchange monitor's cells. Every refresh of a following table repaints all its
// rows, and laying out each cell's text anew is what that would cost most; this delegate
// keeps the laid-out text of the cells shown (QStaticText), so a row is laid out once while
// it scrolls through the view. Cells are plain single-line texts on their row's colours.
#include <cstdint>
#include <unordered_map>

#include <QStaticText>
#include <QStyledItemDelegate>

namespace torvex {

class ExchangeMonitorModel;

class FrameRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  FrameRowDelegate(const ExchangeMonitorModel& model, QObject* parent);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // Forgets every laid-out text (the texts of the rows have changed).
  void Forget() { cache_.clear(); }

 private:
  struct Cell {
    QStaticText text;
    int width = -1;
  };
  static constexpr std::size_t kMaxCells = 1024;  // some five screens of rows

  const ExchangeMonitorModel& model_;
  mutable std::unordered_map<std::uint64_t, Cell> cache_;
};

}  // namespace torvex
