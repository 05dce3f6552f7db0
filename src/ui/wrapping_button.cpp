#include "ui/wrapping_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace torvex {

void WrappingButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const QString caption = option.text;
  option.text.clear();  // the style draws the bevel and focus; the caption follows, wrapped
  painter.drawControl(QStyle::CE_PushButton, option);
  const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  style()->drawItemText(&painter, area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic,
                        palette(), isEnabled(), caption, QPalette::ButtonText);
}

}  // namespace torvex
