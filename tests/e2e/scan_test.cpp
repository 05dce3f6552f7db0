// The search for a controller of unknown settings, end to end: torvex-tp --scan against the
// simulator on a pseudo-terminal, as a Modbus TCP server and behind its gateway, and against a
// Modbus TCP device that is not the controller; its output, summary and exit statuses, and a
// search stopped in its middle.
#include <gtest/gtest.h>

#include <map>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include "platform/qt_serial_port.h"
#include "search/controller_search.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/wait_for.h"

namespace torvex {
namespace {

using test::WaitFor;

struct Scan {
  int status = -1;
  QStringList lines;  // standard output
  QString err;
};

// The event loop runs meanwhile, for a server of the test's own.
Scan RunScan(const test::ProgramDir& dir, const QStringList& options) {
  QProcess tool;
  tool.start(QStringLiteral(TORVEX_TP_PROGRAM), QStringList{"--config", dir.Path(), "--scan"} + options);
  EXPECT_TRUE(WaitFor([&] { return tool.state() == QProcess::NotRunning; }, 120'000))
      << options.join(' ').toStdString();
  Scan scan;
  scan.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
  scan.lines = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  scan.err = QString::fromUtf8(tool.readAllStandardError());
  return scan;
}

// The last line on standard error.
QString Summary(const Scan& scan) {
  return scan.err.trimmed().section(u'\n', -1);
}

// A Modbus TCP device that is not the controller: unit 7 holds 0x0999 and 0x0777 in registers
// 3050-3051, refuses other registers, and refuses any other function (`refuses`) or ignores it.
class ForeignDevice {
 public:
  explicit ForeignDevice(bool refuses) : refuses_(refuses) {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(*socket); });
      }
    });
  }
  quint16 Port() const { return server_.serverPort(); }

 private:
  void Serve(QTcpSocket& socket) {
    QByteArray& in = pending_[&socket];
    in += socket.readAll();
    while (in.size() >= 8 && in.size() >= 6 + static_cast<quint8>(in[5])) {
      const QByteArray frame = in.left(6 + static_cast<quint8>(in[5]));
      in.remove(0, frame.size());
      const auto byte = [&](int i) { return static_cast<quint8>(frame[i]); };
      if (byte(6) != 7) continue;
      QByteArray pdu;
      if (byte(7) == 3) {
        const int start = byte(8) << 8 | byte(9);
        const int count = byte(10) << 8 | byte(11);
        if (start == 3050 && count == 2) pdu = QByteArray::fromHex("030409990777");
        else pdu = QByteArray::fromHex("8302");
      } else if (refuses_) {
        pdu = QByteArray(1, static_cast<char>(byte(7) | 0x80)) + QByteArray::fromHex("01");
      } else {
        continue;
      }
      QByteArray answer = frame.left(4);
      answer += static_cast<char>(0);
      answer += static_cast<char>(pdu.size() + 1);
      answer += static_cast<char>(7);
      socket.write(answer + pdu);
    }
  }

  bool refuses_;
  QTcpServer server_;
  std::map<QTcpSocket*, QByteArray> pending_;
};

class ScanOnSim : public ::testing::Test {
 protected:
  ScanOnSim() {
    dir.BindOthersToNowhere();
    EXPECT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
  }
  test::ProgramDir dir;
};

TEST_F(ScanOnSim, FindsTheControllerAtAnotherAddressAndPrintsItsLine) {
  test::SimRunner sim(dir.LinkPath(1),
                      {"--address", "12", "--mode", "19200,o,8,1", "--strict-mode"});
  const Scan scan = RunScan(dir, {"--scan-addresses", "10-14"});
  EXPECT_EQ(scan.status, 0) << scan.err.toStdString();
  ASSERT_EQ(scan.lines.size(), 1) << scan.lines.join('\n').toStdString();
  const QStringList fields = scan.lines[0].split(u'\t');
  ASSERT_EQ(fields.size(), 5);
  EXPECT_EQ(fields[0], "COM1");
  EXPECT_EQ(fields[1], "19200,o,8,1");
  EXPECT_EQ(fields[2], "12");
  EXPECT_EQ(fields[3], "2.14");
  EXPECT_EQ(fields[4], "1.05");
  EXPECT_TRUE(scan.err.contains("scanning COM1 ")) << scan.err.toStdString();
  EXPECT_EQ(Summary(scan), "torvex-tp: найдено 1 устройство, из них TORVEX-CPU: 1");
}

// A device with two registers where the controller keeps its versions is not taken for one: it
// does not answer the controller's own function 100 as the controller does.
TEST_F(ScanOnSim, ADeviceThatDoesNotAnswerAsTheControllerIsAnotherModbusDevice) {
  for (const bool refuses : {true, false}) {
    SCOPED_TRACE(refuses ? "function 100 refused" : "function 100 ignored");
    ForeignDevice device(refuses);
    const QString link = "modbus-tcp://127.0.0.1:" + QString::number(device.Port());
    const Scan scan = RunScan(dir, {"--connect", link, "--scan-addresses", "7-7"});
    EXPECT_EQ(scan.status, 1) << scan.err.toStdString();
    EXPECT_EQ(scan.lines, QStringList{link + "\t115200,n,8,2\t7\t-\t-"});
    EXPECT_EQ(Summary(scan), "torvex-tp: найдено 1 устройство, из них TORVEX-CPU: 0");
  }
}

TEST_F(ScanOnSim, AnotherDeviceIsListedAndWithoutATorvexTheStatusIsOne) {
  test::SimRunner sim(dir.LinkPath(1), {"--exception", "3:2"});
  const Scan scan = RunScan(dir, {"--scan-addresses", "7-7"});
  EXPECT_EQ(scan.status, 1) << scan.err.toStdString();
  ASSERT_EQ(scan.lines.size(), 32) << "one line for each of the 32 modes";
  EXPECT_EQ(scan.lines[0], "COM1\t115200,n,8,2\t7\t-\t-");
}

