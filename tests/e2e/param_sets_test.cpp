// Parameter sets end to end: torvex-tp --read-params, --write-params and --compare-params
// against torvex-sim keeping its EEPROM in the same parameter file, on a serial line and over
// TCP; and the main window's menu "Параметры" on the simulator.
#include <signal.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTableWidget>

#include "paramfile/param_file.h"
#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/file_size_limit.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/wait_for.h"
#include "ui/param_file_menu.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using paramfile::ParamImage;
using test::WaitFor;

struct ToolRun {
  int status = -1;
  QString out;
  QString err;
};

// A file's set, as whichever program wrote it; empty when it is refused.
std::optional<ParamImage> SetIn(const QString& path) {
  const QByteArray text = test::ReadFile(path);
  return paramfile::ParseParamFile(std::string_view(text.constData(), text.size())).image;
}

// `path`'s text with each of `edits` (a line's start, and the whole line that replaces it).
bool Edited(const QString& from, const QString& to,
            const std::vector<std::pair<QString, QString>>& edits) {
  QStringList lines = QString::fromUtf8(test::ReadFile(from)).split(u'\n');
  for (const auto& [start, replacement] : edits) {
    for (QString& line : lines) {
      if (line.startsWith(start)) line = replacement;
    }
  }
  return test::WriteFile(to, lines.join(u'\n').toUtf8());
}

// The simulator's defaults with two changes: a calibration point and a sensor type.
const std::vector<std::pair<QString, QString>> kTwoChanges{{"02:", "02: 05 6A"},
                                                           {"12:", "12: 00 03"}};

