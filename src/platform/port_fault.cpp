#include "platform/port_fault.h"

namespace torvex {

QString PortFaultText(const PortFault& fault) {
  const QString device = QStringLiteral("Устройство ") + fault.device;
  switch (fault.reason) {
    case PortFault::Reason::NoPermission:
      return device + QStringLiteral(": нет прав доступа; пользователь должен входить в группу ") +
             (fault.group.isEmpty() ? QStringLiteral("dialout") : fault.group) +
             QStringLiteral(" (sudo usermod -aG ") +
             (fault.group.isEmpty() ? QStringLiteral("dialout") : fault.group) +
             QStringLiteral(" $USER, затем войти в систему заново)");
    case PortFault::Reason::NoSuchDevice:
      return device + QStringLiteral(" не найдено: адаптер не подключён или порт не привязан");
    case PortFault::Reason::NotASerialPort:
      return device + QStringLiteral(" не является последовательным портом");
    case PortFault::Reason::ModeRefused:
      return device + QStringLiteral(" не принимает режим ") + fault.mode;
    case PortFault::Reason::InUse:
      if (fault.pid == 0) return device + QStringLiteral(" занято другой программой");
      return device + QStringLiteral(" занято процессом ") + QString::number(fault.pid) +
             (fault.program.isEmpty() ? QString() : QStringLiteral(" (") + fault.program + u')');
    case PortFault::Reason::Other:
      break;
  }
  return device + QStringLiteral(": ") + fault.systemText;
}

}  // namespace torvex
