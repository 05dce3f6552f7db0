#pragma once
// torvex-tp --checkout PLAN --report FILE.pdf: the bench checkout without a window, for
// production lines. The report (and its CSV twin) is written in every case; the summary and
// each failed step go to standard output. SIGINT, SIGTERM or SIGHUP stop the run as "Стоп"
// does: the outputs are put back (a second signal no longer waits for that), the report says
// "остановлена оператором", the exit status is 2.
#include <cstdio>
#include <optional>

#include <QString>

#include "config/link_choice.h"

namespace torvex {

struct ConsoleCheckout {
  QString plan;          // a plan file, or kStandardPlan for the built-in plan
  QString report;        // FILE.pdf; FILE.csv beside it
  QString operatorName;  // --operator
  QString unitSerial;    // --unit-serial
  QString settingsDir;
  std::optional<ConnectArgument> connect;
  int address = 7;
};

// The name that stands for the plan of the standard loop-back bench that ships with the tool.
inline const QString kStandardPlan = QStringLiteral("standard");

// Exit statuses: every step passed; a step failed; the checkout could not be carried out
// (the plan refused, no link, the link lost, the controller's set unreadable, stopped by a
// signal) or its report could not be written.
inline constexpr int kCheckoutFit = 0;
inline constexpr int kCheckoutUnfit = 1;
inline constexpr int kCheckoutNotRun = 2;

// Runs in the running application's event loop; the report needs a QGuiApplication.
int RunConsoleCheckout(const ConsoleCheckout& command, std::FILE* out = stdout,
                       std::FILE* err = stderr);

}  // namespace torvex
