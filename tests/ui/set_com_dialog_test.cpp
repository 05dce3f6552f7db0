#include "ui/set_com_dialog.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QWindow>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "config/configuration.h"
#include "support/fake_prompter.h"
#include "engine/modbus_engine.h"
#include "platform/qt_serial_port.h"
#include "support/bench_port.h"
#include "support/fake_adapter_source.h"
#include "support/fake_view.h"
#include "support/pty.h"
#include "platform/tcp_link.h"
#include "ui/polled_exchange.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

using test::BenchPort;

template <class W>
W* Child(const QWidget& parent, const char* name) {
  W* widget = parent.findChild<W*>(QString::fromUtf8(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// The entries' COM numbers as "COMn"; the device behind each follows after " — ".
QStringList Entries(const QWidget& dialog) {
  QStringList entries;
  const auto* list = Child<QComboBox>(dialog, "cmbCOMList");
  for (int i = 0; i < list->count(); ++i) {
    entries << list->itemText(i).section(QStringLiteral(" — "), 0, 0);
  }
  return entries;
}

// What the operator's pick in the drop-down list does.
void Choose(const QWidget& dialog, const QString& entry) {
  auto* list = Child<QComboBox>(dialog, "cmbCOMList");
  const int index = static_cast<int>(Entries(dialog).indexOf(entry));
  ASSERT_GE(index, 0) << entry.toStdString();
  list->setCurrentIndex(index);
  emit list->activated(index);
}

std::uint32_t SettingsColor(const QWidget& dialog) {
  return Child<QLineEdit>(dialog, "txt_settings")->palette().color(QPalette::Base).rgb() & 0xFFFFFF;
}

QByteArray FileContents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The port in use is COM3 in "19200,e,8,1", open, as after a good start.
class SetComDialogTest : public ::testing::Test {
 protected:
  SetComDialogTest() {
    config.SetPortNumber(3);
    config.SetPortSettings("19200,e,8,1");
    port.SetSettings(config.PortSettings());
    port.SetCommPort(3);
    port.Open();
  }

  QString Status() const { return view.Text({Control::lbl_sys_mes}); }

  QTemporaryDir dir;
  test::FakeView view;
  test::FakePrompter prompter;
  Configuration config{IniPathIn(dir.path()), view, view, prompter};
  BenchPort port;
  PolledExchange exchange{port, view};
  ModbusEngine& engine = exchange.Engine();
};

TEST_F(SetComDialogTest, ShowsItsControlsInReadingOrder) {
  SetComDialog dialog(port, config, view, engine);
  dialog.show();
  EXPECT_EQ(dialog.objectName(), "wndSetCOM");
  EXPECT_EQ(dialog.windowTitle(), "Настройка порта");

  const std::pair<const char*, QString> labels[] = {
      {"Label1", "Выберите порт:"},
      {"Label2", "Настройки режима:"},
      {"Label3", "Формат ввода режима: Ск, Чт, Дн, Ст"},
      {"Label4", "Ск - скорость (например - 115200, 57600, 9600)"},
      {"Label5", "Чт - четность (n-нет, e - четный, o - не четный)"},
      {"Label6", "Дн - количество битов данных (стандартно - 8)"},
      {"Label7", "Ст - количество стоповых битов (1 или 2)"},
  };
  int top = -1;
  for (const auto& [name, text] : labels) {
    const auto* label = Child<QLabel>(dialog, name);
    EXPECT_EQ(label->text(), text) << name;
    EXPECT_GT(label->y(), top) << name << " stands below the one before";
    top = label->y();
  }
  const auto* list = Child<QComboBox>(dialog, "cmbCOMList");
  const auto* settings = Child<QLineEdit>(dialog, "txt_settings");
  const auto* ok = Child<QPushButton>(dialog, "OK");
  const auto* cancel = Child<QPushButton>(dialog, "Отмена");
  EXPECT_EQ(ok->text(), QString::fromUtf16(u"\u041E\u041A")) << "Cyrillic О and К";
  EXPECT_EQ(cancel->text(), "Отмена");
  EXPECT_EQ(list->placeholderText(), "Выберите порт");
  EXPECT_EQ(settings->text(), "19200,e,8,1");
  EXPECT_EQ(SettingsColor(dialog), kWhite);

  EXPECT_GT(list->x(), Child<QLabel>(dialog, "Label1")->x());
  EXPECT_GT(settings->x(), Child<QLabel>(dialog, "Label2")->x());
  EXPECT_GT(settings->y(), list->y());
  EXPECT_EQ(ok->y(), cancel->y());
  EXPECT_GT(ok->y(), top);
  EXPECT_GT(ok->x(), cancel->x());
}

TEST_F(SetComDialogTest, LoadListsThePortsThatOpenWithoutSendingToThem) {
  port.present = {1, 3, 12, 17};  // 17 lies beyond the list
  // An exchange timer that fires at every pass of the event loop, as the scan yields to it.
  int ticks = 0;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    exchange.Tick(LinkName(config.Link(), config.PortNumber()), config.PortSettings());
  });
  timer.start();

  SetComDialog dialog(port, config, view, engine);
  EXPECT_GT(ticks, 0) << "the exchange ticked during the scan";
  EXPECT_TRUE(port.written.empty()) << "no frame went into a port opened only to test it";

  EXPECT_EQ(Entries(dialog), (QStringList{"COM1", "COM3", "COM12"}));
  EXPECT_EQ(Child<QComboBox>(dialog, "cmbCOMList")->currentText().section(QStringLiteral(" — "), 0, 0), "COM3");
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.portNumber, 3);

  QCoreApplication::processEvents();
  EXPECT_FALSE(port.written.empty()) << "the exchange sends again after the scan";
  EXPECT_EQ(port.writtenTo, std::vector<int>(port.writtenTo.size(), 3));
}

