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
};

struct Report {
  QString planTitle;
  QString planFile;  // empty: the built-in plan of the standard bench
  QDateTime started;
  QString operatorName;
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
  bool fit = false;  // ГОДЕН: every step passed and the run is complete
  bool outputsRestored = false;
};

// The report of a run that has ended.
Report MakeReport(const CheckoutRun& run, const QString& planFile, const QDateTime& started,
                  const QString& operatorName, const QString& link, const QString& mode);

// The report of a checkout that could not be carried out at all (the plan refused, no link):
// no steps, the reason as the run's end, НЕ ГОДЕН.
Report NotRunReport(const QString& planTitle, const QString& planFile, const QDateTime& started,
                    const QString& operatorName, const QString& link, const QString& mode,
                    int address, const QString& reason);

// The verdict on the unit: "ГОДЕН" or "НЕ ГОДЕН".
QString FitText(bool fit);

// A short digest of a parameter set for the report: the first 8 hex digits of its SHA-256.
QString ParamsChecksum(const paramfile::ParamImage& params);

// The CSV twin of the report: a header block of "key;value" lines, then one line per step
// (number;name;expected;measured;verdict;note), UTF-8, ";"-separated, fields quoted as needed.
QString ReportCsv(const Report& report);

}  // namespace torvex::checkout
