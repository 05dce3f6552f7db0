#pragma once
// The window "Проверка контроллера": the plan's steps in a table with their state and what was
// measured, the unit's serial number, "Пуск" and "Стоп", "Продолжать после отказа", another
// plan, a progress bar and the time left. Before the first step the operator gives a name for
// the report and confirms that the outputs will be driven; the report (PDF and CSV) is written
// when the run ends. The run goes through the tool's exchange: the tool hands it every answer
// and tick.
#include <functional>
#include <optional>

#include <QDateTime>
#include <QString>
#include <QWidget>

#include "checkout/checkout_run.h"
#include "checkout/plan.h"
#include "engine/modbus_engine.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace torvex {

class CheckoutWindow : public QWidget {
  Q_OBJECT

 public:
  // Where the run goes: the link's name and mode and the address, as the report names them.
  struct Where {
    QString link;
    QString mode;
    int address = 7;
  };
  using WhereNow = std::function<Where()>;

  CheckoutWindow(ModbusEngine& engine, WhereNow where, QWidget* parent = nullptr);

  // A plan from a file; false (and a message) when it is refused, the plan in use kept.
  bool OpenPlan(const QString& path);
  // Starts with the operator's name and the serial number in the window, the outputs' driving
  // confirmed; the report goes to `reportPath` (empty: a name of its own in the documents
  // folder, after the serial number when there is one).
  void StartRun(const QString& operatorName, const QString& reportPath = QString());
  void StopRun();

  // A run is on: its steps, or putting the outputs back.
  bool Active() const { return run_ && !run_->Finished(); }
  const std::optional<checkout::CheckoutRun>& Run() const { return run_; }
  const checkout::Plan& CurrentPlan() const { return plan_; }
  // Where the last report went, once written.
  const QString& ReportPath() const { return reportPath_; }

  // The tool's exchange.
  void OnAnswer(const RxAnswer& answer);
  void OnTick(std::optional<ExchangeOutcome> outcome);

 signals:
  // The run has ended and its report is written (or could not be).
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void cmd_start_Click();
  void cmd_open_plan_Click();
  void ShowPlan();
  void ShowRun();
  void Finish();

  ModbusEngine& engine_;
  WhereNow where_;
  checkout::Plan plan_;
  QString planFile_;  // empty: the built-in plan
  std::optional<checkout::CheckoutRun> run_;
  QDateTime started_;
  QString operatorName_;
  QString unitSerial_;  // of the run, as the field held it at its start
  QString reportPath_;
  QString wantedReport_;
  bool reported_ = false;

  QLabel* lbl_plan_ = nullptr;
  QLineEdit* txt_unit_serial_ = nullptr;
  QTableWidget* tbl_steps_ = nullptr;
  QCheckBox* chk_continue_ = nullptr;
  QProgressBar* pb_progress_ = nullptr;
  QLabel* lbl_time_left_ = nullptr;
  QLabel* lbl_result_ = nullptr;
  QPushButton* cmd_start_ = nullptr;
  QPushButton* cmd_stop_ = nullptr;
  QPushButton* cmd_open_plan_ = nullptr;
};

}  // namespace torvex
