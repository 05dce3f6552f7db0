#include "platform/port_fault.h"

namespace torvex {

QString PortFaultText(const PortFault& fault) {
  const QString device = QStringLiteral("Устройство ") + fault.device;
  switch (fault.reason) {
    case PortFault::Reason::NoPermission:
      if (!fault.group.isEmpty()) {
        return device + QStringLiteral(": нет прав доступа; пользователь должен входить в группу ") +
               fault.group + QStringLiteral(" (sudo usermod -aG ") + fault.group +
               QStringLiteral(" $USER, затем войти в систему заново)");
      }
      // No group to join: say what the device has, so that whoever can change it knows.
      return device + QStringLiteral(": нет прав доступа (владелец и группа ") + fault.owner +
             QStringLiteral(", права ") + fault.permissions +
             QStringLiteral("); вступление в группу не поможет: доступ к устройству открывает "
                            "администратор (правилом udev или chmod)");
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
    case PortFault::Reason::StaleLock:
      return device + QStringLiteral(" заперто файлом блокировки ") + fault.lockFile +
             QStringLiteral(", который оставил завершившийся процесс ") +
             QString::number(fault.pid) + QStringLiteral("; удалите этот файл (sudo rm ") +
             fault.lockFile + u')';
    case PortFault::Reason::Claimed:
      return device + QStringLiteral(" занято монопольно (TIOCEXCL), но держащий его процесс не "
                                     "виден: это процесс другого пользователя, или захват остался "
                                     "от аварийно завершённой программы (тогда переподключите "
                                     "адаптер)");
    case PortFault::Reason::Other:
      break;
  }
  return device + QStringLiteral(": ") + fault.systemText;
}

}  // namespace torvex
