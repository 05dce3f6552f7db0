#pragma once
// The simulator's loops: each waits for the master's bytes, a stop signal and the next moment
// something is due, hands the bytes to a conversation and writes what is due. Each returns the
// exit status: 0 after a stop signal, 1 when its line or socket fails.
#include <functional>
#include <memory>

#include "sim/conversation.h"
#include "sim/link.h"
#include "sim/stop_signals.h"
#include "sim/tcp_listener.h"

namespace torvex::sim {

// The serial line: its one conversation lasts the whole run.
int ServeLine(Link& link, Conversation& line, StopSignals& stop, Observer& observer);

// TCP: one client at a time, as a serial device server has; a second one is refused while the
// first is connected, and each client gets a fresh conversation from `converse`. With
// `closeAfterAnswer` each connection is closed once an answer has gone out, and since that
// happens at every exchange, connecting and that closing are not said.
int ServeTcp(const TcpListener& listener, const std::function<std::unique_ptr<Conversation>()>& converse,
             StopSignals& stop, Observer& observer, bool closeAfterAnswer = false);

}  // namespace torvex::sim
