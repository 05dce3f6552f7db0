// The Debian package as a user gets it: what it holds, and its programs started from where
// the package puts them, with the program folder read-only and a home of their own.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include "support/files.h"
#include "support/sim_runner.h"
#include "support/wait_for.h"

namespace torvex {
namespace {

using test::WaitFor;

struct Outcome {
  int status;
  QString out;
  QString err;
};

Outcome RunProgram(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(program, arguments);
  process.waitForFinished(60000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

// The package of this version that `make package` left in the build tree.
QString PackagePath() {
  const QDir dir(QStringLiteral(TORVEX_PACKAGE_DIR));
  const QStringList found =
      dir.entryList({QStringLiteral("torvex-tp_" TORVEX_VERSION "_*.deb")}, QDir::Files);
  return found.size() == 1 ? dir.filePath(found.first()) : QString();
}

// Every entry under root with its size, time and permissions: equal lists, nothing written.
QStringList Snapshot(const QString& root) {
  QStringList entries;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo info(it.next());
    entries << QStringLiteral("%1 %2 %3 %4")
                   .arg(QDir(root).relativeFilePath(info.filePath()))
                   .arg(info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch())
                   .arg(static_cast<int>(info.permissions()), 0, 16);
  }
  entries.sort();
  return entries;
}

TEST(Package, HoldsBothProgramsAndTheirDesktopFilesUnderUsr) {
  const QString deb = PackagePath();
  ASSERT_FALSE(deb.isEmpty()) << "no torvex-tp_" TORVEX_VERSION "_*.deb in " TORVEX_PACKAGE_DIR
                                 ": run make package";
  EXPECT_GE(QFileInfo(deb).lastModified(),
            QFileInfo(QStringLiteral(TORVEX_TP_PROGRAM)).lastModified())
      << "the package is older than the built program: run make package";

  const Outcome list = RunProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
  ASSERT_EQ(list.status, 0) << list.err.toStdString();
  std::map<QString, QString> files;  // path -> permissions
  for (const QString& line : list.out.split(u'\n', Qt::SkipEmptyParts)) {
    const QStringList f = line.simplified().split(u' ');
    ASSERT_GE(f.size(), 6) << line.toStdString();
    const QString& path = f[5];
    EXPECT_EQ(f[1], "root/root") << line.toStdString();
    EXPECT_TRUE(path == "./" || path.startsWith("./usr/")) << line.toStdString();
    if (f[0].startsWith(u'd')) {
      EXPECT_EQ(f[0], "drwxr-xr-x") << line.toStdString();
    } else {
      files[path] = f[0];
    }
  }
  const QString exe = QStringLiteral("-rwxr-xr-x");
  const QString data = QStringLiteral("-rw-r--r--");
  std::map<QString, QString> expected = {
      {"./usr/bin/torvex-tp", exe},
      {"./usr/bin/torvex-sim", exe},
      {"./usr/share/applications/torvex-tp.desktop", data},
      {"./usr/share/metainfo/torvex-tp.metainfo.xml", data},
      {"./usr/share/icons/hicolor/scalable/apps/torvex-tp.svg", data},
      {"./usr/share/man/man1/torvex-tp.1.gz", data},
      {"./usr/share/man/man1/torvex-sim.1.gz", data},
      {"./usr/share/doc/torvex-tp/README.md", data},
      {"./usr/share/doc/torvex-tp/copyright", data},
      {"./usr/share/doc/torvex-tp/changelog.gz", data},
      {"./usr/share/doc/torvex-tp/examples/standard-bench.plan", data},
      {"./usr/share/doc/torvex-tp/torvex-tp-manual-ru.pdf", data},
  };
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    expected[QStringLiteral("./usr/share/icons/hicolor/%1x%1/apps/torvex-tp.png").arg(size)] = data;
  }
  // The pictures of the README and the manual, where their links look for them.
  const QDir docs(QStringLiteral(TORVEX_SOURCE_DIR "/docs"));
  for (QDirIterator it(docs.path(), {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
       it.hasNext();) {
    expected[QStringLiteral("./usr/share/doc/torvex-tp/docs/") + docs.relativeFilePath(it.next())] =
        data;
  }
  EXPECT_TRUE(expected.contains("./usr/share/doc/torvex-tp/docs/screenshot.png"));
  EXPECT_EQ(files, expected);

  // Dependencies found in the binaries, not written by hand.
  const Outcome arch = RunProgram(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
  const Outcome fields = RunProgram(QStringLiteral("dpkg-deb"),
                                {QStringLiteral("-f"), deb, QStringLiteral("Package"),
                                 QStringLiteral("Version"), QStringLiteral("Architecture"),
                                 QStringLiteral("Depends")});
  ASSERT_EQ(fields.status, 0) << fields.err.toStdString();
  EXPECT_TRUE(fields.out.startsWith("Package: torvex-tp\nVersion: " TORVEX_VERSION
                                    "\nArchitecture: " + arch.out.trimmed() + "\nDepends: "))
      << fields.out.toStdString();
  for (const char* library : {"libc6 (>=", "libstdc++6 (>=", "libqt6core6 (>=",
                              "libqt6widgets6 (>=", "libqt6serialport6 (>="}) {
    EXPECT_TRUE(fields.out.contains(QLatin1String(library))) << library;
  }
}

// The package unpacked into a folder as dpkg would install it, the programs' folder made
// read-only (for root too, who could still write there: the tool goes by the permission
// bits), and an empty home.
class InstalledPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString deb = PackagePath();
    ASSERT_FALSE(deb.isEmpty()) << "run make package";
    const Outcome extract = RunProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, Root()});
    ASSERT_EQ(extract.status, 0) << extract.err.toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(Bin()).constData(), 0555), 0);
    QDir().mkpath(Home());
  }
  void TearDown() override { ::chmod(QFile::encodeName(Bin()).constData(), 0755); }

  QString Root() const { return temp_.filePath(QStringLiteral("root")); }
  QString Bin() const { return Root() + QStringLiteral("/usr/bin"); }
  QString Home() const { return temp_.filePath(QStringLiteral("home")); }
  QString Xdg() const { return temp_.filePath(QStringLiteral("xdg")); }

  // The tool's environment: offscreen, the temporary home, the operator's hand preloaded.
  QProcessEnvironment ToolEnvironment(bool withXdg) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), Home());
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    if (withXdg) env.insert(QStringLiteral("XDG_CONFIG_HOME"), Xdg());
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TORVEX_OPERATOR_HAND));
    return env;
  }

 private:
  QTemporaryDir temp_;
};