class ParamSets : public ::testing::Test {
 protected:
  ParamSets() {
    dir.BindOthersToNowhere();
    EXPECT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
  }
  QString File(const QString& name) const { return dir.Path() + "/" + name; }
  // The simulator over TCP, keeping its EEPROM in sim.txt (created with the defaults).
  std::unique_ptr<test::SimRunner> TcpSim(const QStringList& options = {}) {
    auto sim = std::make_unique<test::SimRunner>(test::SimRunner::Tcp{},
                                                 QStringList{"--eeprom", File("sim.txt")} + options);
    connect = "rtu-over-tcp://127.0.0.1:" + QString::number(sim->Port());
    return sim;
  }
  // The program, on the link of the last simulator started (COM1 when none was over TCP), with
  // Russian numbers.
  void StartTool(QProcess& tool, const QStringList& options) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "ru_RU.UTF-8");
    tool.setProcessEnvironment(env);
    if (fileSizeLimit) {
      tool.setChildProcessModifier([limit = *fileSizeLimit] { test::FileSizeLimit::SetInChild(limit); });
    }
    QStringList arguments{"--config", dir.Path()};
    if (!connect.isEmpty()) arguments << "--connect" << connect;
    tool.start(QStringLiteral(TORVEX_TP_PROGRAM), arguments + options);
  }
  ToolRun Tool(const QStringList& options) const {
    QProcess tool;
    StartTool(tool, options);
    EXPECT_TRUE(tool.waitForFinished(30'000)) << options.join(' ').toStdString();
    ToolRun run;
    run.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
  }

  test::ProgramDir dir;
  QString connect;
  std::optional<rlim_t> fileSizeLimit;  // a disk that fills up, for the program alone
};

TEST_F(ParamSets, TheToolAndTheSimulatorShareOneFileBothWaysOnASerialLine) {
  auto sim = std::make_unique<test::SimRunner>(dir.LinkPath(1), QStringList{"--eeprom", File("sim.txt")});
  const ToolRun read = Tool({"--read-params", File("saved.txt"), "--unit-serial", "ТВ-0421"});
  ASSERT_EQ(read.status, 0) << read.err.toStdString();
  EXPECT_TRUE(read.out.contains("сохранены")) << read.out.toStdString();
  ASSERT_TRUE(SetIn(File("saved.txt")));
  EXPECT_EQ(SetIn(File("saved.txt")), SetIn(File("sim.txt")));
  EXPECT_TRUE(test::ReadFile(File("saved.txt")).contains("# Контроллер: адрес 7, версия ПО 2.14, версия протокола 1.05\n"
                                                         "# Заводской номер: ТВ-0421\n"));

  // The simulator's own file, read by the tool.
  const ToolRun same = Tool({"--compare-params", File("sim.txt")});
  EXPECT_EQ(same.status, 0) << same.err.toStdString();
  EXPECT_EQ(same.out, "Совпадает с файлом\n");

  ASSERT_TRUE(Edited(File("saved.txt"), File("changed.txt"), kTwoChanges));
  const ToolRun write = Tool({"--write-params", File("changed.txt")});
  EXPECT_EQ(write.status, 0) << write.err.toStdString();
  EXPECT_TRUE(write.out.contains("записаны и проверены все 49 параметров")) << write.out.toStdString();
  sim.reset();
  EXPECT_EQ(SetIn(File("sim.txt")), SetIn(File("changed.txt"))) << "the controller holds the file";

  // The tool's file, taken by the simulator as its EEPROM.
  sim = std::make_unique<test::SimRunner>(dir.LinkPath(1), QStringList{"--eeprom", File("changed.txt")});
  EXPECT_EQ(Tool({"--compare-params", File("changed.txt")}).status, 0);
  EXPECT_FALSE(QFile::exists(File("changed.txt.bad")));
}

TEST_F(ParamSets, ACompareListsEachDifferenceInTheBoxesUnits) {
  const auto sim = TcpSim();
  ASSERT_EQ(Tool({"--read-params", File("a.txt")}).status, 0);
  ASSERT_TRUE(Edited(File("a.txt"), File("b.txt"), kTwoChanges));
  const ToolRun compare = Tool({"--compare-params", File("b.txt")});
  EXPECT_EQ(compare.status, 1) << compare.err.toStdString();
  EXPECT_EQ(compare.out,
            "AIN1 Pt100, точка 2: контроллер 138,5, файл 138,6\n"
            "AIN1. Тип датчика, вход 1: контроллер 2 (Pt100), файл 3 (Pt1000)\n");
}

TEST_F(ParamSets, AWriteTheControllerRefusesIsNeverReportedAsWritten) {
  const auto sim = TcpSim({"--exception", "101:2"});
  ASSERT_EQ(Tool({"--read-params", File("a.txt")}).status, 0);
  ASSERT_TRUE(Edited(File("a.txt"), File("b.txt"), kTwoChanges));
  const QByteArray before = test::ReadFile(File("sim.txt"));
  const ToolRun write = Tool({"--write-params", File("b.txt")});
  EXPECT_EQ(write.status, 1);
  EXPECT_TRUE(write.out.isEmpty()) << write.out.toStdString();
  EXPECT_TRUE(write.err.contains("Контроллер отказал в записи параметров «AIN1 Pt100, точка 1» - "
                                 "«AIN1. Тип датчика, вход 11»: Исключение 2"))
      << write.err.toStdString();
  EXPECT_TRUE(write.err.contains("AIN1 Pt100, точка 2: контроллер 138,5, файл 138,6"));
  EXPECT_EQ(test::ReadFile(File("sim.txt")), before);
}

TEST_F(ParamSets, MissedAndGarbledAnswersAreAskedAgainAndTheSetStillChecks) {
  const auto sim = TcpSim({"--silent-every", "3", "--corrupt-every", "5"});
  ASSERT_EQ(Tool({"--read-params", File("a.txt")}).status, 0);
  ASSERT_TRUE(Edited(File("a.txt"), File("b.txt"), kTwoChanges));
  const ToolRun write = Tool({"--write-params", File("b.txt")});
  EXPECT_EQ(write.status, 0) << write.err.toStdString();
  EXPECT_EQ(Tool({"--compare-params", File("b.txt")}).status, 0);
}

TEST_F(ParamSets, ANewSlaveAddressIsWrittenLastAndTheReadBackSaysWhereItAnswered) {
  auto sim = TcpSim();
  ASSERT_EQ(Tool({"--read-params", File("a.txt")}).status, 0);
  ASSERT_TRUE(Edited(File("a.txt"), File("b.txt"), {{"60:", "60: 0C"}}));
  const ToolRun write = Tool({"--write-params", File("b.txt")});
  EXPECT_EQ(write.status, 0) << write.err.toStdString();
  EXPECT_TRUE(write.err.contains("Адрес Modbus контроллера меняется: 7 → 12; он записывается последним"));
  EXPECT_TRUE(write.err.contains("По новому адресу 12 контроллер не отвечает; проверено по прежнему адресу 7"))
      << write.err.toStdString();
  // The simulator takes its new address when it starts again.
  sim->Stop();
  sim->Start();
  EXPECT_TRUE(sim->Banner().contains("at address 12")) << sim->Banner().toStdString();
  EXPECT_EQ(Tool({"--compare-params", File("b.txt"), "--address", "12"}).status, 0);
}

// A disk that fills up while the file is saved: status 2, "не записан" with the reason, and the
// good file that was there stays whole.
TEST_F(ParamSets, ASaveOnAFullDiskIsStatusTwoAndKeepsTheOldFile) {
  const auto sim = TcpSim();
  ASSERT_EQ(Tool({"--read-params", File("keep.params")}).status, 0);
  const QByteArray good = test::ReadFile(File("keep.params"));
  ASSERT_GT(good.size(), 1000);
  fileSizeLimit = 1000;
  const ToolRun full = Tool({"--read-params", File("keep.params")});
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.out, "");
  EXPECT_TRUE(full.err.contains("Файл «" + File("keep.params") +
                                "» не записан: файл превысил допустимый размер"))
      << full.err.toStdString();
  EXPECT_EQ(test::ReadFile(File("keep.params")), good);
}

