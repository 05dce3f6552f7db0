#pragma once
// The simulator's loop: it waits for the master's bytes, a stop signal and the next moment
// something is due, hands the bytes to a conversation and writes what is due. It returns the
// exit status: 0 after a stop signal, 1 when the line fails.
#include "sim/conversation.h"
#include "sim/link.h"
#include "sim/stop_signals.h"

namespace torvex::sim {

// The serial line: its one conversation lasts the whole run.
int ServeLine(Link& link, Conversation& line, StopSignals& stop, Observer& observer);

}  // namespace torvex::sim