TEST_F(SetComDialogTest, ARejectedModeTurnsRedUntilEditedAndCancelRestoresThePort) {
  SetComDialog dialog(port, config, view, engine);
  dialog.show();
  auto* settings = Child<QLineEdit>(dialog, "txt_settings");
  Choose(dialog, "COM12");
  settings->setText("9600,x,8,2");
  Child<QPushButton>(dialog, "OK")->click();

  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(SettingsColor(dialog), kRed);
  EXPECT_TRUE(config.SettingsAccepted());
  EXPECT_EQ(config.PortNumber(), 12);
  EXPECT_EQ(config.PortSettings(), "9600,x,8,2");

  QTest::keyClick(settings, Qt::Key_Backspace);
  EXPECT_EQ(SettingsColor(dialog), kWhite);

  Child<QPushButton>(dialog, "Отмена")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(config.SettingsAccepted());
  EXPECT_EQ(config.PortNumber(), 3);
  EXPECT_EQ(config.PortSettings(), "19200,e,8,1");
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.portNumber, 3);
  EXPECT_EQ(port.settings, "19200,e,8,1");
  EXPECT_FALSE(QFile::exists(config.IniPath())) << "nothing saved";
}

TEST_F(SetComDialogTest, OkSavesTheChoiceAndReopensThePort) {
  view.slaveAddress = 7;
  SetComDialog dialog(port, config, view, engine);
  dialog.show();
  Choose(dialog, "COM12");
  Child<QLineEdit>(dialog, "txt_settings")->setText("115200,n,8,2");
  Child<QPushButton>(dialog, "OK")->click();

  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(FileContents(config.IniPath()),
            "[PC config]\nCOM=12\nCOMSettings=115200,n,8,2\n[VEM config]\nMBSLAD=7\n");
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.portNumber, 12);
  EXPECT_EQ(port.settings, "115200,n,8,2");
  EXPECT_EQ(Status(), "");
}

TEST_F(SetComDialogTest, TheCloseBoxAfterAnEarlierOkKeepsTheValuesAndFallsBackToTheFile) {
  {
    SetComDialog first(port, config, view, engine);
    first.show();
    Child<QLineEdit>(first, "txt_settings")->setText("115200,n,8,2");
    Child<QPushButton>(first, "OK")->click();
  }
  SetComDialog second(port, config, view, engine);
  second.show();
  Child<QLineEdit>(second, "txt_settings")->setText("garbage");
  Child<QPushButton>(second, "OK")->click();
  ASSERT_EQ(SettingsColor(second), kRed);
  second.close();

  EXPECT_FALSE(second.isVisible());
  EXPECT_EQ(Status(), kStatusNoPort) << "the rejected mode could not reopen the port";
  EXPECT_EQ(config.PortSettings(), "115200,n,8,2") << "reloaded from the file";
  EXPECT_EQ(config.PortNumber(), 3);
  EXPECT_TRUE(port.open) << "the next steps still ran with the reloaded port";
  EXPECT_EQ(port.portNumber, 3);
  EXPECT_EQ(port.settings, "115200,n,8,2");
}

