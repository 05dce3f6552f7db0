#include "ui/checkout_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

#include "checkout/report.h"
#include "ui/checkout_report_pdf.h"

namespace torvex {
namespace {

const QString kTitle = QStringLiteral("Проверка контроллера");
// Characters that some file systems refuse in a name, and the path's separators.
const QRegularExpression kNotInFileNames(QStringLiteral("[\\\\/:*?\"<>|\\s]"));
enum Column { kNumber, kName, kExpected, kMeasured, kState, kColumns };

QColor StateColour(checkout::StepState state) {
  switch (state) {
    case checkout::StepState::kPassed: return QColor(0xC8, 0xF0, 0xC8);
    case checkout::StepState::kFailed: return QColor(0xFF, 0xC8, 0xC8);
    case checkout::StepState::kRunning: return QColor(0xFF, 0xF0, 0xB0);
    case checkout::StepState::kNotDone: return QColor(0xE0, 0xE0, 0xE0);
    case checkout::StepState::kWaiting:
    case checkout::StepState::kSkipped: break;
  }
  return QColor(Qt::white);
}

}  // namespace

CheckoutWindow::CheckoutWindow(ModbusEngine& engine, WhereNow where, QWidget* parent)
    : QWidget(parent, Qt::Window), engine_(engine), where_(std::move(where)) {
  setObjectName(QStringLiteral("frm_checkout"));
  setWindowTitle(kTitle);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  lbl_plan_ = new QLabel(this);
  lbl_plan_->setObjectName(QStringLiteral("lbl_plan"));
  lbl_plan_->setWordWrap(true);
  cmd_open_plan_ = new QPushButton(QStringLiteral("Другой план…"), this);
  cmd_open_plan_->setObjectName(QStringLiteral("cmd_open_plan"));
  top->addWidget(lbl_plan_, 1);
  top->addWidget(cmd_open_plan_);
  layout->addLayout(top);

  auto* unit = new QHBoxLayout;
  auto* serialCaption = new QLabel(QStringLiteral("Заводской номер контроллера:"), this);
  txt_unit_serial_ = new QLineEdit(this);
  txt_unit_serial_->setObjectName(QStringLiteral("txt_unit_serial"));
  txt_unit_serial_->setMaxLength(checkout::kMaxUnitSerial);
  // A serial number stays one line in the report, its table and a parameter file.
  txt_unit_serial_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\p{Cc}]*")), this));
  txt_unit_serial_->setMinimumWidth(220);
  serialCaption->setBuddy(txt_unit_serial_);
  unit->addWidget(serialCaption);
  unit->addWidget(txt_unit_serial_);
  unit->addStretch(1);
  layout->addLayout(unit);

  tbl_steps_ = new QTableWidget(0, kColumns, this);
  tbl_steps_->setObjectName(QStringLiteral("tbl_steps"));
  tbl_steps_->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Шаг"), QStringLiteral("Ожидается"),
                                         QStringLiteral("Измерено"), QStringLiteral("Состояние")});
  tbl_steps_->verticalHeader()->hide();
  tbl_steps_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbl_steps_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tbl_steps_->setWordWrap(false);
  tbl_steps_->verticalHeader()->setDefaultSectionSize(tbl_steps_->fontMetrics().height() + 6);
  for (const int column : {kNumber, kName, kExpected, kMeasured}) {
    tbl_steps_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
  tbl_steps_->horizontalHeader()->setSectionResizeMode(kState, QHeaderView::Stretch);
  layout->addWidget(tbl_steps_, 1);

  auto* progress = new QHBoxLayout;
  pb_progress_ = new QProgressBar(this);
  pb_progress_->setObjectName(QStringLiteral("pb_progress"));
  lbl_time_left_ = new QLabel(this);
  lbl_time_left_->setObjectName(QStringLiteral("lbl_time_left"));
  lbl_time_left_->setMinimumWidth(140);
  progress->addWidget(pb_progress_, 1);
  progress->addWidget(lbl_time_left_);
  layout->addLayout(progress);

  lbl_result_ = new QLabel(this);
  lbl_result_->setObjectName(QStringLiteral("lbl_result"));
  lbl_result_->setWordWrap(true);
  lbl_result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(lbl_result_);

  auto* buttons = new QHBoxLayout;
  chk_continue_ = new QCheckBox(QStringLiteral("Продолжать после отказа"), this);
  chk_continue_->setObjectName(QStringLiteral("chk_continue"));
  chk_continue_->setChecked(true);
  cmd_start_ = new QPushButton(QStringLiteral("Пуск"), this);
  cmd_start_->setObjectName(QStringLiteral("cmd_start"));
  cmd_stop_ = new QPushButton(QStringLiteral("Стоп"), this);
  cmd_stop_->setObjectName(QStringLiteral("cmd_stop"));
  buttons->addWidget(chk_continue_);
  buttons->addStretch(1);
  buttons->addWidget(cmd_start_);
  buttons->addWidget(cmd_stop_);
  layout->addLayout(buttons);

  connect(cmd_start_, &QPushButton::clicked, this, &CheckoutWindow::cmd_start_Click);
  connect(cmd_stop_, &QPushButton::clicked, this, &CheckoutWindow::StopRun);
  connect(cmd_open_plan_, &QPushButton::clicked, this, &CheckoutWindow::cmd_open_plan_Click);

  plan_ = *checkout::ParsePlan(checkout::DefaultPlanText()).plan;
  ShowPlan();
  resize(1040, 640);
}