TEST_F(InstalledPackage, FirstStartGoesThroughTheDialogIntoTheUsersFolder) {
  const QString userDir = Xdg() + QStringLiteral("/torvex-tp");
  ASSERT_TRUE(QDir().mkpath(userDir + QStringLiteral("/ports")));
  test::SimRunner sim((userDir + QStringLiteral("/ports/com1")).toStdString());
  ASSERT_TRUE(sim.Running());
  const QStringList before = Snapshot(Root());

  QProcess tool;
  tool.setProcessEnvironment(ToolEnvironment(true));
  tool.start(Bin() + QStringLiteral("/torvex-tp"));
  QString said;
  WaitFor([&] {
    said += QString::fromUtf8(tool.readAllStandardOutput());
    return said.contains(QLatin1String("polling\n")) || tool.state() == QProcess::NotRunning;
  }, 30000);
  const QString ini = userDir + QStringLiteral("/тп.ini");
  EXPECT_EQ(said.split(u'\n', Qt::SkipEmptyParts),
            QStringList({QStringLiteral("message: Некорректные настройки порта COM|Измените настройки"),
                         QStringLiteral("dialog: Файл настроек: ") + ini,
                         QStringLiteral("polling")}))
      << QString::fromUtf8(tool.readAllStandardError()).toStdString();
  tool.terminate();
  tool.waitForFinished(5000);

  const QByteArray saved = test::ReadFile(ini);
  EXPECT_TRUE(saved.contains("COM=1\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("COMSettings=115200,n,8,2\n")) << saved.toStdString();
  EXPECT_EQ(QDir(userDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"ports", "тп.ini"}));
  EXPECT_EQ(Snapshot(Root()), before) << "written beside the installed program";
}

TEST_F(InstalledPackage, WithoutXdgConfigHomeTheFileGoesToDotConfigAndCancelEnds) {
  const QStringList before = Snapshot(Root());
  QProcessEnvironment env = ToolEnvironment(false);
  env.insert(QStringLiteral("TORVEX_HAND"), QStringLiteral("cancel"));
  const Outcome run = RunProgram(Bin() + QStringLiteral("/torvex-tp"), {}, env);

  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "message: Некорректные настройки порта COM|Измените настройки\n");
  const QByteArray created = test::ReadFile(Home() + QStringLiteral("/.config/torvex-tp/тп.ini"));
  EXPECT_TRUE(created.contains("COM=1\n")) << created.toStdString();
  EXPECT_EQ(Snapshot(Root()), before) << "written beside the installed program";
}

