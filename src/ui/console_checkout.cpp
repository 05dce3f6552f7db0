#include "ui/console_checkout.h"

#include <functional>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "checkout/checkout_run.h"
#include "checkout/plan.h"
#include "checkout/report.h"
#include "config/configuration.h"
#include "engine/modbus_engine.h"
#include "ui/checkout_report_pdf.h"
#include "ui/console_link.h"
#include "ui/no_window.h"
#include "ui/quit_on_signal.h"

namespace torvex {
namespace {

// How long outputs that were driven are waited for to be put back once the run has ended
// (after a lost link, until it is back).
constexpr int kRestoreWaitMs = 10000;

void Say(std::FILE* to, const QString& text) { std::fprintf(to, "torvex-tp: %s\n", qUtf8Printable(text)); }

checkout::PlanFile ReadPlan(const QString& name) {
  if (name != kStandardPlan) return checkout::ReadPlanFile(name);
  const checkout::PlanParse parsed = checkout::ParsePlan(checkout::DefaultPlanText());
  return {parsed.plan, parsed.error};
}

// The operator's signals: the part of the command running when one comes decides what it does.
struct Signals {
  int count = 0;
  std::function<void()> onSignal;
};

// The run on the tool's tick until its steps are over and the outputs are back (or the wait for
// them has run out, or a second signal has said not to wait).
void RunExchange(checkout::CheckoutRun& run, ByteLink& link, const Configuration& config, Signals& stops,
                 std::FILE* err) {
  ModbusEngine engine(link);
  engine.SetEchoExpected(config.Echo());
  engine.SetResponseTimeout(config.ResponseTimeout());
  engine.SetSlaveAddress(run.SlaveAddress());
  engine.SetDecoder([&run](const RxAnswer& answer) { run.OnAnswer(answer, std::chrono::steady_clock::now()); });
  QEventLoop loop;
  QTimer tick;
  tick.setInterval(ModbusEngine::kTick);
  QElapsedTimer restoring;
  const QString mode = config.PortSettings();
  auto onTick = [&] {
    run.OnTick(engine.Tick(mode), std::chrono::steady_clock::now());
    if (run.RestorePending() && !restoring.isValid()) restoring.start();
    if (run.Finished() || (restoring.isValid() && restoring.elapsed() > kRestoreWaitMs)) loop.quit();
  };
  stops.onSignal = [&] {
    if (stops.count > 1) {
      loop.quit();
      return;
    }
    run.Stop();
    if (run.RestorePending()) {
      Say(err, QStringLiteral("проверка остановлена; выходы контроллера восстанавливаются "
                              "(повторный сигнал — выйти, не дожидаясь)"));
    }
  };
  QObject::connect(&tick, &QTimer::timeout, &loop, onTick);
  run.Start(engine, std::chrono::steady_clock::now());
  tick.start();
  onTick();
  if (!run.Finished()) loop.exec();
  stops.onSignal = nullptr;
}

int Written(const checkout::Report& report, const QString& path, std::FILE* err, int status) {
  if (const auto error = WriteReport(report, path)) {
    Say(err, *error);
    return kCheckoutNotRun;
  }
  return status;
}

}  // namespace

int RunConsoleCheckout(const ConsoleCheckout& command, std::FILE* out, std::FILE* err) {
  Signals stops;
  const QuitOnSignal watch([&stops] {
    ++stops.count;
    if (stops.onSignal) stops.onSignal();
  });
  const QString stopped = checkout::EndText(checkout::RunEnd::kStopped);
  NoWindow none(err);
  Configuration config(IniPathIn(command.settingsDir), none, none, none);
  if (command.connect) config.SetRunLink(command.connect->link, command.connect->comPort);
  config.LoadConfig();
  const checkout::ReportHead head{command.plan == kStandardPlan ? QString() : command.plan,
                                  QDateTime::currentDateTime(),
                                  command.operatorName,
                                  command.unitSerial,
                                  LinkUrl(config.Link(), config.PortNumber()),
                                  config.Link().OnNetwork() ? QString() : config.PortSettings()};

  const checkout::PlanFile plan = ReadPlan(command.plan);
  if (!plan.plan) {
    Say(err, plan.error);
    return Written(checkout::NotRunReport(QString(), head, command.address, plan.error), command.report, err,
                   kCheckoutNotRun);
  }
  if (checkout::DrivesI1(*plan.plan)) Say(err, checkout::kI1SwitchesOutputsWarning);
  QtSerialPort port(command.settingsDir);
  TcpLink network;
  // A signal while a connection is being made ends the attempt.
  stops.onSignal = [&network] { network.Close(); };
  ByteLink* opened = OpenConsoleLink(config, port, network, err);
  stops.onSignal = nullptr;
  QCoreApplication::processEvents();  // a signal that came meanwhile
  if (!opened || stops.count > 0) {
    return Written(checkout::NotRunReport(plan.plan->title, head, command.address,
                                          stops.count > 0 ? stopped : QStringLiteral("нет связи с контроллером")),
                   command.report, err, kCheckoutNotRun);
  }

  checkout::CheckoutRun run(*plan.plan, command.address, true);
  RunExchange(run, *opened, config, stops, err);
  const checkout::Report report = checkout::MakeReport(run, head);
  std::fprintf(out, "%s: норма %d, отказ %d, пропущено %d, не выполнено %d; %s\n",
               qUtf8Printable(checkout::ConclusionText(report.conclusion)), report.passed, report.failed,
               report.skipped, report.notDone, qUtf8Printable(report.runEnd));
  for (const checkout::ReportStep& step : report.steps) {
    if (step.verdict != checkout::StateText(checkout::StepState::kFailed)) continue;
    std::fprintf(out, "отказ: %d. %s: %s (%s)\n", step.number, qUtf8Printable(step.name),
                 qUtf8Printable(step.measured), qUtf8Printable(step.note));
  }
  std::fflush(out);
  if (report.outputs == checkout::OutputsAfter::kNotRestored) {
    Say(err, stops.count > 1 ? QStringLiteral("выходы контроллера не восстановлены: выход по повторному сигналу")
                             : QStringLiteral("выходы контроллера не восстановлены: нет связи"));
  }
  const int status = report.conclusion == checkout::Conclusion::kFit ? kCheckoutFit
                     : run.End() == checkout::RunEnd::kFailed        ? kCheckoutUnfit
                                                                     : kCheckoutNotRun;
  return Written(report, command.report, err, status);
}

}  // namespace torvex
