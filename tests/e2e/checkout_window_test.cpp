// The window "Проверка контроллера" on the whole tool against torvex-sim on the standard bench:
// a run to its end with the operator's output commands refused meanwhile (and the refusal in
// the status line while it lasts), the unit's serial number in the report, the confirmation
// asked before a run, and Stop (or a signal to the tool), after which the outputs are as the
// operator left them.
#include <csignal>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/wait_for.h"
#include "ui/checkout_window.h"
#include "ui/quit_on_signal.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using test::WaitFor;

class CheckoutWindowOnSim : public ::testing::Test {
 protected:
  explicit CheckoutWindowOnSim(const QStringList& simOptions = {}) : sim(test::SimRunner::Tcp{}, simOptions) {
    QLocale::setDefault(QLocale(QLocale::Russian));
    EXPECT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\nLink=rtu-over-tcp\n"
                                "Host=127.0.0.1\nTcpPort=" + QByteArray::number(sim.Port()) + "\n"));
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    EXPECT_TRUE(tool->FormLoad());
  }
  ~CheckoutWindowOnSim() override { QLocale::setDefault(QLocale::c()); }

  template <class W>
  W* Find(const char* name, int index = -1) {
    for (W* w : tool->Window().findChildren<W*>(name)) {
      if (index < 0 || w->property("index").toInt() == index) return w;
    }
    return nullptr;
  }
  bool Lit(int input) { return Find<QLabel>("lbl_eds", input)->autoFillBackground(); }
  void SetOutput(int output, bool on) {
    Find<QCheckBox>("chk_out", output)->setChecked(on);
    Find<QPushButton>("cmd_set")->click();
  }
  QString Status() { return tool->Window().Text({Control::lbl_sys_mes}); }

  test::SimRunner sim;
  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

TEST_F(CheckoutWindowOnSim, ARunPassesWhileTheOperatorsOutputCommandsWait) {
  QAction* item = nullptr;
  for (QAction* action : tool->Window().menuBar()->actions()) {
    if (action->objectName() == "mnu_checkout") item = action;
  }
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), "Проверка контроллера");
  item->trigger();
  CheckoutWindow& window = tool->ShowCheckout();
  auto* table = window.findChild<QTableWidget*>("tbl_steps");
  ASSERT_EQ(table->rowCount(), 90);
  EXPECT_EQ(table->item(0, 4)->text(), "ожидает");
  bool finished = false;
  QObject::connect(&window, &CheckoutWindow::Finished, [&] { finished = true; });

  auto* serial = window.findChild<QLineEdit*>("txt_unit_serial");
  serial->setText(QStringLiteral("ТВ-0421"));
  window.StartRun(QStringLiteral("Петров П.П."), dir.Path() + "/r.pdf");
  EXPECT_FALSE(serial->isEnabled()) << "the unit of a run stays the unit of its report";
  ASSERT_TRUE(WaitFor([&] { return window.Run()->CurrentStep() >= 3; }));
  SetOutput(20, true);
  EXPECT_EQ(Status(), kStatusCheckoutOwnsOutputs);
  // The ticks after it keep saying so behind the link's words, until the run is over.
  EXPECT_TRUE(WaitFor([&] {
    return Status().startsWith("Связь с контроллером TORVEX-CPU установлена ") &&
           Status().endsWith(kStatusCheckoutOwnsOutputs);
  }));
  QTest::qWait(1000);
  EXPECT_TRUE(Status().endsWith(kStatusCheckoutOwnsOutputs)) << Status().toStdString();
  ASSERT_TRUE(WaitFor([&] { return finished; }, 60000));
  EXPECT_EQ(window.Run()->Count(checkout::StepState::kPassed), 90);
  EXPECT_EQ(table->item(89, 4)->text(), "норма");
  EXPECT_TRUE(window.findChild<QLabel*>("lbl_result")->text().contains("ГОДЕН: норма 90"));
  EXPECT_EQ(window.ReportPath(), dir.Path() + "/r.pdf");
  EXPECT_TRUE(test::ReadFile(dir.Path() + "/r.csv").contains("\r\nЗаводской номер;ТВ-0421\r\n"));
  EXPECT_TRUE(serial->isEnabled());
  EXPECT_EQ(serial->text(), "") << "left empty for the next unit";
  EXPECT_TRUE(WaitFor([&] { return !Status().contains(kStatusCheckoutOwnsOutputs); }));
  QTest::qWait(500);
  EXPECT_FALSE(Lit(20)) << "the command refused during the run was not carried out later";
}

