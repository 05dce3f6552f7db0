#include "ui/console_link.h"

#include "ui/tool.h"

namespace torvex {

ByteLink* OpenConsoleLink(const Configuration& config, QtSerialPort& port, TcpLink& network,
                          std::FILE* err) {
  const auto say = [err](QString message) {
    std::fprintf(err, "torvex-tp: %s\n",
                 qUtf8Printable(message.replace(QStringLiteral("\r\n"), QStringLiteral("; "))));
  };
  const LinkChoice link = config.Link();
  if (link.OnNetwork()) {
    network.Connect(link.Target());
    const BasicResult<NetworkFault> connected = network.WaitConnected();
    if (connected) return &network;
    say(NetworkErrorMessage(link.Target(), connected.Why()));
    return nullptr;
  }
  try {
    port.SetSettings(config.PortSettings());
    port.SetCommPort(config.PortNumber());
    port.Open();
    return &port;
  } catch (const PortError& error) {
    say(PortErrorMessage(error, config.PortNumber()));
    return nullptr;
  }
}

}  // namespace torvex
