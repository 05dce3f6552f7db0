#pragma once
// How the settings dialogs name a COM number: the device behind it, and why none of them opens.
#include <optional>
#include <utility>
#include <vector>

#include <QString>

#include "platform/port_bindings.h"
#include "platform/port_fault.h"
#include "platform/serial_adapters.h"

namespace torvex {

// "COM3 — /dev/ttyUSB0, FTDI FT232R USB UART, A50285BI" (the adapter there now, by what it says
// of itself), "COM3 — /dev/pts/4" (a device only), "COM3 — /dev/serial/by-id/… (нет устройства)"
// (a binding whose adapter is not plugged in), "COM3" (nothing known).
QString PortEntryText(int number, const QString& device, const QString& boundTo,
                      const std::vector<SerialAdapter>& adapters);

// A port that did not open, and why when the port layer could tell.
using PortFailure = std::pair<int, std::optional<PortFault>>;

// Shown in place of an empty port list: the failures of the bound ports, of the others the first
// of each kind other than a missing device (most machines have no built-in ports at all), and
// how to bind an adapter.
QString NoPortsText(const std::vector<PortFailure>& failures, const PortBindings& bindings);

}  // namespace torvex
