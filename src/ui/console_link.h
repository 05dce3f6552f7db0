#pragma once
// The link of a command that runs without a window, opened as the window would open it.
#include <cstdio>

#include "config/configuration.h"
#include "platform/qt_serial_port.h"
#include "platform/tcp_link.h"

namespace torvex {

// The configuration's link (or --connect's), opened: the serial port or the network link
// given. Null when it does not open, the reason written on `err` in one line.
ByteLink* OpenConsoleLink(const Configuration& config, QtSerialPort& port, TcpLink& network,
                          std::FILE* err);

}  // namespace torvex
