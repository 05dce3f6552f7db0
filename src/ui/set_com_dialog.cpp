#include "ui/set_com_dialog.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <QCheckBox>
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
#include "ui/bind_adapter_dialog.h"

namespace torvex {

void SetComDialog::ExecModal(SerialPort& port, Configuration& config, StatusLine& status,
                             ModbusEngine& engine, QWidget* owner, AdapterSource* adapters,
                             TcpLink* network) {
  SetComDialog dialog(port, config, status, engine, owner, adapters, network);
  dialog.exec();
}

SetComDialog* SetComDialog::ShowModeless(SerialPort& port, Configuration& config, StatusLine& status,
                                         ModbusEngine& engine, QWidget* owner,
                                         AdapterSource* adapters, TcpLink* network) {
  if (owner) {
    const auto open = owner->findChildren<SetComDialog*>(QString(), Qt::FindDirectChildrenOnly);
    for (SetComDialog* dialog : open) {
      if (dialog->logic_.Loading()) return dialog;  // shows itself when its scan is done
      if (dialog->isVisible()) {
        dialog->raise();
        dialog->activateWindow();
        return dialog;
      }
    }
  }
  auto* dialog = new SetComDialog(port, config, status, engine, owner, adapters, network);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
  return dialog;
}

SetComDialog::SetComDialog(SerialPort& port, Configuration& config, StatusLine& status,
                           ModbusEngine& engine, QWidget* owner, AdapterSource* adapters,
                           TcpLink* network)
    : QDialog(owner),
      config_(config),
      adapters_(adapters),
      logic_(port, config, status, *this, [&engine](bool held) { engine.SetSendingHeld(held); },
             adapters, network) {
  BuildControls();
  if (!network) cmbLink_->setEnabled(false);
  logic_.Load();
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

  cmbLink_ = new QComboBox(this);
  cmbLink_->setObjectName(QStringLiteral("cmb_link"));
  cmbLink_->addItems({kLinkSerialText, kLinkRtuOverTcpText, kLinkModbusTcpText});
  const auto field = [this](const char* name, const QString& placeholder) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    return edit;
  };
  txtHost_ = field("txt_host", QStringLiteral("192.168.0.10"));
  txtTcpPort_ = field("txt_tcp_port", QString());
  txtTimeout_ = field("txt_response_timeout", QStringLiteral("автоматически"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(label("lbl_link", QStringLiteral("Подключение:")), 0, 0);
  grid->addWidget(cmbLink_, 0, 1);
  auto* hostLabel = label("lbl_host", QStringLiteral("Адрес:"));
  auto* portLabel = label("lbl_tcp_port", QStringLiteral("Порт:"));
  grid->addWidget(hostLabel, 1, 0);
  grid->addWidget(txtHost_, 1, 1);
  grid->addWidget(portLabel, 2, 0);
  grid->addWidget(txtTcpPort_, 2, 1);
  networkRows_ = {hostLabel, txtHost_, portLabel, txtTcpPort_};
  grid->addWidget(label("Label1", QStringLiteral("Выберите порт:")), 3, 0);
  grid->addWidget(cmbCOMList_, 3, 1);
  // Over the network the mode describes the RS-485 line behind the gateway.
  grid->addWidget(label("Label2", QStringLiteral("Настройки режима:")), 4, 0);
  grid->addWidget(txt_settings_, 4, 1);
  // The help lines under the two fields, each across the whole width.
  const std::pair<const char*, const char*> help[] = {
      {"Label3", "Формат ввода режима: Ск, Чт, Дн, Ст"},
      {"Label4", "Ск - скорость (например - 115200, 57600, 9600)"},
      {"Label5", "Чт - четность (n-нет, e - четный, o - не четный)"},
      {"Label6", "Дн - количество битов данных (стандартно - 8)"},
      {"Label7", "Ст - количество стоповых битов (1 или 2)"},
  };
  int row = 5;
  for (const auto& [name, text] : help) {
    grid->addWidget(label(name, QString::fromUtf8(text)), row++, 0, 1, 2);
  }
  grid->addWidget(label("lbl_response_timeout", QStringLiteral("Ожидание ответа, мс:")), row, 0);
  grid->addWidget(txtTimeout_, row++, 1);
  // The usual periods to pick, or a number of milliseconds typed in.
  cmbPollPeriod_ = new QComboBox(this);
  cmbPollPeriod_->setObjectName(QStringLiteral("cmb_poll_period"));
  cmbPollPeriod_->setEditable(true);
  cmbPollPeriod_->setInsertPolicy(QComboBox::NoInsert);
  cmbPollPeriod_->setCompleter(nullptr);  // a typed 5 stays 5, never completed to "50 мс"
  for (const std::chrono::milliseconds period : kListedPollPeriods) {
    cmbPollPeriod_->addItem(FormatPollPeriod(period));
  }
  grid->addWidget(label("lbl_poll_period", QStringLiteral("Период опроса:")), row, 0);
  grid->addWidget(cmbPollPeriod_, row++, 1);
  lblLinkFault_ = label("lbl_link_fault", QString());
  lblLinkFault_->setWordWrap(true);
  lblLinkFault_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblLinkFault_->setStyleSheet(QStringLiteral("color: #b00000"));
  lblLinkFault_->setMinimumWidth(520);
  lblLinkFault_->hide();
  grid->addWidget(lblLinkFault_, row++, 0, 1, 2);
  // Beyond the controls above: why nothing is listed, the adapter's echo, binding an adapter.
  lblNoPorts_ = label("lbl_no_ports", QString());
  lblNoPorts_->setWordWrap(true);
  lblNoPorts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblNoPorts_->setMinimumWidth(520);
  lblNoPorts_->hide();
  grid->addWidget(lblNoPorts_, row++, 0, 1, 2);
  chkEcho_ = new QCheckBox(kEchoCheckBox, this);
  chkEcho_->setObjectName(QStringLiteral("chk_echo"));
  grid->addWidget(chkEcho_, row++, 0, 1, 2);
  auto* bind = new QPushButton(kBindAdapterButton, this);
  bind->setObjectName(QStringLiteral("cmd_bind_adapter"));
  bind->setAutoDefault(false);
  bind->setEnabled(adapters_ != nullptr);
  findController_ = new QPushButton(kFindControllerButton, this);
  findController_->setObjectName(QStringLiteral("cmd_find_controller"));
  findController_->setAutoDefault(false);
  findController_->hide();  // until someone offers the search
  auto* tools = new QHBoxLayout;
  tools->addWidget(bind);
  tools->addWidget(findController_);
  tools->addStretch();
  grid->addLayout(tools, row++, 0, 1, 2);
  connect(findController_, &QPushButton::clicked, this, &SetComDialog::FindControllerClicked);
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
  connect(cmbCOMList_, &QComboBox::activated, this,
          [this](int index) { logic_.cmbCOMList_Click(index); });
  // Raised also when the text is set by the program, as the loaded text is.
  connect(txt_settings_, &QLineEdit::textChanged, this, [this] { SetSettingsColor(kWhite); });
  connect(ok, &QPushButton::clicked, this, &SetComDialog::OK_Click);
  connect(cancel, &QPushButton::clicked, this, &SetComDialog::Cancel_Click);
  connect(bind, &QPushButton::clicked, this, &SetComDialog::BindAdapter_Click);
  connect(cmbLink_, &QComboBox::currentIndexChanged, this, &SetComDialog::LinkKindChosen);
  LinkKindChosen();
}

namespace {

// The entries of "Подключение", in the order they are listed.
constexpr LinkKind kListedKinds[] = {LinkKind::kSerial, LinkKind::kRtuOverTcp,
                                     LinkKind::kModbusTcp};

}  // namespace

// The server's fields show for a network link; a port left at the other kind's usual number
// (or empty) takes this kind's.
void SetComDialog::LinkKindChosen() {
  const LinkKind kind = kListedKinds[std::max(0, cmbLink_->currentIndex())];
  const bool network = kind != LinkKind::kSerial;
  for (QWidget* widget : networkRows_) widget->setVisible(network);
  if (network && (txtTcpPort_->text().trimmed().isEmpty() ||
                  txtTcpPort_->text().trimmed() == QString::number(DefaultTcpPort(shownKind_)))) {
    txtTcpPort_->setText(QString::number(DefaultTcpPort(kind)));
  }
  shownKind_ = kind;
}

LinkFields SetComDialog::Link() const {
  return {kListedKinds[std::max(0, cmbLink_->currentIndex())], txtHost_->text(),
          txtTcpPort_->text(), txtTimeout_->text()};
}

void SetComDialog::SetLink(const LinkFields& fields) {
  txtHost_->setText(fields.host);
  txtTcpPort_->setText(fields.tcpPort);
  txtTimeout_->setText(fields.responseTimeout);
  shownKind_ = fields.kind;
  const auto listed = std::find(std::begin(kListedKinds), std::end(kListedKinds), fields.kind);
  cmbLink_->setCurrentIndex(static_cast<int>(listed - std::begin(kListedKinds)));
  LinkKindChosen();
}

void SetComDialog::ShowLinkFault(const QString& text) {
  lblLinkFault_->setText(text);
  lblLinkFault_->setVisible(!text.isEmpty());
  layout()->activate();  // the fixed size follows the lines the text wraps into
}

QString SetComDialog::PollPeriodEntry() const { return cmbPollPeriod_->currentText(); }

// A period not in the list shows in the field alone, with no item of the list chosen.
void SetComDialog::SetPollPeriodEntry(const QString& text) {
  const int listed = cmbPollPeriod_->findText(text);
  cmbPollPeriod_->setCurrentIndex(listed);
  if (listed < 0) cmbPollPeriod_->setEditText(text);
}

void SetComDialog::OfferControllerSearch() { findController_->show(); }

void SetComDialog::ClearPortEntries() { cmbCOMList_->clear(); }

void SetComDialog::AddPortEntry(const QString& entry) { cmbCOMList_->addItem(entry); }

void SetComDialog::SelectPortEntry(int index) { cmbCOMList_->setCurrentIndex(index); }

int SetComDialog::SelectedPortEntry() const { return cmbCOMList_->currentIndex(); }

QString SetComDialog::SettingsText() const { return txt_settings_->text(); }

void SetComDialog::SetSettingsText(const QString& text) { txt_settings_->setText(text); }

void SetComDialog::ShowNoPorts(const QString& text) {
  lblNoPorts_->setText(text);
  lblNoPorts_->setVisible(!text.isEmpty());
}

bool SetComDialog::EchoChecked() const { return chkEcho_->isChecked(); }

void SetComDialog::SetEchoChecked(bool checked) { chkEcho_->setChecked(checked); }

void SetComDialog::YieldToEventLoop() { QCoreApplication::processEvents(); }

void SetComDialog::OK_Click() {
  if (logic_.OK_Click()) accept();
}

void SetComDialog::Cancel_Click() {
  logic_.Cancel_Click();
  reject();
}

void SetComDialog::BindAdapter_Click() {
  if (!adapters_ || logic_.Loading()) return;
  BindAdapterDialog binding(*adapters_, logic_.SettingsDir(), config_.PortNumber(), this);
  binding.exec();
  if (binding.Changed()) logic_.BindingsChanged();
}

void SetComDialog::closeEvent(QCloseEvent* event) {
  // The scan runs the event loop; a close request then waits until the dialog is loaded.
  if (logic_.Loading()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void SetComDialog::done(int result) {
  if (logic_.Loading()) return;
  logic_.Unload();
  QDialog::done(result);
}

void SetComDialog::SetSettingsColor(std::uint32_t rgb) {
  QPalette palette = txt_settings_->palette();
  palette.setColor(QPalette::Base, QColor::fromRgb(rgb));
  txt_settings_->setPalette(palette);
}

}  // namespace torvex
