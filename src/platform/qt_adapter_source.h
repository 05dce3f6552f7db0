#pragma once
// The serial adapters present, from Qt SerialPort's port listing and the /dev/serial/by-id
// names that udev gives USB adapters.
#include <QHash>

#include "platform/serial_adapters.h"

namespace torvex {

inline const QString kSerialByIdDir = QStringLiteral("/dev/serial/by-id");

// The names in byIdDir by the real device each leads to (/dev/ttyUSB0 → the by-id path).
QHash<QString, QString> ByIdNames(const QString& byIdDir = kSerialByIdDir);

class QtAdapterSource : public AdapterSource {
 public:
  explicit QtAdapterSource(QString byIdDir = kSerialByIdDir);
  std::vector<SerialAdapter> Adapters() override;

 private:
  QString byIdDir_;
};

}  // namespace torvex
