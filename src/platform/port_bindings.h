#pragma once
// The bindings of COM numbers to devices: the symbolic links ports/comN in the settings folder
// (the port layer opens COMn through them). Made and removed here for the settings dialog; the
// file system is the only record, so a link made by hand is a binding like any other.
#include <optional>
#include <vector>

#include <QString>

#include "platform/result.h"

namespace torvex {

struct PortBinding {
  int number = 0;
  QString target;  // what the link names, as written (a by-id name, /dev/ttyUSB0, ...)
  QString device;  // the real device it leads to now; empty while nothing is there

  friend bool operator==(const PortBinding&, const PortBinding&) = default;
};

class PortBindings {
 public:
  // settingsDir: the folder that holds ports/.
  explicit PortBindings(const QString& settingsDir);

  // Every ports/comN link, N 1-255, by number.
  std::vector<PortBinding> List() const;
  std::optional<PortBinding> Find(int number) const;

  // Makes ports/comN lead to target, replacing an earlier link of that number in one step;
  // creates ports/ when needed. Fails for a number outside 1-255, for a ports/comN that is not
  // a link (a file someone put there is not ours to replace), or when the link cannot be made;
  // the failure names the path and the reason, in the window's language.
  Result Bind(int number, const QString& target) const;
  // Removes the link ports/comN; nothing when there is none. Fails for a ports/comN that is
  // not a link, or when it cannot be removed.
  Result Unbind(int number) const;

  // The lowest number in first..last with no entry in ports/; nullopt when all are taken.
  std::optional<int> FirstFree(int first, int last) const;

  QString PortsDir() const { return portsDir_; }

 private:
  QString LinkPath(int number) const;

  QString portsDir_;
};

}  // namespace torvex
