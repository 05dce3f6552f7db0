#pragma once
// A bench with some ports present and the rest missing, for the settings dialog and its logic.
// Mode strings are checked as the real layer checks them, and a port opens only once it has a
// valid mode.
#include <map>
#include <set>
#include <vector>

#include "platform/port_mode.h"
#include "support/fake_serial_port.h"

namespace torvex::test {

class BenchPort : public FakeSerialPort {
 public:
  BenchPort() { open = false; }
  void SetSettings(const QString& mode) override {
    if (!ParsePortMode(mode)) throw PortError(PortError::Kind::InvalidValue, "bad mode");
    settings = mode;
  }
  void Open() override {
    open = false;
    if (settings.isEmpty()) throw PortError(PortError::Kind::InvalidValue, "no mode");
    if (const auto fault = faults.find(portNumber); fault != faults.end()) {
      throw PortError(PortError::Kind::Unavailable, "refused", fault->second);
    }
    if (!present.contains(portNumber)) throw PortError(PortError::Kind::Unavailable, "missing");
    open = true;
  }
  void Write(std::span<const std::uint8_t> bytes) override {
    FakeSerialPort::Write(bytes);
    writtenTo.push_back(portNumber);
  }

  std::set<int> present{1, 3, 12};
  std::map<int, PortFault> faults;  // why a port does not open, where the test says
  std::vector<int> writtenTo;       // the port number of every write
};

}  // namespace torvex::test