// A settings folder that cannot hold the file (here --config names a file): the message keeps its
// first line and names the file and the reason, on screen and on standard error.
TEST_F(InstalledPackage, AConfigFolderThatIsAFileIsNamedWithTheReason) {
  const QString file = Home() + QStringLiteral("/notes");
  ASSERT_TRUE(test::WriteFile(file, "not a folder"));
  QProcessEnvironment env = ToolEnvironment(false);
  env.insert(QStringLiteral("TORVEX_HAND"), QStringLiteral("cancel"));
  const Outcome run = RunProgram(Bin() + QStringLiteral("/torvex-tp"), {"--config", file}, env);

  const QString why = file + QStringLiteral("/тп.ini: ") + file + QStringLiteral(" не является папкой");
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts),
            QStringList({QStringLiteral("message: Ошибка открытия файла тп.ini для записи|") + why,
                         QStringLiteral("message: Некорректные настройки порта COM|Измените настройки")}));
  EXPECT_TRUE(run.err.contains(QStringLiteral("torvex-tp: Ошибка открытия файла тп.ini для записи\n") + why))
      << run.err.toStdString();
}

// appstreamcli finds no error in the metainfo (its warning that the id is no reverse domain
// name stays until the project has a domain of its own).
TEST_F(InstalledPackage, TheMetainfoValidates) {
  const Outcome check = RunProgram(
      QStringLiteral("appstreamcli"),
      {"validate", "--no-net", "--format", "yaml",
       Root() + QStringLiteral("/usr/share/metainfo/torvex-tp.metainfo.xml")});
  ASSERT_TRUE(check.out.contains(QLatin1String("Validator:"))) << "appstreamcli did not run: "
                                                                  << check.err.toStdString();
  EXPECT_FALSE(check.out.contains(QLatin1String("severity: error"))) << check.out.toStdString();
}

// The manual page of a program as installed, its roff source.
QString ManualPage(const QString& root, const QString& program) {
  const Outcome page = RunProgram(
      QStringLiteral("gzip"), {"-dc", root + QStringLiteral("/usr/share/man/man1/") + program + QStringLiteral(".1.gz")});
  EXPECT_EQ(page.status, 0) << page.err.toStdString();
  return page.out;
}

// Each manual page names every option its program's --help lists, and its OPTIONS section names
// no option the program lacks.
TEST_F(InstalledPackage, TheManualPagesDescribeExactlyTheOptionsOfHelp) {
  static const QRegularExpression helpOption(QStringLiteral(R"((?m)^\s+(?:-\w, )?(--[a-z][a-z-]*))"));
  static const QRegularExpression pageOption(QStringLiteral(R"(\\-\\-[a-z](?:[a-z]|\\-)*)"));
  for (const char* name : {"torvex-tp", "torvex-sim"}) {
    const QString program = QString::fromLatin1(name);
    SCOPED_TRACE(program.toStdString());
    const Outcome help = RunProgram(Bin() + u'/' + program, {QStringLiteral("--help")});
    ASSERT_EQ(help.status, 0) << help.err.toStdString();
    QSet<QString> options;
    for (auto it = helpOption.globalMatch(help.out); it.hasNext();) options << it.next().captured(1);
    ASSERT_GE(options.size(), 5) << help.out.toStdString();

    const QString page = ManualPage(Root(), program);
    for (const QString& option : options) {
      EXPECT_TRUE(page.contains(QString(option).replace(u'-', QStringLiteral("\\-"))))
          << option.toStdString() << " is not in the manual page";
    }
    const qsizetype from = page.indexOf(QLatin1String("\n.SH OPTIONS"));
    const qsizetype to = page.indexOf(QLatin1String("\n.SH "), from + 1);
    ASSERT_GE(from, 0);
    const QString section = page.mid(from, to - from);
    for (auto it = pageOption.globalMatch(section); it.hasNext();) {
      const QString option = it.next().captured(0).remove(u'\\');
      EXPECT_TRUE(options.contains(option)) << option.toStdString() << " is not in --help";
    }
  }
  const QString page = ManualPage(Root(), QStringLiteral("torvex-tp"));
  EXPECT_FALSE(page.contains(QLatin1String("38400 baud or faster"))) << "9600 baud works";
  for (const char* feature : {"Монитор обмена", "Запись в файл", "Графики", "Привязать адаптер",
                              "возвращает отправленное"}) {
    EXPECT_TRUE(page.contains(QString::fromUtf8(feature))) << feature;
  }
}

