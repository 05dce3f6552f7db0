#pragma once
// What torvex-tp takes on its command line. Parsed before any window exists, so that --help
// and --version work without a display.
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "config/link_choice.h"

namespace torvex {

// The parameter commands, run without a window.
enum class ParamTask {
  kNone,
  kRead,     // --read-params FILE: the controller's set into FILE
  kWrite,    // --write-params FILE: FILE into the controller, read back and compared
  kCompare,  // --compare-params FILE: the controller's set against FILE
};

struct CommandLine {
  bool help = false;
  bool version = false;
  bool monitor = false;  // --monitor: open the exchange monitor at start
  bool trends = false;   // --trends: open the trends window with the AIN1 sensor values
  QString record;        // --record FILE: record the measurements into FILE (CSV)
  QString exchangeLog;  // --exchange-log FILE: append every frame to FILE (absolute path)
  QString configDir;    // --config DIR: keep "тп.ini" and ports/ there (absolute path)
  // --connect LINK: the link of this run, in place of the file's (which stays as it is).
  std::optional<ConnectArgument> connect;
  // --poll-period MS: the window's poll period for this run, 0 for continuous polling, in place
  // of the file's (which stays as it is).
  std::optional<int> pollPeriodMs;
  // --scan: search for the controller without a window; --scan-all: go on after the first;
  // --scan-ports 1,3: these COM ports instead of the configured one.
  bool scan = false;
  bool scanAll = false;
  std::vector<int> scanPorts;
  // --scan-addresses FIRST-LAST: the addresses searched; 0 0: the link's usual range.
  int scanFirstAddress = 0;
  int scanLastAddress = 0;
  // --scan-wait MS: how much longer than the line's time an answer is waited for; nothing: the
  // link's usual allowance.
  std::optional<int> scanWaitMs;
  ParamTask paramTask = ParamTask::kNone;
  QString paramFile;
  int address = 7;  // --address N: the slave address of the parameter commands and the checkout
  // --checkout PLAN --report FILE.pdf [--operator NAME]: the bench checkout without a window.
  QString checkoutPlan;
  QString checkoutReport;
  QString operatorName;
  // --unit-serial SN: the unit's serial number, for the checkout's report or the header of the
  // file of --read-params.
  QString unitSerial;
  QString error;        // not empty: the arguments were not understood
  QString helpText;     // what --help prints
};

// The program's version, as the build sets it.
QString ToolVersion();

CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace torvex