TEST_F(ScanOnSim, NoPortThatOpensIsStatusTwoAndWrongOptionsAreRefused) {
  const Scan none = RunScan(dir, {"--scan-ports", "9"});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(none.lines.isEmpty());
  EXPECT_TRUE(Summary(none).startsWith("torvex-tp: ни один порт не открылся: COM9 — Устройство "))
      << none.err.toStdString();
  for (const QStringList& wrong : {QStringList{"--scan-ports", "0"},
                                   QStringList{"--scan-addresses", "9-3"},
                                   QStringList{"--scan-addresses", "1-300"},
                                   QStringList{"--scan-wait", "5"},
                                   QStringList{"--scan-wait", "abc"}}) {
    EXPECT_EQ(RunScan(dir, wrong).status, 2) << wrong.join(' ').toStdString();
  }
}

TEST_F(ScanOnSim, OverModbusTcpTheUnitIdentifiersAreSearched) {
  test::SimRunner sim(test::SimRunner::Tcp{}, {"--modbus-tcp", "--address", "200"});
  const QString link = "modbus-tcp://127.0.0.1:" + QString::number(sim.Port());
  // A device on the network itself, not behind a gateway: no gateway's timeout to wait for.
  const Scan scan =
      RunScan(dir, {"--connect", link, "--scan-addresses", "190-210", "--scan-wait", "50"});
  EXPECT_EQ(scan.status, 0) << scan.err.toStdString();
  EXPECT_EQ(scan.lines, QStringList{link + "\t115200,n,8,2\t200\t2.14\t1.05"});
}

// Behind a gateway that answers for a silent unit (exception 11, once its own serial timeout is
// over) or for one it has no way to (exception 10), those answers are no finds; the controller
// is found though the gateway answers each address only after the one before, and though the
// gateway closes the connection after each answer. The probes go into the exchange log as the
// window's exchanges do.
TEST_F(ScanOnSim, BehindAGatewayOnlyTheControllerIsFound) {
  const struct {
    const char* name;
    QStringList gateway;
  } gateways[] = {
      {"silent units", {"--gateway", "--gateway-timeout-ms", "300"}},
      {"no path", {"--gateway", "--gateway-no-path"}},
      {"closing after each answer", {"--gateway", "--close-after-answer"}},
  };
  for (const auto& [name, gateway] : gateways) {
    SCOPED_TRACE(name);
    test::SimRunner sim(test::SimRunner::Tcp{}, QStringList{"--modbus-tcp", "--address", "12"} + gateway);
    const QString link = "modbus-tcp://127.0.0.1:" + QString::number(sim.Port());
    const QString log = dir.Path() + "/exchange.log";
    QFile::remove(log);
    const Scan found = RunScan(dir, {"--connect", link, "--scan-addresses", "10-14", "--scan-all",
                                     "--exchange-log", log});
    EXPECT_EQ(found.status, 0) << found.err.toStdString();
    EXPECT_EQ(found.lines, QStringList{link + "\t115200,n,8,2\t12\t2.14\t1.05"});
    EXPECT_EQ(Summary(found), "torvex-tp: найдено 1 устройство, из них TORVEX-CPU: 1");
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(file.readAll());
    // The version read to unit 12, and the gateway's answer for another unit.
    EXPECT_TRUE(lines.contains(QRegularExpression("\tTX\t00 [0-9A-F]{2} 00 00 00 06 0C 03 0B EA 00 02\t")))
        << lines.toStdString();
    EXPECT_TRUE(lines.contains(QRegularExpression("\tRX\t00 [0-9A-F]{2} 00 00 00 03 0[ABDE] 83 0[AB]\t")))
        << lines.toStdString();

    const Scan nothing = RunScan(dir, {"--connect", link, "--scan-addresses", "1-5"});
    EXPECT_EQ(nothing.status, 1) << nothing.err.toStdString();
    EXPECT_TRUE(nothing.lines.isEmpty()) << nothing.lines.join('\n').toStdString();
    EXPECT_EQ(Summary(nothing), "torvex-tp: ничего не найдено за 5 проб");
  }
}

// Stop ends a search within the probe on the line; the port is left for the exchange.
TEST_F(ScanOnSim, StopEndsTheSearchWithinOneProbe) {
  test::SimRunner sim(dir.LinkPath(1), {"--silent-every", "1"});
  QtSerialPort port(dir.Path());
  search::ControllerSearch search(port, nullptr);
  int tried = 0;
  int triedAfterStop = -1;
  std::optional<search::SearchEnd> end;
  QObject::connect(&search, &search::ControllerSearch::Trying, [&] {
    if (++tried == 3) {
      search.Stop();
      triedAfterStop = tried;
    }
  });
  QObject::connect(&search, &search::ControllerSearch::Finished,
                   [&](const search::SearchEnd& e) { end = e; });
  search::SearchSpace space;
  space.ports = {1};
  space.speeds = {9600, 115200};
  space.framings = {search::kFramings[0]};
  search.Start(space, false);
  ASSERT_TRUE(WaitFor([&] { return end.has_value(); }, 5000));
  EXPECT_EQ(tried, triedAfterStop) << "no probe after Stop";
  EXPECT_TRUE(end->stopped);
  EXPECT_TRUE(end->portOpened);
  EXPECT_FALSE(end->foundTorvex);
  EXPECT_FALSE(search.Running());
}

}  // namespace
}  // namespace torvex
