#pragma once
// Which link the exchange runs on: the serial port, or TCP to a serial device server (the RTU
// bytes unchanged) or to a Modbus TCP gateway; as "тп.ini" keeps it ("Link", "Host",
// "TcpPort") and as the command line names it for one run.
#include <cstdint>
#include <optional>

#include <QString>

#include "platform/tcp_link.h"

namespace torvex {

enum class LinkKind { kSerial, kRtuOverTcp, kModbusTcp };

inline constexpr std::uint16_t kModbusTcpPort = 502;
// Where serial device servers commonly serve their first port in TCP-server mode.
inline constexpr std::uint16_t kRtuOverTcpPort = 4001;

struct LinkChoice {
  LinkKind kind = LinkKind::kSerial;
  QString host;
  std::uint16_t tcpPort = kModbusTcpPort;

  bool OnNetwork() const { return kind != LinkKind::kSerial; }
  NetworkTarget Target() const;
  friend bool operator==(const LinkChoice&, const LinkChoice&) = default;
};

// The link as the caption names it: "COM3", "TCP 192.168.0.10:502", "RTU/TCP 10.0.0.5:4001".
QString LinkName(const LinkChoice& link, int portNumber);

// The link as --connect names it: "COM3", "modbus-tcp://192.168.0.10:502",
// "rtu-over-tcp://10.0.0.5:4001".
QString LinkUrl(const LinkChoice& link, int portNumber);

// The TCP port a link of this kind uses unless told otherwise.
std::uint16_t DefaultTcpPort(LinkKind kind);

// "serial", "rtu-over-tcp", "modbus-tcp": the value of "Link" and the scheme of --connect.
QString LinkKindName(LinkKind kind);
std::optional<LinkKind> LinkKindFromName(const QString& name);

// A TCP port number 1-65535.
std::optional<std::uint16_t> TcpPortFrom(const QString& text);

// What --connect names: "modbus-tcp://HOST[:PORT]", "rtu-over-tcp://HOST[:PORT]" (an IPv6
// address in brackets) or a serial port "COMn".
struct ConnectArgument {
  LinkChoice link;
  std::optional<std::uint8_t> comPort;  // with a serial link
};
// Why the text names no link, in the words of the command line's other errors.
struct ConnectParse {
  std::optional<ConnectArgument> argument;
  QString error;
};
ConnectParse ParseConnectArgument(const QString& text);

}  // namespace torvex
