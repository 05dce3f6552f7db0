// One source for the options: every option that a program's --help lists is in the operator's
// manual's table of options for that program, and the table lists no option the program lacks.
// (The manual pages are checked against --help with the package.)
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace {

const QString kManual = QStringLiteral(TORVEX_SOURCE_DIR "/docs/manual/12-command-line.md");

// The long options named at the start of the option lines of --help.
QSet<QString> HelpOptions(const QString& program) {
  QProcess process;
  process.start(program, {QStringLiteral("--help")});
  process.waitForFinished(10000);
  static const QRegularExpression kLine(QStringLiteral("^\\s+(?:-\\w,\\s*)?(--[a-z][a-z-]*)"));
  QSet<QString> options;
  for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
    const auto match = kLine.match(line);
    if (match.hasMatch()) options << match.captured(1);
  }
  return options;
}

// The long options in the first column of the tables of the manual's section on `program`
// (from its heading of the second level to the next one).
QSet<QString> ManualOptions(const QString& program) {
  QFile file(kManual);
  if (!file.open(QIODevice::ReadOnly)) return {};
  static const QRegularExpression kOption(QStringLiteral("`(--[a-z][a-z-]*)`"));
  QSet<QString> options;
  bool inSection = false;
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
    if (line.startsWith(QStringLiteral("## "))) inSection = line.contains('`' + program + '`');
    if (!inSection || !line.startsWith('|')) continue;
    const QString firstCell = line.section('|', 1, 1);
    for (const auto& match : kOption.globalMatch(firstCell)) options << match.captured(1);
  }
  return options;
}

QStringList Sorted(const QSet<QString>& set) {
  QStringList list(set.begin(), set.end());
  list.sort();
  return list;
}

TEST(Documents, TheManualListsExactlyTheOptionsOfHelp) {
  const struct {
    QString name, path;
  } programs[] = {{QStringLiteral("torvex-tp"), QStringLiteral(TORVEX_TP_PROGRAM)},
                  {QStringLiteral("torvex-sim"), QStringLiteral(TORVEX_SIM_PROGRAM)}};
  for (const auto& program : programs) {
    const QSet<QString> help = HelpOptions(program.path);
    const QSet<QString> manual = ManualOptions(program.name);
    ASSERT_GT(help.size(), 3) << program.name.toStdString() << " --help lists no options";
    EXPECT_TRUE((help - manual).isEmpty())
        << program.name.toStdString() << ": not in the manual: "
        << Sorted(help - manual).join(' ').toStdString();
    EXPECT_TRUE((manual - help).isEmpty())
        << program.name.toStdString() << ": in the manual but not in --help: "
        << Sorted(manual - help).join(' ').toStdString();
  }
}

}  // namespace
