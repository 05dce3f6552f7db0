#include "ui/bind_adapter_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "config/port_listing.h"
#include "platform/port_path.h"

namespace torvex {
namespace {

// Every number the port layer opens through ports/comN; the settings dialog lists each bound one.
constexpr int kFirstPort = kMinPortNumber;
constexpr int kLastPort = kMaxPortNumber;

}  // namespace

BindAdapterDialog::BindAdapterDialog(AdapterSource& adapters, const QString& settingsDir,
                                     int preferred, QWidget* owner)
    : QDialog(owner), adapters_(adapters), bindings_(settingsDir) {
  setObjectName(QStringLiteral("wndBindAdapter"));
  setWindowTitle(kBindTitle);

  auto* heading = new QLabel(QStringLiteral("Адаптеры:"), this);
  lstAdapters_ = new QListWidget(this);
  lstAdapters_->setObjectName(QStringLiteral("lst_adapters"));
  lblNoAdapters_ = new QLabel(this);
  lblNoAdapters_->setObjectName(QStringLiteral("lbl_no_adapters"));
  lblNoAdapters_->setWordWrap(true);
  lblNoAdapters_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblNoAdapters_->setText(kNoAdapters.arg(QDir::toNativeSeparators(bindings_.PortsDir())));
  auto* portLabel = new QLabel(QStringLiteral("Порт:"), this);
  cmbPort_ = new QComboBox(this);
  cmbPort_->setObjectName(QStringLiteral("cmb_bind_port"));
  auto* refresh = new QPushButton(QStringLiteral("Обновить"), this);
  refresh->setObjectName(QStringLiteral("cmd_refresh"));
  refresh->setAutoDefault(false);
  cmdBind_ = new QPushButton(QStringLiteral("Привязать"), this);
  cmdBind_->setObjectName(QStringLiteral("cmd_bind"));
  cmdUnbind_ = new QPushButton(QStringLiteral("Отвязать"), this);
  cmdUnbind_->setObjectName(QStringLiteral("cmd_unbind"));
  cmdUnbind_->setAutoDefault(false);
  auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
  close->setObjectName(QStringLiteral("cmd_close"));
  close->setAutoDefault(false);
  lblResult_ = new QLabel(this);
  lblResult_->setObjectName(QStringLiteral("lbl_bind_result"));
  lblResult_->setWordWrap(true);

  auto* grid = new QGridLayout(this);
  grid->addWidget(heading, 0, 0, 1, 2);
  grid->addWidget(lstAdapters_, 1, 0, 1, 2);
  grid->addWidget(lblNoAdapters_, 2, 0, 1, 2);
  grid->addWidget(portLabel, 3, 0);
  grid->addWidget(cmbPort_, 3, 1);
  grid->addWidget(lblResult_, 4, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(refresh);
  buttons->addStretch();
  buttons->addWidget(cmdUnbind_);
  buttons->addWidget(cmdBind_);
  buttons->addWidget(close);
  grid->addLayout(buttons, 5, 0, 1, 2);
  lstAdapters_->setMinimumWidth(560);
  lblNoAdapters_->setMinimumWidth(560);

  connect(refresh, &QPushButton::clicked, this, &BindAdapterDialog::Refresh);
  connect(cmdBind_, &QPushButton::clicked, this, &BindAdapterDialog::Bind);
  connect(cmdUnbind_, &QPushButton::clicked, this, &BindAdapterDialog::Unbind);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(lstAdapters_, &QListWidget::currentRowChanged, this, &BindAdapterDialog::UpdateButtons);
  connect(cmbPort_, &QComboBox::currentIndexChanged, this, &BindAdapterDialog::UpdateButtons);

  Refresh();
  const bool preferredFree = preferred >= kFirstPort && !bindings_.Find(preferred);
  FillPorts(preferredFree ? preferred : bindings_.FirstFree(kFirstPort, kLastPort).value_or(kFirstPort));
}

void BindAdapterDialog::Refresh() {
  present_ = adapters_.Adapters();
  lstAdapters_->clear();
  for (const SerialAdapter& adapter : present_) {
    QString text = AdapterSummary(adapter);
    if (!adapter.byIdPath.isEmpty()) text += QStringLiteral("\n    ") + adapter.byIdPath;
    lstAdapters_->addItem(text);
  }
  lstAdapters_->setVisible(!present_.empty());
  lblNoAdapters_->setVisible(present_.empty());
  if (!present_.empty()) lstAdapters_->setCurrentRow(0);
  FillPorts(cmbPort_->currentData().toInt());
}

void BindAdapterDialog::FillPorts(int select) {
  const QSignalBlocker quiet(cmbPort_);
  cmbPort_->clear();
  for (int number = kFirstPort; number <= kLastPort; ++number) {
    const std::optional<PortBinding> bound = bindings_.Find(number);
    const QString text = bound ? PortEntryText(number, bound->device, bound->target, present_)
                               : QStringLiteral("COM") + QString::number(number) +
                                     QStringLiteral(" — свободен");
    cmbPort_->addItem(text, number);
  }
  cmbPort_->setCurrentIndex(std::max(0, cmbPort_->findData(select)));
  UpdateButtons();
}

void BindAdapterDialog::UpdateButtons() {
  cmdBind_->setEnabled(lstAdapters_->currentRow() >= 0 && !present_.empty());
  cmdUnbind_->setEnabled(bindings_.Find(cmbPort_->currentData().toInt()).has_value());
}

void BindAdapterDialog::Say(const QString& text) { lblResult_->setText(text); }

void BindAdapterDialog::Bind() {
  const int row = lstAdapters_->currentRow();
  if (row < 0 || row >= static_cast<int>(present_.size())) return;
  const int number = cmbPort_->currentData().toInt();
  const QString target = BindingTarget(present_[static_cast<std::size_t>(row)]);
  if (const Result bound = bindings_.Bind(number, target); !bound) {
    Say(QStringLiteral("Не удалось привязать COM%1: %2").arg(number).arg(bound.Why()));
    return;
  }
  changed_ = true;
  Say(QStringLiteral("COM%1 привязан к %2").arg(number).arg(target));
  FillPorts(number);
}

void BindAdapterDialog::Unbind() {
  const int number = cmbPort_->currentData().toInt();
  if (const Result unbound = bindings_.Unbind(number); !unbound) {
    Say(QStringLiteral("Не удалось отвязать COM%1: %2").arg(number).arg(unbound.Why()));
    return;
  }
  changed_ = true;
  Say(QStringLiteral("COM%1 отвязан").arg(number));
  FillPorts(number);
}

}  // namespace torvex
