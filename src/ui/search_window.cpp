#include "ui/search_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "config/set_com_logic.h"
#include "platform/tcp_link.h"

namespace torvex {
namespace {

const QString kDash = QStringLiteral(" — ");

QString TimeLeft(std::chrono::milliseconds left) {
  const auto seconds = (left.count() + 999) / 1000;
  if (seconds < 60) return QString::number(seconds) + QStringLiteral(" с");
  return QString::number(seconds / 60) + QStringLiteral(" мин ") +
         QString::number(seconds % 60) + QStringLiteral(" с");
}

}  // namespace

SearchWindow::SearchWindow(SerialPort& port, TcpLink& network, const Where& where, Hooks hooks,
                           ExchangeObserver* observer, QWidget* parent)
    : QDialog(parent),
      where_(where),
      hooks_(std::move(hooks)),
      network_(network),
      search_(port, &network, observer) {
  BuildControls();
  connect(&search_, &search::ControllerSearch::Trying, this, &SearchWindow::OnTrying);
  connect(&search_, &search::ControllerSearch::Found, this, &SearchWindow::OnFound);
  connect(&search_, &search::ControllerSearch::Finished, this, &SearchWindow::OnFinished);
}

void SearchWindow::BuildControls() {
  setObjectName(QStringLiteral("wndSearch"));
  setWindowTitle(QStringLiteral("Поиск контроллера"));
  auto* column = new QVBoxLayout(this);

  auto* where = new QLabel(QStringLiteral("Где: ") + where_.linkName, this);
  where->setObjectName(QStringLiteral("lbl_where"));
  column->addWidget(where);
  allPorts_ = new QCheckBox(QStringLiteral("Все COM-порты, которые открываются"), this);
  allPorts_->setObjectName(QStringLiteral("chk_all_ports"));
  allPorts_->setVisible(!where_.onNetwork);
  column->addWidget(allPorts_);

  // Over the network the gateway's line has its own mode: only the addresses are searched.
  auto* modes = new QGroupBox(QStringLiteral("Скорости и форматы"), this);
  modes->setVisible(!where_.onNetwork);
  auto* modeGrid = new QGridLayout(modes);
  int column0 = 0;
  for (const int speed : search::kSpeeds) {
    auto* box = new QCheckBox(QString::number(speed), modes);
    box->setObjectName(QStringLiteral("chk_speed_") + QString::number(speed));
    box->setChecked(true);
    modeGrid->addWidget(box, 0, column0++);
    speeds_.push_back(box);
  }
  column0 = 0;
  for (const QString& framing : search::kFramings) {
    auto* box = new QCheckBox(framing, modes);
    box->setObjectName(QStringLiteral("chk_framing_") + QString(framing).replace(u',', u'_'));
    box->setChecked(true);
    modeGrid->addWidget(box, 1, column0, 1, 2);
    column0 += 2;
    framings_.push_back(box);
  }
  column->addWidget(modes);

  auto* range = new QHBoxLayout;
  range->addWidget(new QLabel(QStringLiteral("Адреса с"), this));
  const int top = where_.modbusTcp ? 247 : 127;
  firstAddress_ = new QSpinBox(this);
  firstAddress_->setObjectName(QStringLiteral("spn_first_address"));
  firstAddress_->setRange(1, top);
  firstAddress_->setValue(1);
  lastAddress_ = new QSpinBox(this);
  lastAddress_->setObjectName(QStringLiteral("spn_last_address"));
  lastAddress_->setRange(1, top);
  lastAddress_->setValue(top);
  range->addWidget(firstAddress_);
  range->addWidget(new QLabel(QStringLiteral("по"), this));
  range->addWidget(lastAddress_);
  range->addSpacing(16);
  range->addWidget(new QLabel(QStringLiteral("Ожидание ответа сверх линии, мс"), this));
  allowance_ = new QSpinBox(this);
  allowance_->setObjectName(QStringLiteral("spn_allowance"));
  allowance_->setRange(static_cast<int>(search::kMinReplyAllowance.count()),
                       static_cast<int>(search::kMaxReplyAllowance.count()));
  // Behind a Modbus TCP gateway the answer also waits for the gateway's own serial timeout.
  const bool gateway = where_.onNetwork && where_.modbusTcp;
  allowance_->setValue(static_cast<int>(
      (gateway ? search::kDefaultGatewayAllowance : search::kDefaultReplyAllowance).count()));
  range->addWidget(allowance_);
  range->addStretch();
  column->addLayout(range);
  searchAll_ = new QCheckBox(QStringLiteral("Искать все"), this);
  searchAll_->setObjectName(QStringLiteral("chk_search_all"));
  column->addWidget(searchAll_);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("prg_search"));
  progress_->setValue(0);
  column->addWidget(progress_);
  trying_ = new QLabel(this);
  trying_->setObjectName(QStringLiteral("lbl_trying"));
  column->addWidget(trying_);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("lst_finds"));
  list_->setMinimumSize(560, 120);
  column->addWidget(list_);

  auto* buttons = new QHBoxLayout;
  start_ = new QPushButton(QStringLiteral("Начать"), this);
  start_->setObjectName(QStringLiteral("cmd_start"));
  stop_ = new QPushButton(QStringLiteral("Стоп"), this);
  stop_->setObjectName(QStringLiteral("cmd_stop"));
  apply_ = new QPushButton(QStringLiteral("Применить"), this);
  apply_->setObjectName(QStringLiteral("cmd_apply"));
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addStretch();
  buttons->addWidget(apply_);
  column->addLayout(buttons);
  ShowRunning(false);

  connect(start_, &QPushButton::clicked, this, &SearchWindow::StartSearch);
  connect(stop_, &QPushButton::clicked, this, &SearchWindow::StopSearch);
  connect(list_, &QListWidget::currentRowChanged, this,
          [this](int row) { apply_->setEnabled(!Searching() && row >= 0); });
  connect(apply_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(finds_.size()) || !hooks_.apply) return;
    hooks_.apply(finds_[static_cast<std::size_t>(row)]);
  });
}

