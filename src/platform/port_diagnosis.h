#pragma once
// Why the opening of a serial device failed, found out from the device itself after the port
// layer has said no.
#include <QString>

#include "platform/port_fault.h"

namespace torvex {

struct OpenFailure {
  QString device;      // the real path that was opened
  QString shownAs;     // how the operator knows it (see PortFault::device)
  QString mode;        // the mode string given to the port
  bool refusedAccess;  // the port layer said "permission" (no rights, a lock, an exclusive claim)
  QString systemText;  // the port layer's own words
};

// Looks at the device in this order: missing, not a terminal device, no rights for this user,
// held by another process (its lock file, then its open descriptors); when the port layer was
// refused, a lock file left by an ended process, then a claim that cannot be traced to a
// process; and finally a device that opens but did not take the mode.
PortFault DiagnoseOpenFailure(const OpenFailure& failure);

// A device that opened but that another process holds too, when that can be seen; such a port
// is not the tool's to use (the other program would read the answers).
std::optional<PortFault> HeldElsewhere(const QString& device, const QString& shownAs);

}  // namespace torvex
