#include "checkout/report.h"

#include <QCryptographicHash>

#include "decode/display_rules.h"

namespace torvex::checkout {
namespace {

QString Version(std::optional<int> word) {
  return word ? PlainVersionText(*word) : QString();
}

// A CSV field: quoted when it holds the separator, a quote or a line break.
QString Field(const QString& text) {
  if (!text.contains(u';') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r')) {
    return text;
  }
  return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QString Line(const QStringList& fields) {
  QStringList quoted;
  for (const QString& field : fields) quoted << Field(field);
  return quoted.join(u';') + QStringLiteral("\r\n");
}

}  // namespace

QString FitText(bool fit) { return fit ? QStringLiteral("ГОДЕН") : QStringLiteral("НЕ ГОДЕН"); }

QString ParamsChecksum(const paramfile::ParamImage& params) {
  const QByteArray bytes(reinterpret_cast<const char*>(params.data()), static_cast<qsizetype>(params.size()));
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(8)).toUpper();
}

Report MakeReport(const CheckoutRun& run, const QString& planFile, const QDateTime& started,
                  const QString& operatorName, const QString& link, const QString& mode) {
  Report report;
  report.planTitle = run.GetPlan().title;
  report.planFile = planFile;
  report.started = started;
  report.operatorName = operatorName;
  report.link = link;
  report.mode = mode;
  report.address = run.SlaveAddress();
  report.softwareVersion = Version(run.SoftwareVersion());
  report.protocolVersion = Version(run.ProtocolVersion());
  report.params = run.Params();
  if (report.params) report.paramsChecksum = ParamsChecksum(*report.params);
  const auto& steps = run.GetPlan().steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const StepResult& r = run.Results()[i];
    report.steps.push_back({static_cast<int>(i) + 1, steps[i].name, r.expected, r.measured, StateText(r.state), r.note});
  }
  report.passed = run.Count(StepState::kPassed);
  report.failed = run.Count(StepState::kFailed);
  report.skipped = run.Count(StepState::kSkipped);
  report.notDone = run.Count(StepState::kNotDone) + run.Count(StepState::kWaiting) + run.Count(StepState::kRunning);
  report.runEnd = EndText(run.End());
  report.fit = run.End() == RunEnd::kPassed && report.passed == static_cast<int>(steps.size());
  report.outputsRestored = run.OutputsRestored();
  return report;
}

Report NotRunReport(const QString& planTitle, const QString& planFile, const QDateTime& started,
                    const QString& operatorName, const QString& link, const QString& mode,
                    int address, const QString& reason) {
  Report report;
  report.planTitle = planTitle;
  report.planFile = planFile;
  report.started = started;
  report.operatorName = operatorName;
  report.link = link;
  report.mode = mode;
  report.address = address;
  report.runEnd = QStringLiteral("не проведена: ") + reason;
  report.outputsRestored = true;  // nothing was driven
  return report;
}

QString ReportCsv(const Report& r) {
  QString csv;
  csv += Line({QStringLiteral("Протокол проверки контроллера TORVEX-CPU"), r.planTitle});
  csv += Line({QStringLiteral("Дата и время"), r.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
  csv += Line({QStringLiteral("Оператор"), r.operatorName});
  csv += Line({QStringLiteral("Связь"), r.link + u' ' + r.mode});
  csv += Line({QStringLiteral("Адрес"), QString::number(r.address)});
  csv += Line({QStringLiteral("Версия ПО"), r.softwareVersion});
  csv += Line({QStringLiteral("Версия протокола"), r.protocolVersion});
  csv += Line({QStringLiteral("Контрольная сумма параметров"), r.paramsChecksum});
  csv += Line({QStringLiteral("План"), r.planFile.isEmpty() ? QStringLiteral("встроенный") : r.planFile});
  csv += Line({QStringLiteral("Проверка"), r.runEnd});
  csv += Line({QStringLiteral("Норма"), QString::number(r.passed)});
  csv += Line({QStringLiteral("Отказ"), QString::number(r.failed)});
  csv += Line({QStringLiteral("Пропущено"), QString::number(r.skipped)});
  csv += Line({QStringLiteral("Не выполнено"), QString::number(r.notDone)});
  csv += Line({QStringLiteral("Выходы восстановлены"), r.outputsRestored ? QStringLiteral("да") : QStringLiteral("нет")});
  csv += Line({QStringLiteral("Заключение"), FitText(r.fit)});
  csv += QStringLiteral("\r\n");
  csv += Line({QStringLiteral("№"), QStringLiteral("Шаг"), QStringLiteral("Ожидается"), QStringLiteral("Измерено"),
               QStringLiteral("Результат"), QStringLiteral("Примечание")});
  for (const ReportStep& s : r.steps) {
    csv += Line({QString::number(s.number), s.name, s.expected, s.measured, s.verdict, s.note});
  }
  return csv;
}

}  // namespace torvex::checkout
