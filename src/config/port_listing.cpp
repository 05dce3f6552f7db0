#include "config/port_listing.h"

#include <QDir>
#include <QList>
#include <QStringList>

namespace torvex {

QString PortEntryText(int number, const QString& device, const QString& boundTo,
                      const std::vector<SerialAdapter>& adapters) {
  const QString com = QStringLiteral("COM") + QString::number(number);
  if (device.isEmpty()) {
    return boundTo.isEmpty()
               ? com
               : com + QStringLiteral(" — ") + boundTo + QStringLiteral(" (нет устройства)");
  }
  const SerialAdapter* adapter = FindAdapter(adapters, device);
  return com + QStringLiteral(" — ") + (adapter ? AdapterSummary(*adapter) : device);
}

QString NoPortsText(const std::vector<PortFailure>& failures, const PortBindings& bindings) {
  constexpr int kMaxLines = 6;
  QStringList lines{QStringLiteral("Ни один порт не открывается: ни COM1-COM16, ни привязанные.")};
  QList<PortFault::Reason> told;
  for (const auto& [number, fault] : failures) {
    if (!fault || lines.size() > kMaxLines) continue;
    const bool bound = bindings.Find(number).has_value();
    if (!bound &&
        (fault->reason == PortFault::Reason::NoSuchDevice || told.contains(fault->reason))) {
      continue;
    }
    told.append(fault->reason);
    lines << QStringLiteral("COM") + QString::number(number) + QStringLiteral(": ") +
                 PortFaultText(*fault);
  }
  if (lines.size() == 1) {
    lines << QStringLiteral("Адаптеры не привязаны, встроенных портов /dev/ttyS0-/dev/ttyS15 нет.");
  }
  lines << QStringLiteral("Подключите адаптер USB-RS485 и нажмите «Привязать адаптер…», или "
                          "привяжите его вручную: ln -s /dev/ttyUSB0 ") +
               QDir::toNativeSeparators(bindings.PortsDir()) + QStringLiteral("/com1");
  return lines.join(u'\n');
}

}  // namespace torvex
