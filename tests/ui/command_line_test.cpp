#include "ui/command_line.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

namespace torvex {
namespace {

TEST(ParseCommandLine, ConfigFolderBecomesAbsolute) {
  const QString here = QDir::currentPath();
  EXPECT_EQ(ParseCommandLine({"torvex-tp"}).configDir, QString());
  EXPECT_FALSE(ParseCommandLine({"torvex-tp", "--config="}).error.isEmpty());
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--config", "/srv/bench/"}).configDir, "/srv/bench");
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--config=bench"}).configDir, here + "/bench");
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--config", "./a/../b"}).configDir, here + "/b");
}

TEST(ParseCommandLine, APollPeriodIsZeroOrTenToAThousandAndGoesWithTheWindow) {
  EXPECT_EQ(ParseCommandLine({"torvex-tp"}).pollPeriodMs, std::nullopt);
  const struct {
    QStringList arguments;
    std::optional<int> period;
  } taken[] = {
      {{"--poll-period", "0"}, 0},
      {{"--poll-period=10"}, 10},
      {{"--poll-period", " 250 "}, 250},
      {{"--poll-period", "1000", "--connect", "COM2"}, 1000},
  };
  for (const auto& c : taken) {
    const CommandLine parsed = ParseCommandLine(QStringList{"torvex-tp"} + c.arguments);
    EXPECT_EQ(parsed.error, "") << c.arguments.join(' ').toStdString();
    EXPECT_EQ(parsed.pollPeriodMs, c.period) << c.arguments.join(' ').toStdString();
  }

  for (const char* value : {"9", "1", "1001", "-5", "fast", "50ms", "2.5", ""}) {
    const CommandLine parsed = ParseCommandLine({"torvex-tp", QStringLiteral("--poll-period=") + value});
    EXPECT_EQ(parsed.error, QStringLiteral("--poll-period: ") + value +
                                " is no poll period: 0 (continuous) or 10-1000 ms")
        << value;
    EXPECT_EQ(parsed.pollPeriodMs, std::nullopt) << value;
  }

  for (const QStringList& windowless :
       {QStringList{"--scan"}, QStringList{"--read-params", "set.txt"},
        QStringList{"--write-params", "set.txt"}, QStringList{"--compare-params", "set.txt"},
        QStringList{"--checkout", "standard", "--report", "unit.pdf"}}) {
    const CommandLine parsed =
        ParseCommandLine(QStringList{"torvex-tp", "--poll-period", "20"} + windowless);
    EXPECT_EQ(parsed.error,
              "--poll-period goes with the window, not with --scan, --read-params, "
              "--write-params, --compare-params or --checkout")
        << windowless.join(' ').toStdString();
  }
}

TEST(ParseCommandLine, TheScansWaitIsTenToFiveThousandAndGoesWithTheScan) {
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--scan"}).scanWaitMs, std::nullopt);
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--scan", "--scan-wait", "10"}).scanWaitMs, 10);
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--scan", "--scan-wait=5000"}).scanWaitMs, 5000);
  for (const char* value : {"9", "5001", "-1", "slow", ""}) {
    const CommandLine parsed =
        ParseCommandLine({"torvex-tp", "--scan", QStringLiteral("--scan-wait=") + value});
    EXPECT_EQ(parsed.error, QStringLiteral("--scan-wait: ") + value + " is no wait of 10-5000 ms")
        << value;
  }
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--scan-wait", "100"}).error,
            "--scan-all, --scan-ports, --scan-addresses and --scan-wait go with --scan");
}

TEST(ParseCommandLine, AUnitSerialNumberIsOneLineForTheCheckoutOrAReadSet) {
  const QStringList checkout{"--checkout", "standard", "--report", "unit.pdf"};
  EXPECT_EQ(ParseCommandLine(QStringList{"torvex-tp", "--unit-serial", " ТВ-0421 "} + checkout).unitSerial, "ТВ-0421");
  EXPECT_EQ(ParseCommandLine({"torvex-tp", "--read-params", "set.txt", "--unit-serial=0421"}).unitSerial, "0421");
  for (const QString& wrong : {QString(""), QString("04\n21"), QString("04\t21"), QString(65, u'9')}) {
    EXPECT_EQ(ParseCommandLine(QStringList{"torvex-tp", "--unit-serial", wrong} + checkout).error,
              "--unit-serial: \"" + wrong + "\" is no serial number: 1-64 characters, no control characters")
        << wrong.toStdString();
  }
  for (const QStringList& elsewhere : {QStringList{}, QStringList{"--write-params", "set.txt"}, QStringList{"--scan"}}) {
    EXPECT_EQ(ParseCommandLine(QStringList{"torvex-tp", "--unit-serial", "0421"} + elsewhere).error,
              "--unit-serial goes with --checkout or --read-params")
        << elsewhere.join(' ').toStdString();
  }
}

struct Outcome {
  int status;
  QString out;
  QString err;
};

// The real program, with a window system that cannot start: what is asked of the command line
// must be answered before the program touches it.
Outcome RunTool(const QStringList& arguments) {
  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("QT_QPA_PLATFORM", "xcb");
  tool.setProcessEnvironment(env);
  tool.start(QStringLiteral(TORVEX_TP_PROGRAM), arguments);
  tool.waitForFinished(10000);
  return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
          QString::fromLocal8Bit(tool.readAllStandardOutput()),
          QString::fromLocal8Bit(tool.readAllStandardError())};
}

TEST(ToolCommandLine, HelpAndVersionNeedNoDisplay) {
  const Outcome version = RunTool({"--version"});
  EXPECT_EQ(version.status, 0) << version.err.toStdString();
  EXPECT_EQ(version.out, "torvex-tp " TORVEX_VERSION "\n");

  const Outcome help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith("Usage: torvex-tp [options]\n")) << help.out.toStdString();
  EXPECT_TRUE(help.out.contains("--config <DIR>")) << help.out.toStdString();
  EXPECT_TRUE(help.out.contains("--poll-period <MS>")) << help.out.toStdString();
}

TEST(ToolCommandLine, AWrongCommandLinePrintsTheUsageAndFails) {
  for (const QStringList& arguments : {QStringList{"--bogus"}, QStringList{"--config"},
                                       QStringList{"--config="}, QStringList{"stray"},
                                       QStringList{"--poll-period", "5"}}) {
    const Outcome run = RunTool(arguments);
    const std::string what = arguments.join(' ').toStdString();
    EXPECT_EQ(run.status, 2) << what;
    EXPECT_TRUE(run.out.isEmpty()) << what;
    EXPECT_TRUE(run.err.startsWith("torvex-tp: ")) << what << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Usage: torvex-tp [options]")) << what;
  }
}

}  // namespace
}  // namespace torvex
