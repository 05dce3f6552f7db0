#pragma once
// The running simulator: opens the line, answers until SIGINT, SIGTERM or SIGHUP, then
// prints its summary.
#include <ostream>

#include "sim/options.h"

namespace torvex::sim {

// Returns the exit status. `out` gets the start line and the summary, `err` warnings, errors
// and the trace.
int RunSimulator(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace torvex::sim
