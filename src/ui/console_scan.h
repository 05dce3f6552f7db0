#pragma once
// torvex-tp --scan: the search for a controller without a window, for scripts and production
// lines. Each find goes to standard output as one line of TAB-separated fields (the link, the
// mode string, the address, the software version, the protocol version, "-" for a device that
// is not a TORVEX-CPU), progress to standard error, and at the end one line there that says what
// was found, or why the search could not run.
#include <cstdio>
#include <optional>
#include <vector>

#include <QString>

#include "config/link_choice.h"

namespace torvex {

struct ConsoleScan {
  QString settingsDir;                      // holds "тп.ini": the configured port and mode
  std::vector<int> ports;                   // --scan-ports; empty: the configured port
  std::optional<ConnectArgument> connect;   // --connect
  bool all = false;                         // --scan-all
  int firstAddress = 0;                     // --scan-addresses; 0: the link's usual range
  int lastAddress = 0;
  std::optional<int> waitMs;                // --scan-wait; nothing: the link's usual allowance
  QString exchangeLog;                      // --exchange-log: every frame appended there
};

// Exit statuses: a TORVEX-CPU was found, none was, no port could be opened (or the network link
// was lost before one was found).
inline constexpr int kScanFound = 0;
inline constexpr int kScanNothing = 1;
inline constexpr int kScanNoPort = 2;

// Runs the search to its end in the running application's event loop.
int RunConsoleScan(const ConsoleScan& scan, std::FILE* out = stdout, std::FILE* err = stderr);

// One find as its output line, without the line's end.
QString ScanLine(const QString& link, const QString& mode, int address, bool torvex,
                 int softwareVersion, int protocolVersion);

}  // namespace torvex