TEST_F(SetComDialogTest, FromTheMenuItIsOneModelessDialogThatNeverHoldsTheProgram) {
  QWidget owner;
  owner.show();
  QPointer<SetComDialog> dialog = SetComDialog::ShowModeless(port, config, view, engine, &owner);
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(dialog->isModal());
  EXPECT_EQ(SetComDialog::ShowModeless(port, config, view, engine, &owner), dialog.data());

  // Qt ends the program when the last window without a transient parent closes.
  ASSERT_NE(dialog->windowHandle(), nullptr);
  EXPECT_EQ(dialog->windowHandle()->transientParent(), owner.windowHandle())
      << "the open dialog does not keep the program running";

  Child<QPushButton>(*dialog, "Отмена")->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

TEST_F(SetComDialogTest, AtStartUpItIsModalAndReturnsOnceClosed) {
  // Acts once the dialog is up: its scan runs the event loop before it is shown.
  bool wasModal = false;
  QTimer operator_;
  QObject::connect(&operator_, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<SetComDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    operator_.stop();
    wasModal = true;
    Choose(*dialog, "COM1");
    Child<QPushButton>(*dialog, "OK")->click();
  });
  operator_.start(0);
  SetComDialog::ExecModal(port, config, view, engine, nullptr);
  EXPECT_TRUE(wasModal);
  EXPECT_EQ(config.PortNumber(), 1);
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.portNumber, 1);
}

// Another program holding a device, as a second instance of the tool would.
class HeldElsewhere {
 public:
  explicit HeldElsewhere(const QString& device) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(release_) != 0) throw std::runtime_error("pipe");
    child_ = ::fork();
    if (child_ == 0) {
      ::close(ready[0]);
      ::close(release_[1]);  // else the read below never sees the parent let go
      QSerialPort other;
      other.setPortName(device);
      const char ok = other.open(QIODevice::ReadWrite) ? '1' : '0';
      (void)::write(ready[1], &ok, 1);
      char dummy;
      (void)::read(release_[0], &dummy, 1);  // returns when the parent lets go
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release_[0]);
    if (::read(ready[0], &held_, 1) != 1) held_ = '0';
    ::close(ready[0]);
  }
  ~HeldElsewhere() {
    ::close(release_[1]);
    ::waitpid(child_, nullptr, 0);
  }
  bool Held() const { return held_ == '1'; }

 private:
  int release_[2] = {-1, -1};
  pid_t child_ = -1;
  char held_ = '0';
};

// --- Adapters: the device behind each port, binding, and why nothing is listed -----------------

// Runs `act` on the binding dialog as soon as it shows, then closes it.
void OnBindingDialog(const std::function<void(QDialog&)>& act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->objectName(), "wndBindAdapter");
    act(*dialog);
    dialog->accept();
  });
}

