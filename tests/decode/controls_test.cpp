#include "decode/controls.h"

#include <gtest/gtest.h>

#include "default_locale.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

const ControlRef kBox{Control::txt_par, 3};

TEST(ShowReading, WritesTheTextInTheDefaultLocale) {
  test::FakeView view;
  {
    test::DefaultLocale locale(QLocale::Russian);
    ShowReading(view, kBox, 235, 1, 0.1, "°C");
    EXPECT_EQ(view.Text(kBox), "23,5 °C");
  }
  {
    test::DefaultLocale locale(QLocale::English);
    ShowReading(view, kBox, 235, 1, 0.1, "°C");
    EXPECT_EQ(view.Text(kBox), "23.5 °C");
  }
  EXPECT_EQ(view.Color(kBox), 0xFFFFFFFFu);  // colour untouched
}

TEST(BoxToRawOffset, ReadsTheBoxWithoutChangingIt) {
  test::FakeView view;
  view.texts[test::FakeView::Key(kBox)] = "20";
  EXPECT_EQ(BoxToRawOffset(view, kBox, 0, 65535, 4, 0.00024414), 65535);
  view.texts[test::FakeView::Key(kBox)] = "12";
  EXPECT_EQ(BoxToRawOffset(view, kBox, 0, 65535, 4, 0.00024414), 32768);
  EXPECT_EQ(view.writes, 0);
}

}  // namespace
}  // namespace torvex
