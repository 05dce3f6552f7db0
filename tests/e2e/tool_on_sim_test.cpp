// The whole tool (window, start-up, engine, parameters, configuration, the real serial layer)
// against the simulated controller on a pseudo-terminal bound as COM1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "decode/numeric.h"
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

class ToolOnSim : public ::testing::Test {
 protected:
  ToolOnSim() {
    QLocale::setDefault(QLocale(QLocale::Russian));
    dir.BindOthersToNowhere();
  }
  ~ToolOnSim() override { QLocale::setDefault(QLocale::c()); }

  void WriteIni(const QByteArray& more = {}) {
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n" + more));
  }
  void Start() {
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    ASSERT_TRUE(tool->FormLoad());
  }
  MainWindow& Window() { return tool->Window(); }
  QString Text(Control c, int i = -1) { return Window().Text({c, i}); }
  bool LinkUp() { return Text(Control::lbl_sys_mes) == kStatusLinkUp; }
  template <class W>
  W* Find(const char* name, int index = -1) {
    for (W* w : Window().findChildren<W*>(name)) {
      if (index < 0 || w->property("index").toInt() == index) return w;
    }
    return nullptr;
  }
  bool Lit(int input) { return Find<QLabel>("lbl_eds", input)->autoFillBackground(); }
  bool AllParamsGreen() {
    for (int i = 0; i < 49; ++i) {
      if (Find<QLineEdit>("txt_par", i)->palette().color(QPalette::Base) != QColor(0, 255, 0)) {
        return false;
      }
    }
    return true;
  }
  void TypeAndEnter(int box, const QString& text) {
    QLineEdit* edit = Find<QLineEdit>("txt_par", box);
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

TEST_F(ToolOnSim, ShowsTheControllersValuesAndItsLoopedBackOutputs) {
  test::SimRunner sim(dir.LinkPath(1));
  WriteIni();
  Start();
  ASSERT_TRUE(WaitFor([&] { return LinkUp() && Text(Control::lbl_sw_ver) != "-"; }));
  EXPECT_EQ(Text(Control::lbl_sw_ver), "2 .14 ");
  EXPECT_EQ(Text(Control::lbl_pr_ver), "1 .05 ");
  EXPECT_TRUE(WaitFor([&] { return Text(Control::lbl_u, 0).endsWith(" Ом"); }))
      << Text(Control::lbl_u, 0).toStdString();  // AIN1 channel 0: Pt100
  EXPECT_TRUE(Text(Control::lbl_st_flt).startsWith("ST_FLT  "));

  // Outputs 1 and 6 set: the bench wires them back to inputs 1 and 6.
  Find<QCheckBox>("chk_out", 0)->setChecked(true);
  Find<QCheckBox>("chk_out", 5)->setChecked(true);
  Find<QPushButton>("cmd_set")->click();
  EXPECT_TRUE(WaitFor([&] { return Lit(0) && Lit(5); }));
  EXPECT_FALSE(Lit(1));
  EXPECT_FALSE(Lit(31));

  // Read back into cleared boxes.
  Find<QCheckBox>("chk_out", 0)->setChecked(false);
  Find<QCheckBox>("chk_out", 5)->setChecked(false);
  Find<QPushButton>("cmd_read")->click();
  EXPECT_TRUE(WaitFor([&] {
    return Find<QCheckBox>("chk_out", 0)->isChecked() && Find<QCheckBox>("chk_out", 5)->isChecked();
  }));
  EXPECT_FALSE(Find<QCheckBox>("chk_out", 1)->isChecked());
}

TEST_F(ToolOnSim, ParametersAreReadAtStartWrittenAndSurviveARestartOfTheController) {
  const QString eeprom = dir.Path() + "/eeprom.txt";
  auto sim = std::make_unique<test::SimRunner>(dir.LinkPath(1), QStringList{"--eeprom", eeprom});
  WriteIni();
  Start();
  ASSERT_TRUE(WaitFor([&] { return AllParamsGreen(); }));
  EXPECT_EQ(Text(Control::txt_par, 48), "7 ");    // the controller's Modbus address
  EXPECT_EQ(Text(Control::txt_par, 8), "2 ");     // AIN1 input 0: Pt100
  EXPECT_EQ(Text(Control::txt_par, 0), "100 ");   // its first calibration point

  TypeAndEnter(0, "99,5");
  Find<QLineEdit>("txt_par", 1)->setText("140");
  ASSERT_TRUE(WaitFor([&] { return Text(Control::txt_par, 0) == "99,5 "; }));
  Find<QPushButton>("cmd_writeall")->click();
  ASSERT_TRUE(WaitFor([&] { return AllParamsGreen(); }));
  EXPECT_EQ(Text(Control::txt_par, 1), "140 ");

  // The controller is switched off and on: its EEPROM keeps the values.
  sim.reset();
  sim = std::make_unique<test::SimRunner>(dir.LinkPath(1), QStringList{"--eeprom", eeprom});
  for (int i = 0; i < 49; ++i) Find<QLineEdit>("txt_par", i)->setText("-");
  ASSERT_TRUE(WaitFor([&] { return LinkUp(); }));
  Find<QPushButton>("cmd_readall")->click();
  ASSERT_TRUE(WaitFor([&] { return AllParamsGreen(); }));
  EXPECT_EQ(Text(Control::txt_par, 0), "99,5 ");
  EXPECT_EQ(Text(Control::txt_par, 1), "140 ");
  EXPECT_EQ(Text(Control::txt_par, 48), "7 ");

  // AIN1 input 0 becomes a 4-20 mA loop: the display rule follows the box at once, and the
  // controller's values follow its EEPROM (a Pt100's 100 Ω would read as 10000 %).
  TypeAndEnter(8, "5");
  ASSERT_TRUE(WaitFor([&] { return Text(Control::txt_par, 8) == "5 "; }));
  QTest::qWait(700);  // a status poll after the write
  const QString percent = Text(Control::lbl_u, 0);
  ASSERT_TRUE(percent.endsWith(" %")) << percent.toStdString();
  EXPECT_LE(ParseNumber(percent), 100.0) << percent.toStdString();
  EXPECT_TRUE(Text(Control::lbl_u, 32).endsWith(" мА"));
}

TEST_F(ToolOnSim, FirstStartGoesThroughTheDialogAndTheNextStartOpensTheSavedPort) {
  test::SimRunner sim(dir.LinkPath(1));
  prompter.answers = {Prompter::Choice::Ok};
  // The operator picks COM1, types the mode and presses OK in the modal dialog.
  QTimer operatorHand;
  QObject::connect(&operatorHand, &QTimer::timeout, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || dialog->objectName() != "wndSetCOM") return;
    auto* list = dialog->findChild<QComboBox*>("cmbCOMList");
    list->setCurrentIndex(list->findText("COM1"));
    dialog->findChild<QLineEdit*>("txt_settings")->setText("115200,n,8,2");
    dialog->findChild<QPushButton*>("OK")->click();
  });
  operatorHand.start(20);
  Start();
  operatorHand.stop();

  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].text, "Некорректные настройки порта COM\r\nИзмените настройки");
  EXPECT_TRUE(WaitFor([&] { return LinkUp() && Text(Control::lbl_sw_ver) == "2 .14 "; }));
  const QByteArray saved = test::ReadFile(dir.Path() + "/тп.ini");
  EXPECT_TRUE(saved.contains("COM=1\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("COMSettings=115200,n,8,2\n")) << saved.toStdString();

  // The next start opens the saved port directly.
  tool.reset();
  port.reset();
  prompter.asked.clear();
  Start();
  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_TRUE(WaitFor([&] { return LinkUp(); }));
}

// A 2-wire adapter that returns every request before its answer.
TEST_F(ToolOnSim, AnEchoingAdapterWorksWithTheEchoBox) {
  test::SimRunner sim(dir.LinkPath(1), {"--echo"});
  WriteIni("Echo=1\n");
  Start();
  EXPECT_TRUE(WaitFor([&] { return AllParamsGreen() && Text(Control::lbl_sw_ver) == "2 .14 "; }));
  Find<QCheckBox>("chk_out", 2)->setChecked(true);
  Find<QPushButton>("cmd_set")->click();
  EXPECT_TRUE(WaitFor([&] { return Lit(2); })) << "a write goes through and shows";
  const std::int64_t errors = tool->Engine().ExchangeErrors();
  QTest::qWait(500);
  EXPECT_EQ(tool->Engine().ExchangeErrors(), errors) << "no exchange fails for the echo";
  EXPECT_TRUE(LinkUp());
}

// The box ticked, an adapter that does not echo: every exchange goes through (a write's
// answer, its request's copy, is the answer), and the status line says the echo is missing.
TEST_F(ToolOnSim, TheEchoBoxWithAnAdapterThatDoesNotEchoKeepsPollingAndSaysSo) {
  test::SimRunner sim(dir.LinkPath(1));
  WriteIni("Echo=1\n");
  Start();
  EXPECT_TRUE(WaitFor([&] { return AllParamsGreen() && Text(Control::lbl_sw_ver) == "2 .14 "; }));
  EXPECT_TRUE(WaitFor([&] { return Text(Control::lbl_tr_id).toInt() >= 5; }))
      << "the poll goes round: code writes are answered";
  EXPECT_TRUE(WaitFor([&] { return Text(Control::lbl_sys_mes) == kStatusLinkUp + kStatusNoEchoNote; }))
      << Text(Control::lbl_sys_mes).toStdString();
  EXPECT_EQ(tool->Engine().ExchangeErrors(), 1);  // the first tick's alone
}

// The same adapter with the box off is named, and nothing it returns passes for an answer.
TEST_F(ToolOnSim, AnEchoingAdapterWithoutTheEchoBoxIsNamedAndNoValueShows) {
  test::SimRunner sim(dir.LinkPath(1), {"--echo"});
  WriteIni();
  Start();
  const QString version = Text(Control::lbl_sw_ver);
  const QString ownRequest = ExchangeOutcomeText(ExchangeOutcome::kOwnRequest);
  EXPECT_TRUE(WaitFor([&] { return Text(Control::lbl_sys_mes).startsWith(ownRequest); }));
  QTest::qWait(500);
  EXPECT_TRUE(Text(Control::lbl_sys_mes).startsWith(ownRequest));
  EXPECT_EQ(Text(Control::lbl_sw_ver), version) << "no answer was taken";
  EXPECT_NE(version, "2 .14 ");
  EXPECT_EQ(Find<QLineEdit>("txt_par", 0)->palette().color(QPalette::Base), QColor(Qt::white));
}

}  // namespace
}  // namespace torvex
