#include "platform/qt_adapter_source.h"

#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace torvex {

QHash<QString, QString> ByIdNames(const QString& byIdDir) {
  QHash<QString, QString> names;
  const QDir dir(byIdDir);
  for (const QString& name : dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString path = dir.filePath(name);
    const QString device = QFileInfo(path).canonicalFilePath();
    if (!device.isEmpty() && !names.contains(device)) names.insert(device, path);
  }
  return names;
}

QtAdapterSource::QtAdapterSource(QString byIdDir) : byIdDir_(std::move(byIdDir)) {}

std::vector<SerialAdapter> QtAdapterSource::Adapters() {
  const QHash<QString, QString> byId = ByIdNames(byIdDir_);
  std::vector<SerialAdapter> adapters;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    const QString device = info.systemLocation();
    const QString real = QFileInfo(device).canonicalFilePath();
    adapters.push_back({device, info.description(), info.manufacturer(), info.serialNumber(),
                        byId.value(real.isEmpty() ? device : real)});
  }
  return adapters;
}

}  // namespace torvex
