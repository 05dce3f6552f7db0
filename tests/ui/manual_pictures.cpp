// Makes the pictures of the operator's manual from the real windows, the tool polling the
// simulated controller: `make screenshot` runs it into docs/manual/img/. Each case is one
// picture; TORVEX_PICTURES names the folder they go into.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/checkout_window.h"
#include "ui/tool.h"

namespace torvex {
namespace {

class Pictures : public ::testing::Test {
 protected:
  Pictures() {
    QLocale::setDefault(QLocale(QLocale::Russian));
    dir.BindOthersToNowhere();
  }
  ~Pictures() override { QLocale::setDefault(QLocale::c()); }

  void Start(const QStringList& simOptions = {}) {
    sim = std::make_unique<test::SimRunner>(dir.LinkPath(1), simOptions);
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini", "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    ASSERT_TRUE(tool->FormLoad());
    ASSERT_TRUE(test::WaitFor([&] {
      return tool->Window().Text({Control::lbl_sys_mes}) == test::kStatusLinkUp &&
             tool->Window().Text({Control::lbl_sw_ver}) != "-";
    }));
    QTest::qWait(1500);  // the values of a few cycles
  }
  static void Save(const QPixmap& picture, const QString& name) {
    const QString folder = qEnvironmentVariable("TORVEX_PICTURES", QStringLiteral("."));
    ASSERT_TRUE(picture.save(folder + '/' + name)) << name.toStdString();
  }
  template <class W>
  static W* TopLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == QLatin1String(name) && w->isVisible()) return qobject_cast<W*>(w);
    }
    return nullptr;
  }
  QWidget* OpenSettings() {
    emit tool->Window().mnu_settings_Click();
    QWidget* dialog = nullptr;
    EXPECT_TRUE(test::WaitFor([&] { return (dialog = TopLevel<QWidget>("wndSetCOM")) != nullptr; }));
    QTest::qWait(300);
    return dialog;
  }
  // The window with one of its menus open over it, as the operator sees them.
  void SaveWithMenu(const char* menuName, const QString& name) {
    MainWindow& window = tool->Window();
    QMenu* menu = window.findChild<QMenu*>(menuName);
    ASSERT_NE(menu, nullptr);
    const QRect item = window.menuBar()->actionGeometry(menu->menuAction());
    const QPoint at = window.menuBar()->mapTo(&window, item.bottomLeft());
    menu->popup(window.mapToGlobal(at));
    QTest::qWait(300);
    QPixmap picture = window.grab();
    QPainter painter(&picture);
    painter.drawPixmap(at, menu->grab());
    painter.end();
    menu->hide();
    Save(picture, name);
  }

  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<test::SimRunner> sim;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

TEST_F(Pictures, Settings) {
  Start();
  QWidget* dialog = OpenSettings();
  ASSERT_NE(dialog, nullptr);
  Save(dialog->grab(), "settings.png");
}

TEST_F(Pictures, SettingsNetwork) {
  Start();
  QWidget* dialog = OpenSettings();
  ASSERT_NE(dialog, nullptr);
  auto* link = dialog->findChild<QComboBox*>("cmb_link");
  ASSERT_NE(link, nullptr);
  link->setCurrentIndex(2);  // Modbus TCP
  dialog->findChild<QLineEdit*>("txt_host")->setText(QStringLiteral("127.0.0.1"));
  dialog->findChild<QLineEdit*>("txt_tcp_port")->setText(QStringLiteral("5020"));
  dialog->findChild<QPushButton*>("OK")->click();
  auto* fault = dialog->findChild<QLabel*>("lbl_link_fault");
  ASSERT_NE(fault, nullptr);
  EXPECT_TRUE(test::WaitFor([&] { return fault->isVisible() && !fault->text().isEmpty(); }));
  Save(dialog->grab(), "settings-network.png");
}

TEST_F(Pictures, ParamsMenu) {
  Start();
  SaveWithMenu("mnu_params", "params-menu.png");
}

TEST_F(Pictures, RecordingMenu) {
  Start();
  tool->RecordingMenu().StartRecording(dir.Path() + "/запись.csv", record::ExistingFile::kKeep);
  QTest::qWait(1000);
  Save(tool->Window().grab(), "recording-menu.png");
}

TEST_F(Pictures, CheckoutFinished) {
  Start({"--stuck-input", "7", "--short-inputs", "4,5"});
  CheckoutWindow& checkout = tool->ShowCheckout();
  checkout.StartRun(QStringLiteral("Иванов И. И."), dir.Path() + "/протокол.pdf");
  ASSERT_TRUE(test::WaitFor([&] { return !checkout.Active(); }, 90000));
  checkout.findChild<QAbstractItemView*>("tbl_steps")->scrollToTop();  // the failed steps
  QTest::qWait(500);
  Save(checkout.grab(), "checkout-finished.png");
}

}  // namespace
}  // namespace torvex
