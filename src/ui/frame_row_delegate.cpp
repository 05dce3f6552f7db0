#include "ui/frame_row_delegate.h"

#include <QPainter>

#include "ui/exchange_monitor_model.h"

namespace torvex {

FrameRowDelegate::FrameRowDelegate(const ExchangeMonitorModel& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {}

void FrameRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const QVariant back = index.data(Qt::BackgroundRole);
  if (selected) {
    painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
  } else if (back.isValid()) {
    painter->fillRect(option.rect, back.value<QBrush>());
  }

  constexpr int kPadding = 3;
  const QRect area = option.rect.adjusted(kPadding, 0, -kPadding, 0);
  const QVariant fontData = index.data(Qt::FontRole);
  const QFont font = fontData.isValid() ? fontData.value<QFont>() : option.font;

  // One laid-out text per cell: the row's frame number and the column are the key.
  const std::uint64_t key =
      model_.SequenceAt(index.row()) * ExchangeMonitorModel::kColumns + static_cast<std::uint64_t>(index.column());
  Cell& cell = cache_[key];
  if (cell.width != area.width()) {
    if (cache_.size() > kMaxCells) {
      cache_.clear();
      return paint(painter, option, index);
    }
    const QFontMetrics metrics(font);
    cell.text.setText(metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, area.width()));
    cell.text.setTextFormat(Qt::PlainText);
    cell.text.prepare(QTransform(), font);
    cell.width = area.width();
  }

  const QVariant fore = index.data(Qt::ForegroundRole);
  painter->save();
  painter->setFont(font);
  painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                           : fore.isValid() ? fore.value<QBrush>().color()
                                            : option.palette.color(QPalette::Text));
  const QSizeF size = cell.text.size();
  const bool right = index.column() == ExchangeMonitorModel::kDelay;
  const qreal x = right ? area.right() + 1 - size.width() : area.left();
  painter->drawStaticText(QPointF(x, area.top() + (area.height() - size.height()) / 2), cell.text);
  painter->restore();
}

}  // namespace torvex
