// The exchange monitor's window in the tool, opened from the menu, beside an exchange that runs
// on a fake port.
#include "ui/exchange_monitor.h"

#include <gtest/gtest.h>

#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include "support/fake_prompter.h"
#include "support/fake_serial_port.h"
#include "support/files.h"
#include "support/frames.h"
#include "support/qt_printers.h"
#include "support/result_printer.h"
#include "ui/tool.h"

namespace torvex {
namespace {

class MonitorWindow : public ::testing::Test {
 protected:
  MonitorWindow() {
    EXPECT_TRUE(test::WriteFile(dir.filePath("тп.ini"), "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
    EXPECT_TRUE(tool.FormLoad());
    // Only the test ticks: the exchange timer, left running, would add ticks whenever the
    // event loop runs late (a loaded machine), and the counts below would drift.
    tool.Timer1().setInterval(24 * 3600 * 1000);
    tool.Engine().SetClock([this] { return now; });
  }
  // Ticks 100 ms apart; two exchanges of three are answered, the third is not.
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      if (i % 3 != 2 && !port.written.empty()) port.Receive(test::AnswerTo(port.written.back()));
      now += std::chrono::milliseconds(100);
      tool.Timer1_Tick();
    }
  }
  ExchangeMonitor* Open() {
    tool.Window().menuBar()->actions().at(1)->trigger();
    return tool.Window().findChild<ExchangeMonitor*>("wnd_monitor");
  }

  std::chrono::steady_clock::time_point now{};
  QTemporaryDir dir;
  test::FakeSerialPort port;
  test::FakePrompter prompter;
  Tool tool{dir.path(), port, prompter};
};

TEST_F(MonitorWindow, OpensFromTheMenuOnTheNewestRowAndFollowsUntilTheUserScrollsUp) {
  Tick(60);  // frames from before the window opened are there too
  ExchangeMonitor* monitor = Open();
  ASSERT_NE(monitor, nullptr);
  EXPECT_TRUE(monitor->isVisible());
  EXPECT_FALSE(monitor->isModal());
  EXPECT_EQ(monitor->windowTitle(), "Монитор обмена");
  EXPECT_EQ(monitor->Model().rowCount(), 2 * 60 - 1);  // the first tick had no exchange to end
  EXPECT_EQ(Open(), monitor) << "one window, raised again";

  // Laid out only as the event loop runs: it still opens on the newest row.
  QCoreApplication::processEvents();
  QTableView* table = monitor->Table();
  QScrollBar* bar = table->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum()) << "opens on the newest row";
  EXPECT_EQ(table->rowAt(table->viewport()->height() - 2), monitor->Model().rowCount() - 1);

  // Made smaller while following, it goes on following.
  monitor->resize(monitor->width(), monitor->height() / 2);
  QCoreApplication::processEvents();
  Tick(30);
  monitor->Refresh();
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), bar->maximum()) << "follows the newest line";

  bar->setValue(3);  // the user scrolls up to read
  Tick(5);
  monitor->Refresh();
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), 3);
  EXPECT_LT(bar->value(), bar->maximum());
  bar->setValue(bar->maximum());  // and back to the end: following again
  Tick(5);
  monitor->Refresh();
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), bar->maximum());

  const QString counters = monitor->findChild<QLabel*>("lbl_counters")->text();
  EXPECT_TRUE(counters.startsWith("Запросов: 100 (повторов: 32)    Ответов: 67 (исключений: 0)    "
                                  "Ошибок: 32 — нет ответа 32, КС 0, неполный ответ 0"))
      << counters.toStdString();

  // Pause keeps the table still; the exchange goes on.
  monitor->findChild<QPushButton*>("cmd_pause")->click();
  const int rows = monitor->Model().rowCount();
  Tick(3);
  monitor->Refresh();
  EXPECT_EQ(monitor->Model().rowCount(), rows);
  monitor->findChild<QPushButton*>("cmd_pause")->click();

  // Saved rows are log lines; with "only errors", the failed exchanges, each after its request.
  monitor->findChild<QPushButton*>("cmd_errors")->click();
  const QString path = dir.filePath("saved.log");
  ASSERT_EQ(monitor->SaveTo(path), Result());
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(lines.size(), monitor->Model().rowCount());
  ASSERT_EQ(lines.size() % 2, 0);
  for (int i = 0; i < lines.size(); i += 2) {
    EXPECT_EQ(lines[i].section('\t', 1, 1), "TX");
    EXPECT_EQ(lines[i + 1].section('\t', 1), "RX\t-\tno-answer\tНет ответа");
  }

  // Closing the window leaves the exchange as it was, and it goes on recording.
  monitor->close();
  EXPECT_TRUE(tool.Timer1().isActive());
  const std::size_t written = port.written.size();
  const std::uint64_t end = tool.Trace().Ring().End();
  Tick(2);
  EXPECT_EQ(port.written.size(), written + 2);
  EXPECT_EQ(tool.Trace().Ring().End(), end + 4);

  monitor->findChild<QPushButton*>("cmd_clear")->click();
  EXPECT_EQ(monitor->Model().rowCount(), 0);
  EXPECT_EQ(tool.Trace().Counters().requests, 0u);
}

}  // namespace
}  // namespace torvex