bool CheckoutWindow::OpenPlan(const QString& path) {
  const checkout::PlanFile read = checkout::ReadPlanFile(path);
  if (read.plan) {
    plan_ = *read.plan;
    planFile_ = path;
    run_.reset();
    ShowPlan();
    return true;
  }
  const QString error = read.error.left(1).toUpper() + read.error.mid(1);
  auto* box = new QMessageBox(QMessageBox::Warning, kTitle, error + QStringLiteral("\nПлан не открыт."),
                              QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("msg_checkout"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
  return false;
}

void CheckoutWindow::cmd_open_plan_Click() {
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("План проверки"), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
      QStringLiteral("Планы проверки (*.plan *.ini *.txt);;Все файлы (*)"));
  if (!path.isEmpty()) OpenPlan(path);
}

// The operator's name for the report, and the consent to drive the outputs of the unit named.
void CheckoutWindow::cmd_start_Click() {
  if (Active()) return;
  bool ok = false;
  const QString name = QInputDialog::getText(this, kTitle, QStringLiteral("Фамилия и инициалы оператора (для отчёта):"),
                                             QLineEdit::Normal, operatorName_, &ok);
  if (!ok) return;
  const QString serial = txt_unit_serial_->text().trimmed();
  QString question = QStringLiteral("Контроллер: адрес %1, заводской номер %2.\n\n")
                         .arg(where_().address)
                         .arg(serial.isEmpty() ? QStringLiteral("не указан") : serial);
  question += QStringLiteral("Проверка будет включать и выключать дискретные выходы и задавать аналоговые "
                             "выходы контроллера. Подключённое к ним оборудование получит эти сигналы.\n");
  if (checkout::DrivesI1(plan_)) question += checkout::kI1SwitchesOutputsWarning + u'\n';
  question += QStringLiteral("Состояние выходов будет восстановлено по окончании.\n\nНачать проверку?");
  auto* box = new QMessageBox(QMessageBox::Question, kTitle, question, QMessageBox::Yes | QMessageBox::No, this);
  box->setObjectName(QStringLiteral("msg_checkout_start"));
  box->setDefaultButton(QMessageBox::No);
  box->setAttribute(Qt::WA_DeleteOnClose);
  connect(box, &QMessageBox::finished, this, [this, name](int answer) {
    if (answer == QMessageBox::Yes) StartRun(name.trimmed());
  });
  box->open();
}

void CheckoutWindow::StartRun(const QString& operatorName, const QString& reportPath) {
  if (Active()) return;
  operatorName_ = operatorName;
  unitSerial_ = txt_unit_serial_->text().trimmed();
  wantedReport_ = reportPath;
  reportPath_.clear();
  reported_ = false;
  started_ = QDateTime::currentDateTime();
  run_.emplace(plan_, where_().address, chk_continue_->isChecked());
  run_->Start(engine_, std::chrono::steady_clock::now());
  ShowRun();
}

void CheckoutWindow::StopRun() {
  if (!run_ || run_->Finished()) return;
  run_->Stop();
  ShowRun();
  if (run_->Finished()) Finish();
}

void CheckoutWindow::OnAnswer(const RxAnswer& answer) {
  if (!Active()) return;
  run_->OnAnswer(answer, std::chrono::steady_clock::now());
  if (run_->Finished()) Finish();
}

void CheckoutWindow::OnTick(std::optional<ExchangeOutcome> outcome) {
  if (!Active()) return;
  run_->OnTick(outcome, std::chrono::steady_clock::now());
  ShowRun();
  if (run_->Finished()) Finish();
}

void CheckoutWindow::ShowPlan() {
  lbl_plan_->setText(QStringLiteral("План: %1 (%2), шагов: %3")
                         .arg(plan_.title.isEmpty() ? QStringLiteral("без названия") : plan_.title,
                              planFile_.isEmpty() ? QStringLiteral("встроенный") : planFile_)
                         .arg(plan_.steps.size()));
  tbl_steps_->setRowCount(static_cast<int>(plan_.steps.size()));
  for (int row = 0; row < tbl_steps_->rowCount(); ++row) {
    const checkout::Step& step = plan_.steps[static_cast<std::size_t>(row)];
    const QStringList cells{QString::number(row + 1), step.name, QString(), QString(),
                            checkout::StateText(checkout::StepState::kWaiting)};
    for (int column = 0; column < kColumns; ++column) tbl_steps_->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  pb_progress_->setRange(0, static_cast<int>(plan_.steps.size()));
  pb_progress_->setValue(0);
  lbl_time_left_->clear();
  lbl_result_->clear();
  cmd_stop_->setEnabled(false);
}

void CheckoutWindow::ShowRun() {
  if (!run_) return;
  const auto& results = run_->Results();
  int done = 0;
  for (int row = 0; row < static_cast<int>(results.size()); ++row) {
    const checkout::StepResult& r = results[static_cast<std::size_t>(row)];
    const QString state = r.note.isEmpty() ? checkout::StateText(r.state)
                                           : checkout::StateText(r.state) + QStringLiteral(": ") + r.note;
    const QStringList cells{QString::number(row + 1), plan_.steps[static_cast<std::size_t>(row)].name, r.expected,
                            r.measured, state};
    for (int column = kExpected; column < kColumns; ++column) {
      QTableWidgetItem* item = tbl_steps_->item(row, column);
      if (item->text() != cells[column]) item->setText(cells[column]);
    }
    // Only a row whose state changed is painted again.
    const QColor colour = StateColour(r.state);
    if (tbl_steps_->item(row, 0)->background().color() != colour) {
      for (int column = 0; column < kColumns; ++column) tbl_steps_->item(row, column)->setBackground(colour);
    }
    if (r.state != checkout::StepState::kWaiting && r.state != checkout::StepState::kRunning) ++done;
  }
  if (run_->CurrentStep() < tbl_steps_->rowCount() && !run_->Finished()) {
    tbl_steps_->scrollToItem(tbl_steps_->item(run_->CurrentStep(), 0));
  }
  pb_progress_->setValue(done);
  const auto left = run_->TimeLeft();
  lbl_time_left_->setText(run_->Finished() || !left ? QString()
                                                    : QStringLiteral("Осталось ~%1 с").arg((left->count() + 999) / 1000));
  if (run_->RestorePending()) {
    lbl_result_->setText(QStringLiteral("Восстановление выходов… (если связь потеряна, выходы восстановятся, "
                                        "когда она вернётся)"));
  } else if (!run_->Finished()) {
    lbl_result_->setText(QStringLiteral("Идёт проверка: норма %1, отказ %2")
                             .arg(run_->Count(checkout::StepState::kPassed))
                             .arg(run_->Count(checkout::StepState::kFailed)));
  }
  cmd_start_->setEnabled(!Active());
  cmd_stop_->setEnabled(Active() && !run_->RestorePending());
  cmd_open_plan_->setEnabled(!Active());
  chk_continue_->setEnabled(!Active());
  txt_unit_serial_->setEnabled(!Active());
}

void CheckoutWindow::Finish() {
  ShowRun();
  if (reported_) return;
  reported_ = true;
  const Where where = where_();
  const checkout::Report report = checkout::MakeReport(
      *run_, {planFile_, started_, operatorName_, unitSerial_, where.link, where.mode});
  QString path = wantedReport_;
  if (path.isEmpty()) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(folder);
    // Named after the unit when its serial number is known: every unit is at address 7.
    const QString unit = unitSerial_.isEmpty() ? QStringLiteral("адрес%1").arg(run_->SlaveAddress())
                                               : QString(unitSerial_).replace(kNotInFileNames, QStringLiteral("_"));
    path = QDir(folder).filePath(
        QStringLiteral("проверка-%1-%2.pdf").arg(unit, started_.toString(QStringLiteral("yyyy-MM-dd-HHmmss"))));
  }
  const auto error = WriteReport(report, path);
  if (!error) reportPath_ = path;
  // A serial number belongs to one unit: once a run has reached it, the field is left empty for
  // the next, so that no report carries the number of the unit before.
  if (run_->Params()) txt_unit_serial_->clear();
  lbl_result_->setText(
      QStringLiteral("%1. %2: норма %3, отказ %4, пропущено %5, не выполнено %6.%7\n%8")
          .arg(report.runEnd.left(1).toUpper() + report.runEnd.mid(1), checkout::ConclusionText(report.conclusion))
          .arg(report.passed)
          .arg(report.failed)
          .arg(report.skipped)
          .arg(report.notDone)
          .arg(report.outputs == checkout::OutputsAfter::kNotRestored ? QStringLiteral(" Выходы НЕ восстановлены.")
                                                                      : QString())
          .arg(error ? *error : QStringLiteral("Отчёт: ") + path));
  emit Finished();
}

void CheckoutWindow::closeEvent(QCloseEvent* event) {
  // Closing stops the run; the outputs are put back as the exchange goes on.
  StopRun();
  event->accept();
}

}  // namespace torvex
