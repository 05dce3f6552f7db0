#pragma once
// The serial adapters present on this machine, as the settings dialog shows them and binds them
// to COM numbers. The operating system's listing comes through AdapterSource, so that tests can
// offer adapters that this machine does not have.
#include <vector>

#include <QString>

namespace torvex {

struct SerialAdapter {
  QString device;        // /dev/ttyUSB0
  QString description;   // "FT232R USB UART"
  QString manufacturer;  // "FTDI"
  QString serialNumber;  // "A50285BI"
  // The adapter's name under /dev/serial/by-id, which stays the same in any USB socket; empty
  // when it has none (a built-in port, an adapter without a serial number).
  QString byIdPath;

  friend bool operator==(const SerialAdapter&, const SerialAdapter&) = default;
};

class AdapterSource {
 public:
  virtual ~AdapterSource() = default;
  // The adapters present now, in the system's order.
  virtual std::vector<SerialAdapter> Adapters() = 0;
};

// What a COM number's link should name for an adapter: its by-id name when it has one (so the
// binding survives plugging into another socket), else its device.
QString BindingTarget(const SerialAdapter& adapter);

// "/dev/ttyUSB0, FTDI FT232R USB UART, A50285BI": the device and what the adapter says of itself,
// the parts it has.
QString AdapterSummary(const SerialAdapter& adapter);

// The adapter whose device is `device` (a real path); nullptr when none.
const SerialAdapter* FindAdapter(const std::vector<SerialAdapter>& adapters, const QString& device);

}  // namespace torvex
