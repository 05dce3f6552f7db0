// Makes the pictures of the operator's manual from the real windows, the tool polling the
// simulated controller: `make screenshot` runs it into docs/manual/img/. Each case is one
// picture; TORVEX_PICTURES names the folder they go into. The tool runs in a temporary folder,
// which the pictures show as the operator's own (his settings folder, his documents).
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "paramset/set_file.h"
#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/checkout_window.h"
#include "ui/param_file_menu.h"
#include "ui/tool.h"

namespace torvex {
namespace {

// Where the pictures say the files are: the settings folder of an installed tool, and the
// operator's home with its documents.
const QString kSettingsFolder = QStringLiteral("/home/oper/.config/torvex-tp");
const QString kHome = QStringLiteral("/home/oper");

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
  // Every text of the windows shown that names the temporary folder names `folder` instead.
  void ShowFolderAs(const QList<QWidget*>& shown, const QString& folder) const {
    for (QWidget* widget : shown) {
      for (QLabel* label : widget->findChildren<QLabel*>()) {
        label->setText(label->text().replace(dir.Path(), folder));
      }
    }
    QTest::qWait(100);  // laid out again with the texts
  }
  // The picture of what `shown` draws; none of their texts may name the temporary folder.
  void Save(const QPixmap& picture, const QString& name, const QList<QWidget*>& shown) const {
    for (QWidget* widget : shown) {
      for (const QLabel* label : widget->findChildren<QLabel*>()) {
        ASSERT_FALSE(label->text().contains(dir.Path()) || label->text().contains(QLatin1String("/tmp/")))
            << name.toStdString() << ": " << label->text().toStdString();
      }
    }
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
    Save(picture, name, {&window, menu});
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
  ShowFolderAs({dialog}, kSettingsFolder);
  Save(dialog->grab(), "settings.png", {dialog});
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
  ShowFolderAs({dialog}, kSettingsFolder);
  Save(dialog->grab(), "settings-network.png", {dialog});
}

TEST_F(Pictures, ParamsMenu) {
  Start();
  SaveWithMenu("mnu_params", "params-menu.png");
}

TEST_F(Pictures, RecordingMenu) {
  Start();
  tool->RecordingMenu().StartRecording(dir.Path() + "/запись.csv", record::ExistingFile::kKeep);
  QTest::qWait(1000);
  Save(tool->Window().grab(), "recording-menu.png", {&tool->Window()});
}

TEST_F(Pictures, CheckoutFinished) {
  Start({"--stuck-input", "7", "--short-inputs", "4,5"});
  CheckoutWindow& checkout = tool->ShowCheckout();
  ASSERT_TRUE(QDir(dir.Path()).mkpath(QStringLiteral("Документы")));
  checkout.StartRun(QStringLiteral("Иванов И. И."),
                    dir.Path() + "/Документы/проверка-адрес7-2026-12-11-101500.pdf");
  ASSERT_TRUE(test::WaitFor([&] { return !checkout.Active(); }, 90000));
  checkout.findChild<QAbstractItemView*>("tbl_steps")->scrollToTop();  // the failed steps
  QTest::qWait(500);
  ShowFolderAs({&checkout}, kHome);
  Save(checkout.grab(), "checkout-finished.png", {&checkout});
}

// The controller compared with a file of its parameters in which two differ, the dialog over the
// window.
TEST_F(Pictures, ParamsCompare) {
  Start();
  ASSERT_TRUE(QDir(dir.Path()).mkpath(QStringLiteral("Документы")));
  const QString file = dir.Path() + "/Документы/насосная-контроллер-3.txt";
  tool->ParamFiles().SaveToFile(file);
  QMessageBox* saved = nullptr;
  ASSERT_TRUE(test::WaitFor([&] { return (saved = TopLevel<QMessageBox>("msg_params")) != nullptr; }, 30000));
  saved->close();
  paramset::SetFile read = paramset::ReadSetFile(file);
  ASSERT_TRUE(read.image) << read.error.toStdString();
  paramfile::ParamImage& image = *read.image;
  image[paramfile::Spot(1).address + 1] += 1;  // AIN1 Pt100, point 2: 138,5 -> 138,6
  image[paramfile::Spot(8).address + 1] = 3;   // AIN1, the first input's sensor type: Pt1000
  paramfile::FileHeader header;
  header.address = 7;
  ASSERT_FALSE(paramset::SaveSetFile(file, image, header));

  tool->ParamFiles().CompareWithFile(file);
  QWidget* dialog = nullptr;
  ASSERT_TRUE(test::WaitFor([&] { return (dialog = TopLevel<QWidget>("dlg_params_compare")) != nullptr; }, 30000));
  QTest::qWait(300);
  ShowFolderAs({dialog}, kHome);
  MainWindow& window = tool->Window();
  QPixmap picture = window.grab();
  QPainter painter(&picture);
  painter.drawPixmap((picture.width() - dialog->width()) * 3 / 4, (picture.height() - dialog->height()) / 3,
                     dialog->grab());
  painter.end();
  Save(picture, "params-compare.png", {&window, dialog});
}

}  // namespace
}  // namespace torvex