TEST_F(ParamSets, NoControllerOrADamagedFileIsStatusTwoWithTheReason) {
  const auto sim = TcpSim();
  ASSERT_EQ(Tool({"--read-params", File("a.txt")}).status, 0);
  ASSERT_TRUE(Edited(File("a.txt"), File("bad.txt"), {{"04:", "0x04: 27 10"}}));
  const ToolRun refused = Tool({"--write-params", File("bad.txt")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.err.contains("Файл «" + File("bad.txt") +
                                   "», строка 8: адрес «0x04» не шестнадцатеричное число"))
      << refused.err.toStdString();

  const ToolRun elsewhere = Tool({"--compare-params", File("a.txt"), "--address", "9"});
  EXPECT_EQ(elsewhere.status, 2);
  EXPECT_TRUE(elsewhere.err.contains("Контроллер не отвечает (адрес 9)")) << elsewhere.err.toStdString();
  EXPECT_FALSE(QFile::exists(File("none.txt")));
  EXPECT_EQ(Tool({"--read-params", File("none.txt"), "--address", "9"}).status, 2);
  EXPECT_FALSE(QFile::exists(File("none.txt"))) << "nothing saved from a controller not read";

  for (const QStringList& wrong : {QStringList{"--read-params", File("x.txt"), "--address", "0"},
                                   QStringList{"--read-params", File("x.txt"), "--write-params", File("y.txt")},
                                   QStringList{"--address", "7"}}) {
    EXPECT_EQ(Tool(wrong).status, 2) << wrong.join(' ').toStdString();
  }
}

// Interrupted while a write is on its way: the tool waits for its answer, sends nothing after
// it, says how many parameters the controller confirmed, and the controller holds just those.
TEST_F(ParamSets, AnInterruptedWriteSaysWhatTheControllerNowHolds) {
  // A slow controller, waited for: the signal comes while the first write is unanswered.
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini", "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"
                                                      "ResponseTimeoutMs=2000\n"));
  auto sim = TcpSim({"--trace", "--delay-ms", "500"});
  ASSERT_EQ(Tool({"--read-params", File("a.txt")}).status, 0);
  // A change in the first block written, and one in the second.
  ASSERT_TRUE(Edited(File("a.txt"), File("b.txt"), {{"02:", "02: 05 6A"}, {"30:", "30: 05 6B"}}));
  ASSERT_TRUE(Edited(File("a.txt"), File("first-block.txt"), {{"02:", "02: 05 6A"}}));
  QProcess tool;
  StartTool(tool, {"--write-params", File("b.txt")});
  ASSERT_TRUE(WaitFor([&] { return sim->Trace().contains("<- 07 65 00 00"); }, 30000));
  ::kill(static_cast<pid_t>(tool.processId()), SIGINT);
  ASSERT_TRUE(tool.waitForFinished(30000));
  const QString err = QString::fromUtf8(tool.readAllStandardError());
  EXPECT_EQ(tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, 2) << err.toStdString();
  EXPECT_TRUE(err.contains("запись прервана: подтверждена для 20 из 49 параметров; остальные не записывались"))
      << err.toStdString();
  EXPECT_EQ(sim->Trace().count("<- 07 65"), 1) << "nothing written after the signal";
  sim->Stop();
  EXPECT_EQ(SetIn(File("sim.txt")), SetIn(File("first-block.txt")));
}

