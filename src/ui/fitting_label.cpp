#include "ui/fitting_label.h"

#include <array>

#include <QPainter>
#include <QStyle>

namespace torvex {

QFont FittingLabel::FittedFont() const {
  const int width = contentsRect().width() - 2 * margin();
  if (fontMetrics().horizontalAdvance(text()) <= width) return font();
  QFont candidate = font();
  const int designed = font().pixelSize() > 0 ? font().pixelSize() : fontInfo().pixelSize();
  constexpr std::array<int, 3> kStretches{QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed};
  for (int size = designed; size >= kMinPixelSize; --size) {
    candidate.setPixelSize(size);
    for (int stretch : kStretches) {
      candidate.setStretch(stretch);
      if (QFontMetrics(candidate).horizontalAdvance(text()) <= width) return candidate;
    }
  }
  return candidate;  // the smallest, narrowest: what still does not fit is elided
}

void FittingLabel::paintEvent(QPaintEvent* event) {
  if (fontMetrics().horizontalAdvance(text()) <= contentsRect().width() - 2 * margin()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  drawFrame(&painter);
  const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  const QFont fitted = FittedFont();
  painter.setFont(fitted);
  const QString shown = QFontMetrics(fitted).elidedText(text(), Qt::ElideRight, area.width());
  style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                        palette(), isEnabled(), shown, foregroundRole());
}

}  // namespace torvex