TEST_F(SetComDialogTest, EachPortShowsItsDeviceAndAnAdapterIsBoundAndUnboundFromTheDialog) {
  const std::filesystem::path root = dir.path().toStdString();
  std::ofstream(root / "ttyUSB0") << "";
  const QString usb = QString::fromStdString((root / "ttyUSB0").string());
  const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  std::filesystem::create_directory(root / "ports");
  std::filesystem::create_symlink(root / "ttyUSB0", root / "ports" / "com3");
  test::FakeAdapterSource adapters;
  adapters.adapters = {{usb, "FT232R USB UART", "FTDI", "A50285BI", byId}};
  port.present = {1, 2, 3, 200};

  SetComDialog dialog(port, config, view, engine, nullptr, &adapters);
  const auto* list = Child<QComboBox>(dialog, "cmbCOMList");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(0), "COM1 — /dev/ttyS0");
  EXPECT_EQ(list->itemText(2), "COM3 — " + usb + ", FTDI FT232R USB UART, A50285BI");
  EXPECT_FALSE(Child<QLabel>(dialog, "lbl_no_ports")->isVisible());

  // COM2 is free: the adapter goes there by its by-id name.
  OnBindingDialog([&](QDialog& binding) {
    EXPECT_EQ(Child<QListWidget>(binding, "lst_adapters")->item(0)->text(),
              usb + ", FTDI FT232R USB UART, A50285BI\n    " + byId);
    auto* number = Child<QComboBox>(binding, "cmb_bind_port");
    EXPECT_EQ(number->currentData().toInt(), 1) << "the first free number: COM1 has no link";
    EXPECT_EQ(number->count(), 255) << "COM1-COM255, as the port layer opens them";
    number->setCurrentIndex(number->findData(200));
    Child<QPushButton>(binding, "cmd_bind")->click();
    number->setCurrentIndex(number->findData(2));
    Child<QPushButton>(binding, "cmd_bind")->click();
    EXPECT_EQ(Child<QLabel>(binding, "lbl_bind_result")->text(), "COM2 привязан к " + byId);
  });
  QTest::mouseClick(Child<QPushButton>(dialog, "cmd_bind_adapter"), Qt::LeftButton);
  EXPECT_EQ(std::filesystem::read_symlink(root / "ports" / "com2"), byId.toStdString());
  EXPECT_EQ(list->itemText(1), "COM2 — " + QString::fromStdString((root / "ports" / "com2").string()))
      << "the list is scanned again";
  EXPECT_EQ(Entries(dialog), (QStringList{"COM1", "COM2", "COM3", "COM200"}))
      << "whatever can be bound can be chosen";
  EXPECT_EQ(port.portNumber, 3) << "the live port stays the one in use";
  EXPECT_TRUE(port.IsOpen());

  OnBindingDialog([&](QDialog& binding) {
    auto* number = Child<QComboBox>(binding, "cmb_bind_port");
    number->setCurrentIndex(number->findData(3));
    EXPECT_EQ(number->currentText(), "COM3 — " + usb + ", FTDI FT232R USB UART, A50285BI");
    Child<QPushButton>(binding, "cmd_unbind")->click();
    EXPECT_EQ(number->currentText(), "COM3 — свободен");
  });
  QTest::mouseClick(Child<QPushButton>(dialog, "cmd_bind_adapter"), Qt::LeftButton);
  EXPECT_FALSE(std::filesystem::is_symlink(root / "ports" / "com3"));
  EXPECT_TRUE(std::filesystem::exists(root / "ttyUSB0"));
  dialog.reject();
}

TEST_F(SetComDialogTest, WithNothingToListTheDialogSaysWhyAndHowToBindAnAdapter) {
  const std::filesystem::path root = dir.path().toStdString();
  std::filesystem::create_directory(root / "ports");
  std::filesystem::create_symlink("/dev/serial/by-id/usb-gone", root / "ports" / "com2");
  port.present = {};
  PortFault gone;
  gone.reason = PortFault::Reason::NoSuchDevice;
  gone.device = "/dev/serial/by-id/usb-gone";
  PortFault noRights;
  noRights.reason = PortFault::Reason::NoPermission;
  noRights.device = "/dev/ttyS0";
  noRights.group = "dialout";
  port.faults = {{1, noRights}, {2, gone}};
  test::FakeAdapterSource none;

  SetComDialog dialog(port, config, view, engine, nullptr, &none);
  dialog.show();
  const auto* why = Child<QLabel>(dialog, "lbl_no_ports");
  EXPECT_TRUE(why->isVisible());
  EXPECT_EQ(why->text(),
            "Ни один порт не открывается: ни COM1-COM16, ни привязанные.\n"
            "COM1: " + PortFaultText(noRights) + "\n"
            "COM2: " + PortFaultText(gone) + "\n"
            "Подключите адаптер USB-RS485 и нажмите «Привязать адаптер…», или привяжите его "
            "вручную: ln -s /dev/ttyUSB0 " + QString::fromStdString((root / "ports").string()) + "/com1");

  OnBindingDialog([&](QDialog& binding) {
    EXPECT_FALSE(Child<QListWidget>(binding, "lst_adapters")->isVisible());
    const auto* text = Child<QLabel>(binding, "lbl_no_adapters");
    EXPECT_TRUE(text->isVisible());
    EXPECT_TRUE(text->text().startsWith("Адаптеры не найдены."));
    EXPECT_FALSE(Child<QPushButton>(binding, "cmd_bind")->isEnabled());
  });
  QTest::mouseClick(Child<QPushButton>(dialog, "cmd_bind_adapter"), Qt::LeftButton);
  dialog.reject();
}