// Through a gateway: its exceptions for a controller that did not answer are asked again as
// silence is, and a controller never reached is no answer, with the gateway's reason.
TEST_F(ParamSets, AGatewaysExceptionsAreNoAnswerAndAskedAgain) {
  auto sim = std::make_unique<test::SimRunner>(
      test::SimRunner::Tcp{}, QStringList{"--modbus-tcp", "--gateway", "--gateway-timeout-ms", "50", "--silent-every", "3"});
  connect = "modbus-tcp://127.0.0.1:" + QString::number(sim->Port());
  const ToolRun read = Tool({"--read-params", File("a.txt")});
  EXPECT_EQ(read.status, 0) << read.err.toStdString();
  EXPECT_TRUE(read.out.contains("сохранены")) << read.out.toStdString();
  EXPECT_TRUE(sim->Stop().contains(QRegularExpression(" [1-9][0-9]* answered by the gateway")));

  struct Case {
    QStringList options;
    const char* reason;
  } const cases[] = {{{"--gateway-timeout-ms", "50"}, "(шлюз: нет ответа от контроллера)"},
                     {{"--gateway-no-path"}, "(шлюз: нет пути к устройству)"}};
  for (const Case& c : cases) {
    sim = std::make_unique<test::SimRunner>(test::SimRunner::Tcp{},
                                            QStringList{"--modbus-tcp", "--gateway", "--address", "9"} + c.options);
    connect = "modbus-tcp://127.0.0.1:" + QString::number(sim->Port());
    const ToolRun none = Tool({"--read-params", File("none.txt")});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.contains("Контроллер не отвечает (адрес 7): 10 обменов подряд без ответа " +
                                  QString::fromUtf8(c.reason)))
        << none.err.toStdString();
    EXPECT_FALSE(QFile::exists(File("none.txt")));
  }
}

// The window: the menu's three commands through the running exchange.
class ParamMenuOnSim : public ParamSets {
 protected:
  ParamMenuOnSim() { QLocale::setDefault(QLocale(QLocale::Russian)); }
  ~ParamMenuOnSim() override { QLocale::setDefault(QLocale::c()); }
  void StartTool(quint16 tcpPort) {
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\nLink=rtu-over-tcp\n"
                                "Host=127.0.0.1\nTcpPort=" + QByteArray::number(tcpPort) + "\n"));
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<torvex::Tool>(dir.Path(), *port, prompter);
    ASSERT_TRUE(tool->FormLoad());
    QObject::connect(&tool->ParamFiles(), &ParamFileMenu::Finished, [this] { ++finished; });
  }
  bool AllConfirmed() const {
    for (int i = 0; i < kParamCount; ++i) {
      if (tool->Params().Model().State(i) != BoxState::kConfirmed) return false;
    }
    return true;
  }
  std::vector<int> Changed() const {
    std::vector<int> changed;
    for (int i = 0; i < kParamCount; ++i) {
      if (tool->Params().Model().State(i) == BoxState::kChanged) changed.push_back(i);
    }
    return changed;
  }
  QString LastMessage() const {
    const auto boxes = tool->Window().findChildren<QMessageBox*>("msg_params");
    return boxes.isEmpty() ? QString() : boxes.last()->text();
  }

  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<torvex::Tool> tool;
  int finished = 0;
};

