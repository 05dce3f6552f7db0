// The search for a controller of unknown settings, end to end: torvex-tp --scan against the
// simulator on a pseudo-terminal and as a Modbus TCP gateway, its output and exit statuses, and
// a search stopped in its middle.
#include <gtest/gtest.h>

#include <QProcess>

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

Scan RunScan(const test::ProgramDir& dir, const QStringList& options) {
  QProcess tool;
  tool.start(QStringLiteral(TORVEX_TP_PROGRAM), QStringList{"--config", dir.Path(), "--scan"} + options);
  EXPECT_TRUE(tool.waitForFinished(120'000)) << options.join(' ').toStdString();
  Scan scan;
  scan.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
  scan.lines = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
  scan.err = QString::fromUtf8(tool.readAllStandardError());
  return scan;
}

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
  EXPECT_TRUE(none.err.contains("no port could be opened")) << none.err.toStdString();
  for (const QStringList& wrong : {QStringList{"--scan-ports", "0"},
                                   QStringList{"--scan-addresses", "9-3"},
                                   QStringList{"--scan-addresses", "1-300"}}) {
    EXPECT_EQ(RunScan(dir, wrong).status, 2) << wrong.join(' ').toStdString();
  }
}

TEST_F(ScanOnSim, OverModbusTcpTheUnitIdentifiersAreSearched) {
  test::SimRunner sim(test::SimRunner::Tcp{}, {"--modbus-tcp", "--address", "200"});
  const QString link = "modbus-tcp://127.0.0.1:" + QString::number(sim.Port());
  const Scan scan = RunScan(dir, {"--connect", link, "--scan-addresses", "190-210"});
  EXPECT_EQ(scan.status, 0) << scan.err.toStdString();
  EXPECT_EQ(scan.lines, QStringList{link + "\t115200,n,8,2\t200\t2.14\t1.05"});
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