// "option names: its text", in order, each text on one line with single spaces.
using OptionTexts = QStringList;

// From --help: "  -h, --help  text" and the text's lines continued below it, further indented.
OptionTexts HelpTexts(const QString& help) {
  static const QRegularExpression option(QStringLiteral(R"(^  (-\S.*?)  +(\S.*)$)"));
  OptionTexts texts;
  bool inOptions = false;
  for (const QString& line : help.split(u'\n')) {
    if (line == QLatin1String("Options:")) {
      inOptions = true;
    } else if (!inOptions) {
      continue;
    } else if (const auto match = option.match(line); match.hasMatch()) {
      texts << match.captured(1) + QStringLiteral(": ") + match.captured(2);
    } else if (line.startsWith(QLatin1String("   ")) && !texts.isEmpty()) {
      texts.back() += u' ' + line.trimmed();
    } else if (!line.isEmpty()) {
      break;
    }
  }
  return texts;
}

// From the page's OPTIONS section: ".TP", the option names in bold (arguments in italics), then
// the text; roff's escapes read back.
OptionTexts PageTexts(const QString& page) {
  const qsizetype from = page.indexOf(QLatin1String("\n.SH OPTIONS\n"));
  if (from < 0) return {};
  const qsizetype to = page.indexOf(QLatin1String("\n.SH "), from + 1);
  const QString section = page.mid(from, to < 0 ? -1 : to - from);
  static const QRegularExpression argument(QStringLiteral(R"(\\fI([^\\]*)\\fR)"));
  auto plain = [](QString roff) {
    if (roff.startsWith(QLatin1String("\\&"))) roff.remove(0, 2);
    roff.replace(argument, QStringLiteral("<\\1>"));  // as --help writes an option's argument
    for (const char* font : {"\\fB", "\\fR"}) roff.remove(QLatin1String(font));
    return roff.replace(QLatin1String("\\~"), QLatin1String(" "))
        .replace(QLatin1String("\\-"), QLatin1String("-"))
        .replace(QLatin1String("\\e"), QLatin1String("\\"));
  };
  OptionTexts texts;
  const QStringList paragraphs = section.split(QStringLiteral("\n.TP\n"));
  for (qsizetype i = 1; i < paragraphs.size(); ++i) {
    QStringList lines = paragraphs[i].split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty()) continue;
    const QString names = plain(lines.takeFirst());
    QStringList text;  // up to the page's next request (".PP" after the last option)
    for (const QString& line : lines) {
      if (line.startsWith(u'.')) break;
      text << plain(line);
    }
    texts << names + QStringLiteral(": ") + text.join(u' ');
  }
  return texts;
}

// The tool's page is written from its --help: under each option, that option's own text, whole,
// whatever characters the texts hold.
TEST_F(InstalledPackage, TheToolsManualPageGivesEachOptionItsTextFromHelp) {
  const Outcome help = RunProgram(Bin() + QStringLiteral("/torvex-tp"), {QStringLiteral("--help")});
  ASSERT_EQ(help.status, 0) << help.err.toStdString();
  const OptionTexts fromHelp = HelpTexts(help.out);
  ASSERT_GE(fromHelp.size(), 20) << help.out.toStdString();
  // The texts that once split the list: a ";" inside a text, and the options after it.
  ASSERT_TRUE(std::any_of(fromHelp.begin(), fromHelp.end(), [](const QString& t) { return t.contains(u';'); }));

  const OptionTexts onPage = PageTexts(ManualPage(Root(), QStringLiteral("torvex-tp")));
  ASSERT_EQ(onPage.size(), fromHelp.size()) << onPage.join(u'\n').toStdString();
  for (qsizetype i = 0; i < fromHelp.size(); ++i) EXPECT_EQ(onPage[i].toStdString(), fromHelp[i].toStdString());
}

TEST_F(InstalledPackage, ProgramsAnswerFromTheirInstalledPlace) {
  const Outcome version = RunProgram(Bin() + QStringLiteral("/torvex-tp"), {QStringLiteral("--version")});
  EXPECT_EQ(version.status, 0) << version.err.toStdString();
  EXPECT_EQ(version.out, "torvex-tp " TORVEX_VERSION "\n");
  const Outcome help = RunProgram(Bin() + QStringLiteral("/torvex-sim"), {QStringLiteral("--help")});
  EXPECT_EQ(help.status, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith("Usage: torvex-sim")) << help.out.toStdString();
}

}  // namespace
}  // namespace torvex