TEST_F(ParamMenuOnSim, SavesLoadsAndComparesWithoutWritingUnasked) {
  const auto sim = TcpSim();
  StartTool(sim->Port());
  auto* menu = tool->Window().menuBar()->findChild<QMenu*>("mnu_params");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title().remove(u'&'), "Параметры");
  QStringList items;
  for (QAction* action : menu->actions()) items << action->objectName() + " " + action->text();
  EXPECT_EQ(items, (QStringList{"mnu_params_save Сохранить в файл…", "mnu_params_load Загрузить из файла…",
                                "mnu_params_compare Сравнить с файлом…"}));
  // Among the items of its own after the recording's.
  const QList<QAction*> bar = tool->Window().menuBar()->actions();
  const auto at = [&bar](const QString& name) {
    for (qsizetype i = 0; i < bar.size(); ++i) {
      if (bar[i]->objectName() == name) return i;
    }
    return qsizetype{-1};
  };
  EXPECT_GT(bar.indexOf(menu->menuAction()), at("mnu_trends"));
  ASSERT_TRUE(WaitFor([&] { return AllConfirmed(); }));

  tool->ParamFiles().SaveToFile(File("saved.txt"));
  EXPECT_FALSE(menu->actions().at(0)->isEnabled()) << "one read at a time";
  ASSERT_TRUE(WaitFor([&] { return finished == 1; }));
  EXPECT_TRUE(menu->actions().at(0)->isEnabled());
  EXPECT_EQ(SetIn(File("saved.txt")), SetIn(File("sim.txt")));
  EXPECT_TRUE(LastMessage().contains("прочитаны и сохранены")) << LastMessage().toStdString();

  // A disk that fills while saving: the box says so with the reason, the file saved before stays.
  const QByteArray saved = test::ReadFile(File("saved.txt"));
  {
    const test::FileSizeLimit full(1000);
    tool->ParamFiles().SaveToFile(File("saved.txt"));
    ASSERT_TRUE(WaitFor([&] { return finished == 2; }));
  }
  EXPECT_EQ(LastMessage(), "Файл «" + File("saved.txt") + "» не записан: файл превысил допустимый размер");
  EXPECT_EQ(test::ReadFile(File("saved.txt")), saved);

  // Loaded: the two boxes that differ take the file's values and wait to be written.
  ASSERT_TRUE(Edited(File("saved.txt"), File("changed.txt"), kTwoChanges));
  const QByteArray stored = test::ReadFile(File("sim.txt"));
  ASSERT_TRUE(tool->ParamFiles().LoadFromFile(File("changed.txt")));
  EXPECT_EQ(Changed(), (std::vector<int>{1, 9}));
  EXPECT_EQ(tool->Window().Text({Control::txt_par, 1}), "138,6 ");
  EXPECT_EQ(tool->Window().Text({Control::txt_par, 9}), "3 ");
  EXPECT_TRUE(LastMessage().contains("загружено: 2 параметра")) << LastMessage().toStdString();
  QTest::qWait(1000);
  EXPECT_EQ(test::ReadFile(File("sim.txt")), stored) << "nothing written unasked";

  // Compared: the controller read afresh, the differences listed and their boxes marked.
  tool->Params().cmd_readall_Click();
  ASSERT_TRUE(WaitFor([&] { return AllConfirmed(); }));
  tool->ParamFiles().CompareWithFile(File("changed.txt"));
  ASSERT_TRUE(WaitFor([&] { return finished == 3; }));
  auto* table = tool->Window().findChild<QTableWidget*>("tbl_compare");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->item(0, 0)->text(), "AIN1 Pt100, точка 2");
  EXPECT_EQ(table->item(0, 1)->text(), "138,5");
  EXPECT_EQ(table->item(0, 2)->text(), "138,6");
  EXPECT_EQ(Changed(), (std::vector<int>{1, 9}));
  tool->Window().findChild<QDialog*>("dlg_params_compare")->close();

  tool->ParamFiles().CompareWithFile(File("saved.txt"));
  ASSERT_TRUE(WaitFor([&] { return finished == 4; }));
  EXPECT_TRUE(LastMessage().startsWith("Совпадает с файлом")) << LastMessage().toStdString();

  // A damaged file changes nothing, though its first lines are good.
  ASSERT_TRUE(Edited(File("changed.txt"), File("bad.txt"), {{"5E:", ""}}));
  EXPECT_FALSE(tool->ParamFiles().LoadFromFile(File("bad.txt")));
  EXPECT_TRUE(LastMessage().contains("нет параметра «AIN2. Тип датчика, вход 15» (адрес 5E)"))
      << LastMessage().toStdString();
  EXPECT_TRUE(Changed().empty());
  EXPECT_EQ(tool->Window().Text({Control::txt_par, 1}), "138,5 ");
}

}  // namespace
}  // namespace torvex
