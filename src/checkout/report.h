#pragma once
// What a checkout's report says: who checked which controller over what link, with which
// parameters, each step's expectation, measurement and verdict, the totals and the verdict on
// the unit. The PDF and its CSV twin are both written from it.
#include <optional>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "checkout/checkout_run.h"
#include "paramfile/param_layout.h"

namespace torvex::checkout {

struct ReportStep {
  int number = 0;  // from 1
  QString name;
  QString expected;
  QString measured;
  QString verdict;  // the state's text
  QString note;
  StepNumbers numbers;
};

// The verdict on the unit. A unit is fit only when every step passed; a failed step makes it
// unfit however the run ended; a run that ended short of its steps without a failure (or never
// reached the controller) says nothing of the unit either way.
enum class Conclusion { kFit, kUnfit, kNotChecked };

// What became of the controller's outputs.
enum class OutputsAfter {
  kNotReached,   // the controller was never asked anything: nothing to tell
  kUntouched,    // the run never commanded them
  kRestored,     // put back as they were found
  kNotRestored,  // commanded, and not put back
};

struct Report {
  QString planTitle;
  QString planFile;  // empty: the built-in plan of the standard bench
  QDateTime started;
  QString operatorName;
  QString unitSerial;  // the unit's serial number as the operator gave it; empty: not given
  QString link;  // "COM1", "TCP 10.0.0.5:502"
  QString mode;  // the line's mode string
  int address = 0;
  QString softwareVersion;  // "2.14"; empty when not read
  QString protocolVersion;
  std::optional<paramfile::ParamImage> params;
  QString paramsChecksum;  // empty when the set was not read
  std::vector<ReportStep> steps;
  int passed = 0;
  int failed = 0;
  int skipped = 0;
  int notDone = 0;
  QString runEnd;  // how the run ended
  Conclusion conclusion = Conclusion::kNotChecked;
  OutputsAfter outputs = OutputsAfter::kNotReached;
};

// Who checked which unit, and where: the same for every report.
struct ReportHead {
  QString planFile;  // empty: the built-in plan
  QDateTime started;
  QString operatorName;
  QString unitSerial;
  QString link;
  QString mode;
};

// The report of a run that has ended.
Report MakeReport(const CheckoutRun& run, const ReportHead& head);

// The report of a checkout that could not be carried out at all (the plan refused, no link, a
// stop before it began): no steps, the reason as the run's end, НЕ ПРОВЕРЕН, nothing said of
// the outputs.
Report NotRunReport(const QString& planTitle, const ReportHead& head, int address, const QString& reason);

// The longest serial number a unit may be given.
inline constexpr int kMaxUnitSerial = 64;
// Whether text can stand as a unit's serial number (empty: none given): no longer than
// kMaxUnitSerial, and without control characters, so that it stays one line wherever it is
// written.
bool IsUnitSerial(const QString& text);

// "ГОДЕН", "НЕ ГОДЕН" or "НЕ ПРОВЕРЕН".
QString ConclusionText(Conclusion conclusion);
// What the report says of the outputs after the run; empty for kNotReached.
QString OutputsText(OutputsAfter outputs);

// A short digest of a parameter set for the report: the first 8 hex digits of its SHA-256.
QString ParamsChecksum(const paramfile::ParamImage& params);

// The CSV twin of the report, for a spreadsheet in the user's locale as the recording is
// written: UTF-8 with a byte-order mark, CR LF, ';' between fields where numbers have a decimal
// comma and ',' elsewhere, fields quoted as needed. A header block of "key;value" lines, then
// one line per step: number, name, what is expected (a number for an analog point, else the
// text), the limits, what was measured (a number where there is one), the unit, the verdict,
// the note.
QString ReportCsv(const Report& report);

}  // namespace torvex::checkout
