#include "ui/console_scan.h"

#include <QEventLoop>

#include "config/configuration.h"
#include "platform/qt_serial_port.h"
#include "platform/tcp_link.h"
#include "search/controller_search.h"
#include "ui/no_window.h"

namespace torvex {

QString ScanLine(const QString& link, const QString& mode, int address, bool torvex,
                 int softwareVersion, int protocolVersion) {
  const QString dash = QStringLiteral("-");
  return link + u'\t' + mode + u'\t' + QString::number(address) + u'\t' +
         (torvex ? search::VersionText(softwareVersion) : dash) + u'\t' +
         (torvex ? search::VersionText(protocolVersion) : dash);
}

int RunConsoleScan(const ConsoleScan& scan, std::FILE* out, std::FILE* err) {
  NoWindow none(err);
  Configuration config(IniPathIn(scan.settingsDir), none, none, none);
  if (scan.connect) config.SetRunLink(scan.connect->link, scan.connect->comPort);
  config.LoadConfig();
  const LinkChoice link = config.Link();

  search::SearchSpace space;
  space.configuredMode = config.PortSettings();
  for (const int speed : search::kSpeeds) space.speeds.push_back(speed);
  for (const QString& framing : search::kFramings) space.framings.push_back(framing);
  TcpLink network;
  if (link.OnNetwork()) {
    network.Connect(link.Target());
    const BasicResult<NetworkFault> connected = network.WaitConnected();
    if (!connected) {
      std::fprintf(err, "torvex-tp: %s\n",
                   qUtf8Printable(NetworkFaultText(link.Target(), connected.Why())));
      return kScanNoPort;
    }
    space.ports = {0};
    if (link.kind == LinkKind::kModbusTcp) {
      space.lastAddress = 247;
      space.gatewayUnit = true;
    }
  } else {
    space.ports = scan.ports.empty() ? std::vector<int>{config.PortNumber()} : scan.ports;
  }
  if (scan.firstAddress > 0) {
    space.firstAddress = scan.firstAddress;
    space.lastAddress = scan.lastAddress;
    space.gatewayUnit = false;
  }

  QtSerialPort port(scan.settingsDir);
  search::ControllerSearch search(port, &network);
  QEventLoop loop;
  search::SearchEnd end;
  auto lastProgress = std::chrono::steady_clock::time_point{};
  QObject::connect(&search, &search::ControllerSearch::Trying, &loop,
                   [&](const search::Probe& probe, int done, int total,
                       std::chrono::milliseconds left) {
                     const auto now = std::chrono::steady_clock::now();
                     if (now - lastProgress < std::chrono::seconds(1)) return;
                     lastProgress = now;
                     std::fprintf(err, "torvex-tp: scanning %s %s address %d (%d of %d, %lld s left)\n",
                                  qUtf8Printable(LinkUrl(link, probe.port)),
                                  qUtf8Printable(probe.mode), probe.address, done + 1, total,
                                  static_cast<long long>((left.count() + 999) / 1000));
                   });
  QObject::connect(&search, &search::ControllerSearch::Found, &loop,
                   [&](const search::SearchFind& find) {
                     const bool torvex = find.find.kind == search::ProbeFind::Kind::kTorvex;
                     std::fprintf(out, "%s\n",
                                  qUtf8Printable(ScanLine(LinkUrl(link, find.probe.port),
                                                          find.probe.mode, find.probe.address,
                                                          torvex, find.find.softwareVersion,
                                                          find.find.protocolVersion)));
                     std::fflush(out);
                   });
  QObject::connect(&search, &search::ControllerSearch::Finished, &loop,
                   [&](const search::SearchEnd& finished) {
                     end = finished;
                     loop.quit();
                   });
  search.Start(space, scan.all);
  loop.exec();
  if (!end.portOpened) {
    std::fprintf(err, "torvex-tp: no port could be opened\n");
    return kScanNoPort;
  }
  return end.foundTorvex ? kScanFound : kScanNothing;
}

}  // namespace torvex
