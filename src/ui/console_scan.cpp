#include "ui/console_scan.h"

#include <memory>

#include <QEventLoop>

#include "config/configuration.h"
#include "monitor/exchange_log.h"
#include "monitor/exchange_trace.h"
#include "platform/qt_serial_port.h"
#include "platform/tcp_link.h"
#include "search/controller_search.h"
#include "ui/no_window.h"
#include "ui/search_texts.h"

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

  // The probes in the exchange log, as the window's exchange is.
  ExchangeTrace trace;
  std::unique_ptr<ExchangeLogFile> log;
  if (!scan.exchangeLog.isEmpty()) {
    log = std::make_unique<ExchangeLogFile>(scan.exchangeLog);
    log->SetStateHandler([&](const Result& writing) {
      if (!writing) {
        std::fprintf(err, "torvex-tp: the exchange log %s cannot be written: %s\n",
                     qUtf8Printable(scan.exchangeLog), qUtf8Printable(writing.Why()));
      }
    });
    log->Open();
    trace.SetLog(log.get());
  }

  search::SearchSpace space;
  space.configuredMode = config.PortSettings();
  for (const int speed : search::kSpeeds) space.speeds.push_back(speed);
  for (const QString& framing : search::kFramings) space.framings.push_back(framing);
  std::chrono::milliseconds allowance = search::kDefaultReplyAllowance;
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
      allowance = search::kDefaultGatewayAllowance;
    }
  } else {
    space.ports = scan.ports.empty() ? std::vector<int>{config.PortNumber()} : scan.ports;
  }
  if (scan.firstAddress > 0) {
    space.firstAddress = scan.firstAddress;
    space.lastAddress = scan.lastAddress;
    space.gatewayUnit = false;
  }
  if (scan.waitMs) allowance = std::chrono::milliseconds(*scan.waitMs);

  QtSerialPort port(scan.settingsDir);
  search::ControllerSearch search(port, &network, &trace);
  network.SetArrivalHandler([&search] { search.OnArrival(); });
  QEventLoop loop;
  search::SearchEnd end;
  int finds = 0;
  int torvexFinds = 0;
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
                     ++finds;
                     if (torvex) ++torvexFinds;
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
  search.Start(space, scan.all, allowance);
  loop.exec();
  network.SetArrivalHandler({});

  const std::optional<NetworkFault> fault = network.Fault();
  const QString networkFault =
      fault ? NetworkFaultText(link.Target(), *fault) : QStringLiteral("нет соединения");
  std::fprintf(err, "torvex-tp: %s\n",
               qUtf8Printable(ScanSummary(end, finds, torvexFinds, networkFault)));
  if (end.foundTorvex) return kScanFound;
  if (!end.portOpened || end.linkLost) return kScanNoPort;
  return kScanNothing;
}

}  // namespace torvex
