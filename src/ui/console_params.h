#pragma once
// torvex-tp --read-params, --write-params, --compare-params: a parameter set moved between a
// controller and a file without a window, for production lines. Results and differences go to
// standard output or standard error as each command says; the exit status tells the outcome.
// SIGINT, SIGTERM or SIGHUP interrupt a command: an interrupted write says what the
// controller's answers have confirmed, and the exit status is 2.
#include <cstdio>
#include <optional>

#include <QString>

#include "config/link_choice.h"
#include "ui/command_line.h"

namespace torvex {

struct ConsoleParams {
  ParamTask task = ParamTask::kRead;
  QString file;
  QString settingsDir;                     // holds "тп.ini": the configured link and mode
  std::optional<ConnectArgument> connect;  // --connect
  int address = 7;                         // --address
  QString unitSerial;                      // --unit-serial: into the header of --read-params' file
};

// Exit statuses: done (saved; written and equal; equal), the controller differs from the file
// or refused a write, and the controller or the file could not be used at all.
inline constexpr int kParamsDone = 0;
inline constexpr int kParamsDiffer = 1;
inline constexpr int kParamsFailed = 2;

// Runs the command to its end in the running application's event loop.
int RunConsoleParams(const ConsoleParams& command, std::FILE* out = stdout,
                     std::FILE* err = stderr);

}  // namespace torvex
