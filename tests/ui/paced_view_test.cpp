// The window written at a pace: nothing reaches it between flushes but the newest value of
// each property, which every reader already sees; unpaced, everything passes at once.
#include "ui/paced_view.h"

#include <gtest/gtest.h>

#include "support/fake_view.h"

namespace torvex {
namespace {

TEST(PacedView, KeepsTheNewestOfEachPropertyUntilFlushed) {
  test::FakeView window;
  PacedView paced(window);
  const ControlRef label{Control::lbl_u, 3};
  paced.SetText(label, "1");
  EXPECT_EQ(window.writes, 1) << "unpaced: at once";

  paced.SetPaced(true);
  for (int i = 0; i < 50; ++i) paced.SetText(label, QString::number(i));
  paced.SetBackColor(label, kGreen);
  paced.SetChecked({Control::chk_out, 2}, true);
  paced.SetOpaque({Control::lbl_eds, 4}, true);
  paced.SetCaption("caption");
  EXPECT_EQ(window.writes, 1);
  EXPECT_EQ(window.Text(label), "1");
  EXPECT_EQ(paced.Text(label), "49") << "a reader sees what was written";
  EXPECT_TRUE(paced.IsChecked({Control::chk_out, 2}));
  EXPECT_TRUE(paced.Pending());

  paced.Flush();
  EXPECT_EQ(window.writes, 2) << "one write for fifty";
  EXPECT_EQ(window.Text(label), "49");
  EXPECT_EQ(window.Color(label), kGreen);
  EXPECT_TRUE(window.IsChecked({Control::chk_out, 2}));
  EXPECT_TRUE(window.opaque.at(test::FakeView::Key({Control::lbl_eds, 4})));
  EXPECT_EQ(window.caption, "caption");
  EXPECT_FALSE(paced.Pending());

  // A message painted at once takes what was kept with it; pacing ending hands over the rest.
  paced.SetText(label, "50");
  paced.SetText({Control::lbl_sys_mes}, "message");
  paced.RepaintNow({Control::lbl_sys_mes});
  EXPECT_EQ(window.Text({Control::lbl_sys_mes}), "message");
  EXPECT_EQ(window.Text(label), "50");
  paced.SetText(label, "51");
  paced.SetPaced(false);
  EXPECT_EQ(window.Text(label), "51");
}

}  // namespace
}  // namespace torvex
