#include "ui/search_texts.h"

#include <QStringList>

#include "text/counted_noun.h"

namespace torvex {
namespace {

const QString kDash = QStringLiteral(" — ");

QString PortErrorText(const PortError& error) {
  if (error.fault()) return PortFaultText(*error.fault());
  switch (error.kind()) {
    case PortError::Kind::InvalidValue:
      return QStringLiteral("некорректные настройки порта");
    case PortError::Kind::InUse:
      return QStringLiteral("занят другим приложением");
    case PortError::Kind::Unavailable:
      break;
  }
  return QStringLiteral("не доступен");
}

}  // namespace

QString FindText(const QString& link, const search::SearchFind& find) {
  const QString where = link + kDash + find.probe.mode + kDash + QStringLiteral("адрес ") +
                        QString::number(find.probe.address) + kDash;
  if (find.find.kind == search::ProbeFind::Kind::kOtherDevice) {
    if (find.find.exceptionCode == 0) return where + QStringLiteral("устройство Modbus");
    return where + QStringLiteral("устройство Modbus (исключение ") +
           QString::number(find.find.exceptionCode) + u')';
  }
  return where + QStringLiteral("TORVEX-CPU, ПО ") +
         search::VersionText(find.find.softwareVersion) + QStringLiteral(", протокол ") +
         search::VersionText(find.find.protocolVersion);
}

QString FailedPortsText(const search::SearchEnd& end) {
  QStringList ports;
  for (const auto& [number, error] : end.failedPorts) {
    ports << QStringLiteral("COM") + QString::number(number) + kDash + PortErrorText(error);
  }
  return ports.join(QStringLiteral("; "));
}

QString ScanSummary(const search::SearchEnd& end, int finds, int torvexFinds,
                    const QString& networkFault) {
  QStringList parts;
  if (!end.portOpened && !end.linkLost) {
    return QStringLiteral("ни один порт не открылся: ") + FailedPortsText(end);
  }
  if (finds > 0) {
    parts << QStringLiteral("найдено ") +
                 CountedNoun(finds, {"устройство", "устройства", "устройств"}) +
                 QStringLiteral(", из них TORVEX-CPU: ") + QString::number(torvexFinds);
  } else if (end.probes > 0) {
    parts << QStringLiteral("ничего не найдено за ") +
                 CountedNoun(end.probes, {"пробу", "пробы", "проб"});
  }
  if (end.linkLost) parts << QStringLiteral("поиск прерван: ") + networkFault;
  if (!end.failedPorts.empty()) {
    parts << (end.failedPorts.size() == 1 ? QStringLiteral("не открылся порт ")
                                          : QStringLiteral("не открылись порты "))
          + FailedPortsText(end);
  }
  return parts.join(QStringLiteral("; "));
}

}  // namespace torvex