search::SearchSpace SearchWindow::Space() const {
  search::SearchSpace space;
  space.configuredMode = where_.configuredMode;
  space.selectedAddress = where_.selectedAddress;
  space.firstAddress = firstAddress_->value();
  space.lastAddress = lastAddress_->value();
  space.gatewayUnit = where_.modbusTcp && space.lastAddress == 247;
  if (where_.onNetwork) {
    space.ports = {0};
    return space;
  }
  if (allPorts_->isChecked()) {
    for (int port = SetComLogic::kFirstListedPort; port <= SetComLogic::kLastListedPort; ++port) {
      space.ports.push_back(port);
    }
  } else {
    space.ports = {where_.comPort};
  }
  for (std::size_t i = 0; i < speeds_.size(); ++i) {
    if (speeds_[i]->isChecked()) space.speeds.push_back(search::kSpeeds[i]);
  }
  for (std::size_t i = 0; i < framings_.size(); ++i) {
    if (framings_[i]->isChecked()) space.framings.push_back(search::kFramings[i]);
  }
  return space;
}

void SearchWindow::StartSearch() {
  if (Searching()) return;
  finds_.clear();
  list_->clear();
  progress_->setValue(0);
  if (hooks_.stepAside) hooks_.stepAside();
  ShowRunning(true);
  search_.Start(Space(), searchAll_->isChecked(), std::chrono::milliseconds(allowance_->value()));
}

QString SearchWindow::LinkOf(int port) const {
  return port == 0 ? where_.linkName : QStringLiteral("COM") + QString::number(port);
}

void SearchWindow::OnTrying(const search::Probe& probe, int done, int total,
                            std::chrono::milliseconds left) {
  progress_->setMaximum(total);
  progress_->setValue(done);
  trying_->setText(LinkOf(probe.port) + kDash + probe.mode + kDash + QStringLiteral("адрес ") +
                   QString::number(probe.address) + kDash + QStringLiteral("осталось ") +
                   TimeLeft(left));
}

void SearchWindow::OnFound(const search::SearchFind& find) {
  finds_.push_back(find);
  list_->addItem(FindText(LinkOf(find.probe.port), find));
  if (list_->currentRow() < 0) list_->setCurrentRow(0);
}

void SearchWindow::OnFinished(const search::SearchEnd& end) {
  ShowRunning(false);
  if (end.linkLost) {
    const auto fault = network_.Fault();
    trying_->setText(QStringLiteral("Поиск прерван: ") +
                     (fault ? NetworkFaultText(network_.Target(), *fault)
                            : QStringLiteral("нет соединения")));
  } else if (end.foundTorvex || !finds_.empty()) {
    trying_->setText(end.stopped ? QStringLiteral("Остановлено") : QStringLiteral("Готово"));
  } else if (!end.portOpened) {
    // Every port of the machine is tried: those absent are no news.
    trying_->setText(allPorts_->isChecked()
                         ? QStringLiteral("Ни один порт не открылся")
                         : QStringLiteral("Ни один порт не открылся: ") + FailedPortsText(end));
  } else {
    trying_->setText(end.stopped ? QStringLiteral("Остановлено: ничего не найдено")
                                 : QStringLiteral("Ничего не найдено"));
  }
  // A chosen port that failed in the middle (an adapter pulled out) left its probes untried.
  if (end.portOpened && !end.failedPorts.empty() && !allPorts_->isChecked()) {
    trying_->setText(trying_->text() + QStringLiteral("; не открылся порт ") + FailedPortsText(end));
  }
  if (!end.stopped) progress_->setValue(progress_->maximum());
  if (hooks_.comeBack) hooks_.comeBack();
  apply_->setEnabled(list_->currentRow() >= 0);
}

void SearchWindow::ShowRunning(bool running) {
  for (QWidget* option : std::initializer_list<QWidget*>{allPorts_, searchAll_, firstAddress_,
                                                         lastAddress_, allowance_}) {
    option->setEnabled(!running);
  }
  for (QCheckBox* box : speeds_) box->setEnabled(!running);
  for (QCheckBox* box : framings_) box->setEnabled(!running);
  start_->setEnabled(!running);
  stop_->setEnabled(running);
  apply_->setEnabled(!running && list_->currentRow() >= 0);
}

// The search ends with its probe on the line; the window closes once the exchange is back.
void SearchWindow::closeEvent(QCloseEvent* event) {
  if (Searching()) {
    search_.Stop();
    connect(&search_, &search::ControllerSearch::Finished, this, &QWidget::close,
            Qt::SingleShotConnection);
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void SearchWindow::done(int result) {
  if (Searching()) {
    search_.Stop();
    connect(
        &search_, &search::ControllerSearch::Finished, this, [this, result] { done(result); },
        Qt::SingleShotConnection);
    return;
  }
  QDialog::done(result);
}

}  // namespace torvex
