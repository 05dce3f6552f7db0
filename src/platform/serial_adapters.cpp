#include "platform/serial_adapters.h"

#include <QStringList>

namespace torvex {

QString BindingTarget(const SerialAdapter& adapter) {
  return adapter.byIdPath.isEmpty() ? adapter.device : adapter.byIdPath;
}

QString AdapterSummary(const SerialAdapter& adapter) {
  QStringList parts{adapter.device};
  // Adapters often repeat their maker in the description ("FTDI" and "FTDI FT232R..."); once is
  // enough.
  QString product = adapter.description;
  if (!adapter.manufacturer.isEmpty() &&
      !product.startsWith(adapter.manufacturer, Qt::CaseInsensitive)) {
    product = product.isEmpty() ? adapter.manufacturer : adapter.manufacturer + u' ' + product;
  }
  if (!product.isEmpty()) parts << product;
  if (!adapter.serialNumber.isEmpty()) parts << adapter.serialNumber;
  return parts.join(QStringLiteral(", "));
}

const SerialAdapter* FindAdapter(const std::vector<SerialAdapter>& adapters, const QString& device) {
  for (const SerialAdapter& adapter : adapters) {
    if (adapter.device == device) return &adapter;
  }
  return nullptr;
}

}  // namespace torvex