TEST_F(SetComDialogTest, TheEchoBoxShowsTheFileAndOkSavesIt) {
  {
    QFile file(config.IniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[PC config]\nCOM=3\nCOMSettings=115200,n,8,2\nEcho=1\n");
  }
  config.LoadConfig();
  {
    SetComDialog dialog(port, config, view, engine);
    auto* echo = Child<QCheckBox>(dialog, "chk_echo");
    EXPECT_EQ(echo->text(), "Адаптер возвращает отправленное (эхо)");
    EXPECT_TRUE(echo->isChecked());
    echo->setChecked(false);
    dialog.reject();
  }
  EXPECT_TRUE(config.Echo()) << "Отмена keeps it";
  SetComDialog dialog(port, config, view, engine);
  Child<QCheckBox>(dialog, "chk_echo")->setChecked(false);
  Child<QPushButton>(dialog, "OK")->click();
  EXPECT_FALSE(config.Echo());
  EXPECT_TRUE(FileContents(config.IniPath()).contains("\nEcho=0\n"));
}

// "Период опроса" under "Ожидание ответа, мс": the usual periods to pick or a number typed in;
// it opens on the period in use, refuses what is no period and saves what is.
TEST_F(SetComDialogTest, ThePollPeriodIsPickedOrTypedAndSavedByOk) {
  {
    SetComDialog dialog(port, config, view, engine);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    auto* period = Child<QComboBox>(dialog, "cmb_poll_period");
    const auto* timeout = Child<QLineEdit>(dialog, "txt_response_timeout");
    const auto* label = Child<QLabel>(dialog, "lbl_poll_period");
    EXPECT_EQ(label->text(), "Период опроса:");
    EXPECT_GT(period->y(), timeout->y());
    EXPECT_EQ(period->x(), timeout->x());
    EXPECT_LT(label->x(), period->x());
    EXPECT_TRUE(period->isEditable());
    QStringList items;
    for (int i = 0; i < period->count(); ++i) items << period->itemText(i);
    EXPECT_EQ(items, (QStringList{"непрерывно", "10 мс", "20 мс", "50 мс", "100 мс", "200 мс",
                                  "500 мс", "1000 мс"}));
    EXPECT_EQ(period->currentText(), "100 мс");

    // Typed as the operator types: what is typed is taken, never completed to an item. (The
    // test's keyboard has Latin keys only; Cyrillic text goes in as if pasted.)
    const auto type = [period](const QString& text) {
      period->lineEdit()->clear();
      period->lineEdit()->setFocus();
      if (text.toLatin1() == text.toUtf8()) QTest::keyClicks(period->lineEdit(), text);
      else period->lineEdit()->insert(text);
      EXPECT_EQ(period->currentText(), text);
    };
    auto* fault = Child<QLabel>(dialog, "lbl_link_fault");
    for (const char* refused : {"5", "0", "1500", "непрерывно!"}) {
      type(QString::fromUtf8(refused));
      Child<QPushButton>(dialog, "OK")->click();
      EXPECT_TRUE(dialog.isVisible()) << refused;
      EXPECT_TRUE(fault->isVisible()) << refused;
      EXPECT_EQ(fault->text(), kBadPollPeriodText) << refused;
    }
    EXPECT_FALSE(QFile::exists(config.IniPath())) << "nothing saved";

    type("20");
    Child<QPushButton>(dialog, "OK")->click();
    EXPECT_FALSE(dialog.isVisible());
  }
  EXPECT_EQ(config.PollPeriod(), 20ms);
  EXPECT_TRUE(FileContents(config.IniPath()).contains("\nPollPeriodMs=20\n"))
      << FileContents(config.IniPath()).toStdString();

  // Opened again it shows the period saved, continuous polling by its word, and a period not
  // in the list as it is; the list offers what it always does.
  for (const auto& [ms, shown] : {std::pair{20, "20 мс"}, std::pair{0, "непрерывно"},
                                  std::pair{30, "30 мс"}}) {
    config.SetPollPeriod(std::chrono::milliseconds(ms));
    SetComDialog dialog(port, config, view, engine);
    auto* period = Child<QComboBox>(dialog, "cmb_poll_period");
    EXPECT_EQ(period->currentText(), QString::fromUtf8(shown)) << ms;
    EXPECT_EQ(period->count(), 8) << ms;
    dialog.reject();
  }
}

// What the dialog works on in the tool, with the real serial layer: COM`number` open in
// "9600,n,8,2" and saved as the port in use.
struct RealPortInUse {
  RealPortInUse(const test::ProgramDir& program, int number)
      : config(IniPathIn(program.Path()), view, view, prompter), port(program.Path()) {
    config.SetPortNumber(static_cast<std::uint8_t>(number));
    config.SetPortSettings("9600,n,8,2");
    port.SetSettings(config.PortSettings());
    port.SetCommPort(number);
    port.Open();
  }
  test::FakeView view;
  test::FakePrompter prompter;
  Configuration config;
  QtSerialPort port;
  ModbusEngine engine{port};
};

TEST(SetComDialogOnPseudoTerminals, ListsExactlyThePortsThatOpenAndSwitchesBetweenThem) {
  test::ProgramDir program;
  test::Pty com1, com2, com3;
  program.Bind(1, com1.SlavePath());
  program.Bind(2, com2.SlavePath());
  program.Bind(3, com3.SlavePath());
  // Every other number points nowhere, so the scan never opens a built-in /dev/ttyS* (which
  // can be the machine's console).
  for (int n = 4; n <= SetComDialog::kLastListedPort; ++n) {
    program.Bind(n, program.Path().toStdString() + "/absent/tty" + std::to_string(n));
  }
  HeldElsewhere holder(com2.SlaveQPath());
  ASSERT_TRUE(holder.Held());

  RealPortInUse tool(program, 3);
  auto& [view, prompter, config, port, engine] = tool;

  SetComDialog dialog(port, config, view, engine);
  dialog.show();
  EXPECT_EQ(Entries(dialog), (QStringList{"COM1", "COM3"}));
  EXPECT_EQ(Child<QComboBox>(dialog, "cmbCOMList")->currentText().section(QStringLiteral(" — "), 0, 0), "COM3");

  const auto reaches = [&](test::Pty& pty, std::uint8_t byte) {
    port.Write(Bytes{byte});
    return pty.Read(1, 1s) == Bytes{byte};
  };
  EXPECT_TRUE(reaches(com3, 0x31)) << "the current port is open again after the scan";
  Choose(dialog, "COM1");
  EXPECT_TRUE(reaches(com1, 0x11));
  EXPECT_TRUE(com3.Read(1, 20ms).empty());

  Child<QPushButton>(dialog, "Отмена")->click();
  EXPECT_TRUE(reaches(com3, 0x32)) << "Отмена goes back to the port in use before";
}

// An adapter bound as COM20 and working: the dialog lists it chosen, and OK keeps it.
TEST(SetComDialogOnPseudoTerminals, ABoundPortAboveSixteenIsListedChosenAndKeptByOk) {
  test::ProgramDir program;
  program.BindOthersToNowhere();
  test::Pty com1, com20;
  program.Bind(1, com1.SlavePath());
  program.Bind(20, com20.SlavePath());

  RealPortInUse tool(program, 20);
  auto& [view, prompter, config, port, engine] = tool;

  SetComDialog dialog(port, config, view, engine);
  dialog.show();
  const auto* list = Child<QComboBox>(dialog, "cmbCOMList");
  EXPECT_EQ(Entries(dialog), (QStringList{"COM1", "COM20"}));
  EXPECT_TRUE(list->isEnabled());
  EXPECT_EQ(list->currentText(), "COM20 — " + com20.SlaveQPath());
  EXPECT_FALSE(Child<QLabel>(dialog, "lbl_no_ports")->isVisible());

  Child<QPushButton>(dialog, "OK")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(FileContents(config.IniPath()).contains("\nCOM=20\n"));
  port.Write(Bytes{0x20});
  EXPECT_EQ(com20.Read(1, 1s), Bytes{0x20}) << "COM20 is open again";
}

// "Подключение": a network link chosen, connected at OK and saved; a server that cannot be
// reached is named in the dialog, which stays open; back to the COM port, the network link is
// closed and the serial port opened again.
TEST_F(SetComDialogTest, ANetworkLinkIsConnectedAtOkAndAFailureIsShownInTheDialog) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  const QString served = QString::number(server.serverPort());
  QTcpServer gone;
  ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
  const QString nobody = QString::number(gone.serverPort());
  gone.close();
  TcpLink network;

  auto dialog = std::make_unique<SetComDialog>(port, config, view, engine, nullptr, nullptr,
                                               &network);
  dialog->show();
  auto* kind = Child<QComboBox>(*dialog, "cmb_link");
  EXPECT_EQ(kind->currentText(), "COM-порт");
  EXPECT_FALSE(Child<QLineEdit>(*dialog, "txt_host")->isVisible());
  kind->setCurrentIndex(kind->findText("Modbus TCP"));
  EXPECT_TRUE(Child<QLineEdit>(*dialog, "txt_host")->isVisible());
  EXPECT_EQ(Child<QLineEdit>(*dialog, "txt_tcp_port")->text(), "502") << "the usual port";
  kind->setCurrentIndex(kind->findText("RTU поверх TCP"));
  EXPECT_EQ(Child<QLineEdit>(*dialog, "txt_tcp_port")->text(), "4001");
  kind->setCurrentIndex(kind->findText("Modbus TCP"));

  // Entries that name no server, then a server that refuses: the dialog says why and stays.
  const struct {
    QString host, tcpPort, timeout, words;
  } refused[] = {
      {"", "502", "", kNoHostText},
      {"127.0.0.1", "70000", "", kBadTcpPortText},
      {"127.0.0.1", served, "abc", kBadTimeoutText},
      {"127.0.0.1", nobody, "", "Сервер 127.0.0.1:" + nobody + ": соединение отвергнуто"},
  };
  auto* fault = Child<QLabel>(*dialog, "lbl_link_fault");
  for (const auto& c : refused) {
    Child<QLineEdit>(*dialog, "txt_host")->setText(c.host);
    Child<QLineEdit>(*dialog, "txt_tcp_port")->setText(c.tcpPort);
    Child<QLineEdit>(*dialog, "txt_response_timeout")->setText(c.timeout);
    Child<QPushButton>(*dialog, "OK")->click();
    EXPECT_TRUE(dialog->isVisible()) << c.words.toStdString();
    EXPECT_TRUE(fault->isVisible());
    EXPECT_TRUE(fault->text().startsWith(c.words)) << fault->text().toStdString();
  }
  EXPECT_FALSE(FileContents(config.IniPath()).contains("Link")) << "nothing saved yet";

  Child<QLineEdit>(*dialog, "txt_tcp_port")->setText(served);
  Child<QLineEdit>(*dialog, "txt_response_timeout")->setText("400");
  Child<QPushButton>(*dialog, "OK")->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(network.IsOpen());
  EXPECT_FALSE(port.open) << "the serial port is let go";
  EXPECT_EQ(config.Link(), (LinkChoice{LinkKind::kModbusTcp, "127.0.0.1",
                                       static_cast<std::uint16_t>(served.toUInt())}));
  EXPECT_EQ(config.ResponseTimeout(), 400ms);
  const QByteArray saved = FileContents(config.IniPath());
  EXPECT_TRUE(saved.contains("Link=modbus-tcp\nHost=127.0.0.1\nTcpPort=" + served.toUtf8() +
                             "\nResponseTimeoutMs=400\n"))
      << saved.toStdString();

  // Opened again, it shows the link; Отмена keeps it. Back to the COM port with OK.
  dialog = std::make_unique<SetComDialog>(port, config, view, engine, nullptr, nullptr, &network);
  EXPECT_EQ(Child<QComboBox>(*dialog, "cmb_link")->currentText(), "Modbus TCP");
  EXPECT_EQ(Child<QLineEdit>(*dialog, "txt_host")->text(), "127.0.0.1");
  EXPECT_FALSE(port.open) << "loading leaves the serial port closed over the network";
  Child<QPushButton>(*dialog, "Отмена")->click();
  EXPECT_TRUE(network.IsOpen());
  dialog = std::make_unique<SetComDialog>(port, config, view, engine, nullptr, nullptr, &network);
  kind = Child<QComboBox>(*dialog, "cmb_link");
  kind->setCurrentIndex(kind->findText("COM-порт"));
  Child<QPushButton>(*dialog, "OK")->click();
  EXPECT_FALSE(network.Wanted());
  EXPECT_TRUE(port.open);
  EXPECT_EQ(config.Link().kind, LinkKind::kSerial);
  EXPECT_TRUE(FileContents(config.IniPath()).contains("Link=serial\n"));
}

}  // namespace
}  // namespace torvex
