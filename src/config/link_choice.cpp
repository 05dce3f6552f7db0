#include "config/link_choice.h"

#include <QUrl>

namespace torvex {
namespace {

const QString kSerialName = QStringLiteral("serial");
const QString kRtuOverTcpName = QStringLiteral("rtu-over-tcp");
const QString kModbusTcpName = QStringLiteral("modbus-tcp");

}  // namespace

NetworkTarget LinkChoice::Target() const {
  return {kind == LinkKind::kModbusTcp ? LinkFraming::kMbap : LinkFraming::kRtuStream, host,
          tcpPort};
}

QString LinkName(const LinkChoice& link, int portNumber) {
  switch (link.kind) {
    case LinkKind::kModbusTcp:
      return QStringLiteral("TCP ") + link.Target().HostPort();
    case LinkKind::kRtuOverTcp:
      return QStringLiteral("RTU/TCP ") + link.Target().HostPort();
    case LinkKind::kSerial:
      break;
  }
  return QStringLiteral("COM") + QString::number(portNumber);
}

QString LinkUrl(const LinkChoice& link, int portNumber) {
  if (!link.OnNetwork()) return LinkName(link, portNumber);
  return LinkKindName(link.kind) + QStringLiteral("://") + link.Target().HostPort();
}

std::uint16_t DefaultTcpPort(LinkKind kind) {
  return kind == LinkKind::kRtuOverTcp ? kRtuOverTcpPort : kModbusTcpPort;
}

QString LinkKindName(LinkKind kind) {
  switch (kind) {
    case LinkKind::kRtuOverTcp:
      return kRtuOverTcpName;
    case LinkKind::kModbusTcp:
      return kModbusTcpName;
    case LinkKind::kSerial:
      break;
  }
  return kSerialName;
}

std::optional<LinkKind> LinkKindFromName(const QString& name) {
  const QString key = name.trimmed().toLower();
  if (key == kSerialName) return LinkKind::kSerial;
  if (key == kRtuOverTcpName) return LinkKind::kRtuOverTcp;
  if (key == kModbusTcpName) return LinkKind::kModbusTcp;
  return std::nullopt;
}

std::optional<std::uint16_t> TcpPortFrom(const QString& text) {
  bool ok = false;
  const uint value = text.trimmed().toUInt(&ok);
  if (!ok || value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

ConnectParse ParseConnectArgument(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive)) {
    bool ok = false;
    const uint number = trimmed.mid(3).toUInt(&ok);
    if (!ok || number < 1 || number > 255) {
      return {std::nullopt, QStringLiteral("--connect: ") + text +
                                QStringLiteral(" is no serial port COM1-COM255")};
    }
    return {ConnectArgument{LinkChoice{}, static_cast<std::uint8_t>(number)}, {}};
  }
  const QUrl url(trimmed, QUrl::StrictMode);
  const std::optional<LinkKind> kind = LinkKindFromName(url.scheme());
  if (!url.isValid() || !kind || *kind == LinkKind::kSerial || url.host().isEmpty() ||
      !(url.path().isEmpty() || url.path() == u"/") || url.hasQuery() || url.hasFragment() ||
      !url.userInfo().isEmpty()) {
    return {std::nullopt,
            QStringLiteral("--connect: ") + text +
                QStringLiteral(" is neither modbus-tcp://HOST[:PORT], rtu-over-tcp://HOST[:PORT] "
                               "nor COMn")};
  }
  const int port = url.port(DefaultTcpPort(*kind));
  if (port < 1 || port > 65535) {
    return {std::nullopt, QStringLiteral("--connect: ") + text + QStringLiteral(" has no TCP port 1-65535")};
  }
  return {ConnectArgument{LinkChoice{*kind, url.host(), static_cast<std::uint16_t>(port)}, {}}, {}};
}

}  // namespace torvex
