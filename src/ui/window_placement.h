#pragma once
// Where a window of its own goes beside the main window, so that both can be read at once:
// the exchange monitor, opened from the menu or at start, should never cover the window whose
// exchange it shows.
#include <optional>

#include <QPoint>
#include <QRect>
#include <QSize>

namespace torvex {

struct Placement {
  QRect window;                     // the new window's frame on the screen
  std::optional<QPoint> mainMoves;  // where the main window's frame goes to make room
};

// `main` is the main window's frame, `wanted` the new window's preferred frame size, `free` the
// screen's available area. Beside the main window on the side with more room, narrowed to that
// room down to `minWidth`; else the main window moves to the screen's left edge when that makes
// the room; else below the main window when `minHeight` fits; else at the screen's right edge.
Placement PlaceBeside(const QRect& main, const QSize& wanted, const QRect& free, int minWidth,
                      int minHeight);

}  // namespace torvex
