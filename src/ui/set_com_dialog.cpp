#include "ui/set_com_dialog.h"

#include <utility>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/configuration.h"
#include "engine/modbus_engine.h"
#include "platform/serial_port.h"
#include "view/main_view.h"

namespace torvex {
namespace {

QString PortEntry(int number) { return QStringLiteral("COM") + QString::number(number); }

// The exchange writes nothing while held: a port opened only to see whether it opens must not
// receive a request frame.
class SendingHold {
 public:
  explicit SendingHold(ModbusEngine& engine) : engine_(engine) { engine_.SetSendingHeld(true); }
  ~SendingHold() { engine_.SetSendingHeld(false); }
  SendingHold(const SendingHold&) = delete;
  SendingHold& operator=(const SendingHold&) = delete;

 private:
  ModbusEngine& engine_;
};

}  // namespace

void SetComDialog::ExecModal(SerialPort& port, Configuration& config, MainView& view,
                             ModbusEngine& engine, QWidget* owner) {
  SetComDialog dialog(port, config, view, engine, owner);
  dialog.exec();
}

SetComDialog* SetComDialog::ShowModeless(SerialPort& port, Configuration& config, MainView& view,
                                         ModbusEngine& engine, QWidget* owner) {
  if (owner) {
    const auto open = owner->findChildren<SetComDialog*>(QString(), Qt::FindDirectChildrenOnly);
    for (SetComDialog* dialog : open) {
      if (dialog->loading_) return dialog;  // shows itself when its scan is done
      if (dialog->isVisible()) {
        dialog->raise();
        dialog->activateWindow();
        return dialog;
      }
    }
  }
  auto* dialog = new SetComDialog(port, config, view, engine, owner);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
  return dialog;
}

SetComDialog::SetComDialog(SerialPort& port, Configuration& config, MainView& view,
                           ModbusEngine& engine, QWidget* owner)
    : QDialog(owner), port_(port), config_(config), view_(view), engine_(engine) {
  BuildControls();
  Load();
}

void SetComDialog::BuildControls() {
  setObjectName(QStringLiteral("wndSetCOM"));
  setWindowTitle(QStringLiteral("Настройка порта"));

  const auto label = [this](const char* name, const QString& text) {
    auto* widget = new QLabel(text, this);
    widget->setObjectName(QLatin1String(name));
    return widget;
  };

  cmbCOMList_ = new QComboBox(this);
  cmbCOMList_->setObjectName(QStringLiteral("cmbCOMList"));
  cmbCOMList_->setPlaceholderText(QStringLiteral("Выберите порт"));
  txt_settings_ = new QLineEdit(QStringLiteral("115200,n,8,2"), this);
  txt_settings_->setObjectName(QStringLiteral("txt_settings"));
  SetSettingsColor(kWhite);

  auto* ok = new QPushButton(QStringLiteral("ОК"), this);
  ok->setObjectName(QStringLiteral("OK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
  cancel->setObjectName(QStringLiteral("Отмена"));
  cancel->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(label("Label1", QStringLiteral("Выберите порт:")), 0, 0);
  grid->addWidget(cmbCOMList_, 0, 1);
  grid->addWidget(label("Label2", QStringLiteral("Настройки режима:")), 1, 0);
  grid->addWidget(txt_settings_, 1, 1);
  // The help lines under the two fields, each across the whole width.
  const std::pair<const char*, const char*> help[] = {
      {"Label3", "Формат ввода режима: Ск, Чт, Дн, Ст"},
      {"Label4", "Ск - скорость (например - 115200, 57600, 9600)"},
      {"Label5", "Чт - четность (n-нет, e - четный, o - не четный)"},
      {"Label6", "Дн - количество битов данных (стандартно - 8)"},
      {"Label7", "Ст - количество стоповых битов (1 или 2)"},
  };
  int row = 2;
  for (const auto& [name, text] : help) {
    grid->addWidget(label(name, QString::fromUtf8(text)), row++, 0, 1, 2);
  }
  // Which file OK saves into: beside the program, in the user's folder or under --config.
  auto* iniPath = label("lbl_ini_path", QStringLiteral("Файл настроек: ") +
                                            QDir::toNativeSeparators(config_.IniPath()));
  iniPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(iniPath, row++, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cancel);
  buttons->addStretch();
  buttons->addWidget(ok);
  grid->addLayout(buttons, row, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);

  // activated: chosen by the operator, not the preselection made while loading.
  connect(cmbCOMList_, &QComboBox::activated, this, &SetComDialog::cmbCOMList_Click);
  // Raised also when the text is set by the program, as the loaded text is.
  connect(txt_settings_, &QLineEdit::textChanged, this, [this] { SetSettingsColor(kWhite); });
  connect(ok, &QPushButton::clicked, this, &SetComDialog::OK_Click);
  connect(cancel, &QPushButton::clicked, this, &SetComDialog::Cancel_Click);
}

void SetComDialog::Load() {
  loading_ = true;
  SavedPort_ = config_.PortNumber();
  SavedSettings_ = config_.PortSettings();
  txt_settings_->setText(config_.PortSettings());
  if (port_.IsOpen()) port_.Close();
  GiveScanMode();
  {
    SendingHold hold(engine_);
    for (int number = kFirstListedPort; number <= kLastListedPort; ++number) {
      bool ScanOk = true;
      try {
        port_.SetCommPort(number);
        port_.Open();
      } catch (const PortError&) {
        ScanOk = false;
      }
      QCoreApplication::processEvents();  // keep the window and the exchange ticks alive
      if (ScanOk) {
        port_.Close();
        cmbCOMList_->addItem(PortEntry(number));
      }
    }
  }
  // Not listed: no selection, and the box shows its placeholder.
  cmbCOMList_->setCurrentIndex(cmbCOMList_->findText(PortEntry(config_.PortNumber())));
  try {
    port_.SetCommPort(config_.PortNumber());
    port_.Open();  // not when the number was refused: that would open the last scanned port
  } catch (const PortError&) {
  }
  loading_ = false;
}

// A port opens only with a mode. At the first start the file holds an empty mode string, which
// the port refuses, and every port would be left out of the list; the scan then opens them in
// the mode a file without "COMSettings" stands for.
void SetComDialog::GiveScanMode() {
  try {
    port_.SetSettings(config_.PortSettings());
  } catch (const PortError&) {
    try {
      port_.SetSettings(kDefaultPortSettings);
    } catch (const PortError&) {
    }
  }
}

void SetComDialog::cmbCOMList_Click(int index) {
  if (index < 0) return;
  // Each step is tried even if the one before failed; a port that does not open shows as
  // "no answer" in the exchange until another is chosen. PortNumber waits for OK.
  if (port_.IsOpen()) port_.Close();
  try {
    port_.SetCommPort(cmbCOMList_->itemText(index).mid(3).toInt());
  } catch (const PortError&) {
  }
  try {
    port_.Open();
  } catch (const PortError&) {
  }
}

void SetComDialog::OK_Click() {
  config_.SetSettingsAccepted(true);
  const int chosen = cmbCOMList_->currentIndex();
  if (chosen >= 0) {  // with nothing chosen the current port stays
    config_.SetPortNumber(static_cast<std::uint8_t>(cmbCOMList_->itemText(chosen).mid(3).toInt()));
  }
  config_.SetPortSettings(txt_settings_->text());
  try {
    port_.SetSettings(config_.PortSettings());
  } catch (const PortError&) {
    SetSettingsColor(kRed);
    return;
  }
  config_.SaveConfig();
  accept();
}

void SetComDialog::Cancel_Click() {
  config_.SetSettingsAccepted(false);
  reject();
}

void SetComDialog::closeEvent(QCloseEvent* event) {
  // The scan runs the event loop; a close request then waits until the dialog is loaded.
  if (loading_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void SetComDialog::done(int result) {
  if (loading_) return;
  Unload();
  QDialog::done(result);
}

void SetComDialog::Unload() {
  if (port_.IsOpen()) port_.Close();
  if (!config_.SettingsAccepted()) {
    config_.SetPortNumber(SavedPort_);
    config_.SetPortSettings(SavedSettings_);
  }
  ReopenPort();
}

void SetComDialog::ReopenPort() {
  if (port_.IsOpen()) return;
  // A failed step reports, reloads the saved configuration and goes on with the next step,
  // which then works with the reloaded values.
  bool failed = false;
  const auto step = [&](auto&& action) {
    try {
      action();
    } catch (const PortError&) {
      failed = true;
      view_.SetText({Control::lbl_sys_mes}, kStatusNoPort);
      config_.LoadConfig();
    }
  };
  step([&] { port_.SetSettings(config_.PortSettings()); });
  step([&] { port_.SetCommPort(config_.PortNumber()); });
  step([&] { port_.Open(); });
  // LoadConfig ends by clearing the status line; the report is what the operator must see.
  if (failed) view_.SetText({Control::lbl_sys_mes}, kStatusNoPort);
}

void SetComDialog::SetSettingsColor(std::uint32_t rgb) {
  QPalette palette = txt_settings_->palette();
  palette.setColor(QPalette::Base, QColor::fromRgb(rgb));
  txt_settings_->setPalette(palette);
}

}  // namespace torvex
