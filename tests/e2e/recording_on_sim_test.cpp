// Recording from the whole tool against the simulated controller: the file's numbers are the
// window's, and a file that fills the disk stops only the recording.
#include <gtest/gtest.h>

#include <QLocale>
#include <QMessageBox>
#include <QStringList>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using test::kStatusLinkUp;
using test::WaitFor;

class RecordingOnSim : public ::testing::Test {
 protected:
  RecordingOnSim() {
    QLocale::setDefault(QLocale(QLocale::Russian));
    EXPECT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
  }
  ~RecordingOnSim() override { QLocale::setDefault(QLocale::c()); }

  void Start() {
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    ASSERT_TRUE(tool->FormLoad());
  }
  QString Text(Control c, int i = -1) { return tool->Window().Text({c, i}); }
  bool LinkUp() { return Text(Control::lbl_sys_mes) == kStatusLinkUp; }

  test::ProgramDir dir;
  test::SimRunner sim{dir.LinkPath(1)};
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

TEST_F(RecordingOnSim, TheFileHoldsTheWindowsNumbers) {
  Start();
  const QString path = dir.Path() + "/run.csv";
  ASSERT_TRUE(tool->RecordingMenu().StartRecording(path));
  // The parameters read, then a few status and converter answers with the types known.
  ASSERT_TRUE(WaitFor([&] { return Text(Control::lbl_u, 0).endsWith(" Ом"); }));
  QTest::qWait(1500);
  tool->RecordingMenu().StopRecording();

  const QStringList lines = QString::fromUtf8(test::ReadFile(path).mid(3)).split("\r\n");
  const QStringList header = lines.front().split(';');
  std::vector<QStringList> status, converter;
  for (const QString& line : lines.mid(1, lines.size() - 2)) {
    const QStringList cells = line.split(';');
    ASSERT_EQ(cells.size(), header.size());
    (cells[header.indexOf("Слово состояния")].isEmpty() ? converter : status).push_back(cells);
  }
  ASSERT_GE(status.size(), 3u);
  ASSERT_GE(converter.size(), 3u);
  // The simulator holds its values still: the last row shows what the window shows.
  const QStringList& last = status.back();
  EXPECT_EQ(last[header.indexOf("AIN1.0 датчик (Ом)")] + " Ом", Text(Control::lbl_u, 0));
  EXPECT_EQ(last[header.indexOf("AIN1.0 вход (мВ)")] + " мВ", Text(Control::lbl_u, 32));
  EXPECT_EQ(last[header.indexOf("AIN1.0 тип датчика")], "2");
  EXPECT_EQ(last[header.indexOf("Слово состояния")].toInt(),
            Text(Control::lbl_st_flt).mid(8).toInt(nullptr, 16));
  EXPECT_EQ(last[header.indexOf("Гребной вал (Гц)")] + " Гц", Text(Control::lbl_prop));
  // The trends' history had the same samples, and those from before the recording.
  EXPECT_GE(tool->Recording().History().Size(), status.size() + converter.size());
}

TEST_F(RecordingOnSim, AFullDiskStopsTheRecordingNotTheExchange) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return LinkUp(); }));
  EXPECT_FALSE(tool->RecordingMenu().StartRecording("/dev/full"));
  EXPECT_TRUE(Text(Control::lbl_sys_mes).startsWith("Запись в файл /dev/full не начата"));
  EXPECT_EQ(tool->Window().findChildren<QMessageBox*>("msg_record").size(), 1);
  // The next ticks go on as before.
  EXPECT_TRUE(WaitFor([&] { return LinkUp(); }));
  const std::size_t before = tool->Recording().History().Size();
  EXPECT_TRUE(WaitFor([&] { return tool->Recording().History().Size() > before + 2; }));
}

}  // namespace
}  // namespace torvex
