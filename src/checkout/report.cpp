#include "checkout/report.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QLocale>

#include "decode/display_rules.h"
#include "decode/numeric.h"

namespace torvex::checkout {
namespace {

// Written first, so that a spreadsheet takes the file for UTF-8.
constexpr char16_t kByteOrderMark = 0xFEFF;
// Limits and expectations are the plan's numbers: shown to as many places as they were given.
constexpr int kPlanDecimals = 6;

QString Version(std::optional<int> word) {
  return word ? PlainVersionText(*word) : QString();
}

// A number as the window writes it, in the locale's decimal separator, never grouped.
QString Number(double value, int decimals) { return FormatReading(value, decimals, 1.0, QString()).chopped(1); }
QString Number(const std::optional<double>& value) { return value ? Number(*value, kPlanDecimals) : QString(); }

// The field separator a spreadsheet of the locale takes: ';' where the decimal separator is a
// comma.
QChar Separator() { return QLocale().decimalPoint() == QStringLiteral(",") ? u';' : u','; }

// A CSV field: quoted when it holds the separator, a quote or a line break.
QString Field(const QString& text, QChar separator) {
  if (!text.contains(separator) && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r')) {
    return text;
  }
  return u'"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QString Line(const QStringList& fields) {
  const QChar separator = Separator();
  QStringList quoted;
  for (const QString& field : fields) quoted << Field(field, separator);
  return quoted.join(separator) + QStringLiteral("\r\n");
}

Report Headed(const ReportHead& head) {
  Report report;
  report.planFile = head.planFile;
  report.started = head.started;
  report.operatorName = head.operatorName;
  report.unitSerial = head.unitSerial;
  report.link = head.link;
  report.mode = head.mode;
  return report;
}

}  // namespace

bool IsUnitSerial(const QString& text) {
  return text.size() <= kMaxUnitSerial &&
         std::none_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString ConclusionText(Conclusion conclusion) {
  switch (conclusion) {
    case Conclusion::kFit: return QStringLiteral("ГОДЕН");
    case Conclusion::kUnfit: return QStringLiteral("НЕ ГОДЕН");
    case Conclusion::kNotChecked: break;
  }
  return QStringLiteral("НЕ ПРОВЕРЕН");
}

QString OutputsText(OutputsAfter outputs) {
  switch (outputs) {
    case OutputsAfter::kNotReached: break;
    case OutputsAfter::kUntouched: return QStringLiteral("не изменялись");
    case OutputsAfter::kRestored: return QStringLiteral("восстановлены как были");
    case OutputsAfter::kNotRestored: return QStringLiteral("НЕ восстановлены");
  }
  return {};
}

QString ParamsChecksum(const paramfile::ParamImage& params) {
  const QByteArray bytes(reinterpret_cast<const char*>(params.data()), static_cast<qsizetype>(params.size()));
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(8)).toUpper();
}

Report MakeReport(const CheckoutRun& run, const ReportHead& head) {
  Report report = Headed(head);
  report.planTitle = run.GetPlan().title;
  report.address = run.SlaveAddress();
  report.softwareVersion = Version(run.SoftwareVersion());
  report.protocolVersion = Version(run.ProtocolVersion());
  report.params = run.Params();
  if (report.params) report.paramsChecksum = ParamsChecksum(*report.params);
  const auto& steps = run.GetPlan().steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const StepResult& r = run.Results()[i];
    report.steps.push_back(
        {static_cast<int>(i) + 1, steps[i].name, r.expected, r.measured, StateText(r.state), r.note, r.numbers});
  }
  report.passed = run.Count(StepState::kPassed);
  report.failed = run.Count(StepState::kFailed);
  report.skipped = run.Count(StepState::kSkipped);
  report.notDone = run.Count(StepState::kNotDone) + run.Count(StepState::kWaiting) + run.Count(StepState::kRunning);
  report.runEnd = EndText(run.End());
  if (report.failed > 0) {
    report.conclusion = Conclusion::kUnfit;
  } else if (run.End() == RunEnd::kPassed && report.passed == static_cast<int>(steps.size())) {
    report.conclusion = Conclusion::kFit;
  }
  report.outputs = !run.OutputsDriven()    ? OutputsAfter::kUntouched
                   : run.OutputsRestored() ? OutputsAfter::kRestored
                                           : OutputsAfter::kNotRestored;
  return report;
}

Report NotRunReport(const QString& planTitle, const ReportHead& head, int address, const QString& reason) {
  Report report = Headed(head);
  report.planTitle = planTitle;
  report.address = address;
  report.runEnd = QStringLiteral("не проведена: ") + reason;
  return report;
}

QString ReportCsv(const Report& r) {
  QString csv(QChar{kByteOrderMark});
  csv += Line({QStringLiteral("Протокол проверки контроллера TORVEX-CPU"), r.planTitle});
  csv += Line({QStringLiteral("Дата и время"), r.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
  csv += Line({QStringLiteral("Оператор"), r.operatorName});
  csv += Line({QStringLiteral("Заводской номер"), r.unitSerial});
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
  csv += Line({QStringLiteral("Выходы после проверки"), OutputsText(r.outputs)});
  csv += Line({QStringLiteral("Заключение"), ConclusionText(r.conclusion)});
  csv += QStringLiteral("\r\n");
  csv += Line({QStringLiteral("№"), QStringLiteral("Шаг"), QStringLiteral("Ожидается"), QStringLiteral("Не менее"),
               QStringLiteral("Не более"), QStringLiteral("Измерено"), QStringLiteral("Единица"),
               QStringLiteral("Результат"), QStringLiteral("Примечание")});
  for (const ReportStep& s : r.steps) {
    const StepNumbers& n = s.numbers;
    // Where the step has a number it stands alone in its cell, its unit in a column of its
    // own; the texts of the other steps (inputs, versions, a channel's type) as they are.
    const QString expected = n.expected ? Number(n.expected) : n.low ? QString() : s.expected;
    const QString measured = n.measured ? Number(n.measured->number, n.measured->decimals) : s.measured;
    const bool numeric = n.expected || n.low || n.measured;
    csv += Line({QString::number(s.number), s.name, expected, Number(n.low), Number(n.high), measured,
                 numeric ? n.unit : QString(), s.verdict, s.note});
  }
  return csv;
}

}  // namespace torvex::checkout
