// The recording's menu items on the offscreen platform: where they stand, what a file that
// cannot be written shows, and the trends window they open.
#include "ui/recording_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>

#include "ui/exchange_presenter.h"
#include "ui/main_window.h"
#include "ui/trends_window.h"

namespace torvex {
namespace {

constexpr record::Quantity kTemperature{record::Measure::kTemperature};

TEST(RecordingMenuTest, MenuItemsAfterThePortSettingsAndAFileThatCannotBeWritten) {
  MainWindow window;
  record::Recording recording;
  ExchangePresenter status(window);
  RecordingMenu menu(window, recording, status);
  QStringList names;
  for (QAction* action : window.menuBar()->actions()) names << action->objectName();
  ASSERT_GE(names.size(), 3);
  EXPECT_GT(names.indexOf("mnu_record"), names.indexOf("mnu_settings"));
  EXPECT_EQ(names.mid(names.size() - 2), (QStringList{"mnu_record", "mnu_trends"}));
  auto* record = window.findChild<QAction*>("mnu_record");
  EXPECT_EQ(record->text(), "Запись в файл...");

  EXPECT_FALSE(menu.StartRecording("/dev/full"));
  EXPECT_TRUE(window.Text({Control::lbl_sys_mes}).startsWith("Запись в файл /dev/full не начата: "));
  EXPECT_EQ(window.findChildren<QMessageBox*>("msg_record").size(), 1);
  EXPECT_EQ(record->text(), "Запись в файл...");

  QTemporaryDir dir;
  ASSERT_TRUE(menu.StartRecording(dir.filePath("run.csv")));
  EXPECT_EQ(record->text(), "Остановить запись");
  record->trigger();  // stops
  EXPECT_FALSE(recording.Running());
  EXPECT_EQ(record->text(), "Запись в файл...");

  // The trends window is modeless and keeps its choices when closed and opened again.
  TrendsWindow& trends = menu.ShowTrends();
  EXPECT_FALSE(trends.isModal());
  trends.SetChecked(kTemperature, true);
  trends.close();
  EXPECT_EQ(&menu.ShowTrends(), &trends);
  EXPECT_TRUE(trends.IsChecked(kTemperature));
}

}  // namespace
}  // namespace torvex
