#include "decode/controls.h"

#include <gtest/gtest.h>

#include "default_locale.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

const ControlRef kBox{Control::txt_par, 3};

// Like a parameter box: any change of its text paints it white.
class WhiteningView : public test::FakeView {
 public:
  void SetText(ControlRef c, const QString& text) override {
    FakeView::SetText(c, text);
    SetBackColor(c, kWhite);
  }
};

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

TEST(ShowScaled, EndsGreenAfterTheText) {
  test::DefaultLocale locale(QLocale::Russian);
  WhiteningView view;
  ShowScaled(view, kBox, 1234, 2, 0.1, "");
  EXPECT_EQ(view.Text(kBox), "123,4 ");
  EXPECT_EQ(view.Color(kBox), kGreen);
}

TEST(BoxToRaw, ReadsTheBoxWithoutChangingIt) {
  test::FakeView view;
  view.texts[test::FakeView::Key(kBox)] = "12,35 %";
  EXPECT_EQ(BoxToRaw(view, kBox, 0, 255, 0.1), 124);
  view.texts[test::FakeView::Key(kBox)] = "20";
  EXPECT_EQ(BoxToRawOffset(view, kBox, 0, 65535, 4, 0.00024414), 65535);
  view.texts[test::FakeView::Key(kBox)] = "12";
  EXPECT_EQ(BoxToRawOffset(view, kBox, 0, 65535, 4, 0.00024414), 32768);
  EXPECT_EQ(view.writes, 0);
}

// What the tool shows in a box, it reads back as the same raw value, whatever the locale.
TEST(BoxToRaw, ReadsBackWhatShowScaledWrote) {
  for (auto language : {QLocale::Russian, QLocale::English}) {
    test::DefaultLocale locale(language);
    for (std::int32_t raw : {0, 1, 5, 15, 235, -1, -32768, 32767, 65535}) {
      test::FakeView view;
      ShowScaled(view, kBox, raw, 1, 0.1, "°C");
      EXPECT_EQ(BoxToRaw(view, kBox, -32768, 65535, 0.1), raw) << view.Text(kBox).toStdString();
      ShowScaled(view, kBox, raw, 3, 0.002, "");
      EXPECT_EQ(BoxToRaw(view, kBox, -32768, 65535, 0.002), raw) << view.Text(kBox).toStdString();
    }
  }
}

}  // namespace
}  // namespace torvex