// Before a run the operator confirms which unit is driven, and is told that the I1 steps
// switch discrete outputs 1-16 with it; "Нет" starts nothing.
TEST_F(CheckoutWindowOnSim, TheConfirmationNamesTheUnitAndTheSharedRegister) {
  CheckoutWindow& window = tool->ShowCheckout();
  window.findChild<QLineEdit*>("txt_unit_serial")->setText(QStringLiteral("ТВ-0421"));
  QTimer::singleShot(0, [] {
    auto* name = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(name, nullptr);
    name->setTextValue(QStringLiteral("Петров П.П."));
    name->accept();
  });
  window.findChild<QPushButton*>("cmd_start")->click();
  QMessageBox* box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = window.findChild<QMessageBox*>("msg_checkout_start")) != nullptr; }));
  EXPECT_TRUE(box->text().contains("Контроллер: адрес 7, заводской номер ТВ-0421")) << box->text().toStdString();
  EXPECT_TRUE(box->text().contains("в одном регистре 3002")) << box->text().toStdString();
  EXPECT_TRUE(box->text().contains("(при 20 мА — все 16)"));
  box->button(QMessageBox::No)->click();
  QTest::qWait(200);
  EXPECT_FALSE(window.Run().has_value());
}

TEST_F(CheckoutWindowOnSim, StopSkipsTheRestAndPutsTheOutputsBack) {
  SetOutput(2, true);
  SetOutput(30, true);
  ASSERT_TRUE(WaitFor([&] { return Lit(2) && Lit(30); }));
  CheckoutWindow& window = tool->ShowCheckout();
  window.StartRun(QStringLiteral("Петров П.П."), dir.Path() + "/r.pdf");
  ASSERT_TRUE(WaitFor([&] { return window.Run()->CurrentStep() >= 10; }));
  window.findChild<QPushButton*>("cmd_stop")->click();
  ASSERT_TRUE(WaitFor([&] { return !window.Active(); }));
  EXPECT_EQ(window.Run()->End(), checkout::RunEnd::kStopped);
  EXPECT_TRUE(window.Run()->OutputsRestored());
  EXPECT_EQ(window.Run()->Results().back().state, checkout::StepState::kSkipped);
  EXPECT_EQ(window.Run()->Count(checkout::StepState::kFailed), 0);
  ASSERT_TRUE(WaitFor([&] { return Lit(2) && Lit(30) && !Lit(1) && !Lit(10); }))
      << "the outputs as the operator left them";
  // The operator has the outputs again.
  SetOutput(5, true);
  EXPECT_TRUE(WaitFor([&] { return Lit(5); }));
}

// A unit with a stuck input: the window shows the failure, and without "Продолжать после
// отказа" the run stops there, the rest skipped.
class CheckoutWindowOnFaultyUnit : public CheckoutWindowOnSim {
 protected:
  CheckoutWindowOnFaultyUnit() : CheckoutWindowOnSim({"--stuck-input", "3"}) {}
};

TEST_F(CheckoutWindowOnFaultyUnit, AFailureIsShownAndCanEndTheRun) {
  CheckoutWindow& window = tool->ShowCheckout();
  window.findChild<QCheckBox*>("chk_continue")->setChecked(false);
  window.StartRun(QStringLiteral("Петров П.П."), dir.Path() + "/r.pdf");
  ASSERT_TRUE(WaitFor([&] { return !window.Active(); }, 30000));
  auto* table = window.findChild<QTableWidget*>("tbl_steps");
  EXPECT_EQ(table->item(5, 4)->text(), "отказ: вход 3 не включился за 500 мс");
  EXPECT_EQ(table->item(6, 4)->text(), "пропущен");
  EXPECT_EQ(window.Run()->End(), checkout::RunEnd::kFailed);
  EXPECT_EQ(window.Run()->Count(checkout::StepState::kPassed), 5);
  EXPECT_TRUE(window.findChild<QLabel*>("lbl_result")->text().contains("НЕ ГОДЕН"));
  EXPECT_TRUE(window.Run()->OutputsRestored());
}

TEST_F(CheckoutWindowOnSim, ClosingTheToolInTheMiddlePutsTheOutputsBackFirst) {
  CheckoutWindow& window = tool->ShowCheckout();
  window.StartRun(QStringLiteral("Петров П.П."), dir.Path() + "/r.pdf");
  ASSERT_TRUE(WaitFor([&] { return window.Run()->CurrentStep() >= 10; }));
  tool->Window().close();
  EXPECT_FALSE(window.Active());
  EXPECT_EQ(window.Run()->End(), checkout::RunEnd::kStopped);
  EXPECT_TRUE(window.Run()->OutputsRestored());
}

// SIGTERM to the tool with the window (as main.cpp takes it) closes it as the operator would:
// the outputs go back first.
TEST_F(CheckoutWindowOnSim, ASignalInTheMiddlePutsTheOutputsBackFirst) {
  const QuitOnSignal quit;
  CheckoutWindow& window = tool->ShowCheckout();
  window.StartRun(QStringLiteral("Петров П.П."), dir.Path() + "/r.pdf");
  ASSERT_TRUE(WaitFor([&] { return window.Run()->CurrentStep() >= 10; }));
  ::raise(SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return quit.Requested(); }));
  EXPECT_FALSE(window.Active());
  EXPECT_EQ(window.Run()->End(), checkout::RunEnd::kStopped);
  EXPECT_TRUE(window.Run()->OutputsRestored());
  EXPECT_FALSE(tool->Window().isVisible());
}

}  // namespace
}  // namespace torvex
