#pragma once
// Why a port could not be opened, named so that an operator at a test bench can act on it: the
// device behind COMn and what is wrong with it.
#include <cstdint>
#include <optional>

#include <QString>

namespace torvex {

struct PortFault {
  enum class Reason {
    NoPermission,    // the user may not read and write the device
    NoSuchDevice,    // nothing at the path (an adapter unplugged, a link to nowhere)
    NotASerialPort,  // something that is no terminal device (a plain file, a directory)
    ModeRefused,     // the device did not take the line mode
    InUse,           // another program holds it (its process when it can be found)
    StaleLock,       // a lock file of a process that has ended, which this user cannot remove
    Claimed,         // claimed for exclusive use (TIOCEXCL) by no process this user can see
    Other,           // anything else, in the system's own words
  };

  Reason reason = Reason::Other;
  QString device;       // the device as the operator can find it: /dev/ttyUSB0, a by-id name
  QString group;        // NoPermission: the group whose members may use the device; empty when
                        // its permissions give no group that (or only root's)
  QString owner;        // NoPermission: the device's owner and group, "root:dialout"
  QString permissions;  // NoPermission: its permission bits, "rw-rw----"
  std::int64_t pid = 0;  // InUse: the holding process, 0 when unknown; StaleLock: the ended one
  QString program;      // InUse: its name, when it can be read
  QString lockFile;     // StaleLock: the lock file's path
  QString mode;         // ModeRefused: the mode string
  QString systemText;   // Other: what the system said, in the window's language

  friend bool operator==(const PortFault&, const PortFault&) = default;
};

// One line that names the device and the reason, in the window's language.
QString PortFaultText(const PortFault& fault);

}  // namespace torvex
