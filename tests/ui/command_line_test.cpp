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
}

TEST(ToolCommandLine, AWrongCommandLinePrintsTheUsageAndFails) {
  for (const QStringList& arguments : {QStringList{"--bogus"}, QStringList{"--config"},
                                       QStringList{"--config="}, QStringList{"stray"}}) {
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
