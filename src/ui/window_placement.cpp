#include "ui/window_placement.h"

#include <algorithm>

namespace torvex {

Placement PlaceBeside(const QRect& main, const QSize& wanted, const QRect& free, int minWidth,
                      int minHeight) {
  const int height = std::min(std::max(main.height(), wanted.height()), free.height());
  const int top = std::clamp(main.top(), free.top(), free.bottom() + 1 - height);
  const int right = free.right() - main.right();  // room right of the main window
  const int left = main.left() - free.left();
  if (std::max(right, left) >= minWidth) {
    if (right >= left) {
      return {QRect(main.right() + 1, top, std::min(wanted.width(), right), height), {}};
    }
    const int width = std::min(wanted.width(), left);
    return {QRect(main.left() - width, top, width, height), {}};
  }
  const int besideMain = free.width() - main.width();
  if (besideMain >= minWidth) {
    const QPoint mainAt(free.left(), top);
    return {QRect(free.left() + main.width(), top, std::min(wanted.width(), besideMain), height),
            mainAt};
  }
  const int below = free.bottom() - main.bottom();
  const int width = std::min(wanted.width(), free.width());
  if (below >= minHeight) {
    return {QRect(std::clamp(main.left(), free.left(), free.right() + 1 - width), main.bottom() + 1,
                  width, std::min(wanted.height(), below)),
            {}};
  }
  return {QRect(free.right() + 1 - width, top, width, height), {}};
}

}  // namespace torvex
