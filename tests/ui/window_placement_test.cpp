// Where the exchange monitor goes beside the main window (frames of 1202 x 690 and 960 x 690).
#include "ui/window_placement.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

namespace torvex {
namespace {

struct PlacementCase {
  const char* name;
  QRect main;
  QRect screen;
  QRect window;
  std::optional<QPoint> mainMoves;
};

class Placing : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placing, NeverCoversTheMainWindowWhereTheScreenHasRoom) {
  const PlacementCase& c = GetParam();
  const Placement place = PlaceBeside(c.main, QSize(960, 690), c.screen, 560, 240);
  EXPECT_EQ(place.window, c.window);
  EXPECT_EQ(place.mainMoves, c.mainMoves);
  EXPECT_TRUE(c.screen.contains(place.window));
  const QRect main = place.mainMoves ? QRect(*place.mainMoves, c.main.size()) : c.main;
  if (c.screen.width() >= main.width() + 560 || c.screen.height() >= main.height() + 240) {
    EXPECT_FALSE(main.intersects(place.window));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, Placing,
    ::testing::Values(
        // Room on the right: there, as wide as it wants.
        PlacementCase{"right", {0, 0, 1202, 690}, {0, 0, 2560, 1400}, {1202, 0, 960, 690}, {}},
        // Less room on the right than it wants: narrowed to it.
        PlacementCase{"right_narrowed", {0, 30, 1202, 690}, {0, 0, 1920, 1050}, {1202, 30, 718, 690}, {}},
        // The main window on the right half: on its left.
        PlacementCase{"left", {1300, 0, 1202, 690}, {0, 0, 2560, 1400}, {340, 0, 960, 690}, {}},
        // Centred on a screen with room for both side by side: the main window moves left.
        PlacementCase{"main_moves", {359, 100, 1202, 690}, {0, 0, 1920, 1050}, {1202, 100, 718, 690},
                      QPoint(0, 100)},
        // A narrow, tall screen: below.
        PlacementCase{"below", {0, 0, 1202, 690}, {0, 0, 1280, 1024}, {0, 690, 960, 334}, {}},
        // No room anywhere: at the screen's right edge.
        PlacementCase{"no_room", {0, 0, 1202, 690}, {0, 0, 1280, 800}, {320, 0, 960, 690}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace torvex
