// The settings dialog's logic without its widgets: the list of ports, the live switch, OK,
// Отмена and the reopening, against a fake port, a fake main window and a fake dialog.
#include "config/set_com_logic.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QFile>
#include <QTemporaryDir>

#include "support/bench_port.h"
#include "support/fake_prompter.h"
#include "support/fake_view.h"
#include "support/files.h"

namespace torvex {
namespace {

class FakeSetComView : public SetComView {
 public:
  void ClearPortEntries() override { entries.clear(); }
  void AddPortEntry(const QString& entry) override { entries << entry; }
  void SelectPortEntry(int index) override { selected = index; }
  int SelectedPortEntry() const override { return selected; }
  QString SettingsText() const override { return settings; }
  void SetSettingsText(const QString& text) override { settings = text; }
  void SetSettingsColor(std::uint32_t rgb) override { color = rgb; }
  void ShowNoPorts(const QString& text) override { noPorts = text; }
  bool EchoChecked() const override { return echo; }
  void SetEchoChecked(bool checked) override { echo = checked; }
  void YieldToEventLoop() override { ++yields; }
  LinkFields Link() const override { return link; }
  void SetLink(const LinkFields& fields) override { link = fields; }
  void ShowLinkFault(const QString& text) override { linkFault = text; }
  QString PollPeriodEntry() const override { return pollPeriod; }
  void SetPollPeriodEntry(const QString& text) override { pollPeriod = text; }

  QStringList entries;
  int selected = -2;
  QString settings;
  std::uint32_t color = kWhite;
  int yields = 0;
  QString noPorts;
  bool echo = false;
  LinkFields link;
  QString linkFault;
  QString pollPeriod;
};

// Ports 2 and 5 are present, none open yet; the port to use is COM5 in "19200,e,8,1".
class SetComLogicTest : public ::testing::Test {
 protected:
  SetComLogicTest() {
    port.present = {2, 5};
    config.SetPortNumber(5);
    config.SetPortSettings("19200,e,8,1");
  }

  QTemporaryDir dir;
  test::FakeView mainView;
  test::FakePrompter prompter;
  Configuration config{IniPathIn(dir.path()), mainView, mainView, prompter};
  test::BenchPort port;
  FakeSetComView dialog;
  std::vector<bool> holds;
  SetComLogic logic{port, config, mainView, dialog, [this](bool held) { holds.push_back(held); }};
};

TEST_F(SetComLogicTest, LoadListsWhatOpensWithSendingHeldAndReopensTheCurrentPort) {
  logic.Load();
  EXPECT_EQ(dialog.entries, QStringList({"COM2 — /dev/ttyS1", "COM5 — /dev/ttyS4"}));
  EXPECT_EQ(dialog.selected, 1);
  EXPECT_EQ(dialog.settings, "19200,e,8,1");
  EXPECT_EQ(dialog.yields, 16) << "once per port scanned";
  EXPECT_EQ(holds, (std::vector<bool>{true, false}));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.portNumber, 5);
  EXPECT_FALSE(logic.Loading());
}

TEST_F(SetComLogicTest, ChoosingSwitchesTheLivePortAndOkSavesIt) {
  logic.Load();
  logic.cmbCOMList_Click(0);
  EXPECT_EQ(port.portNumber, 2);
  EXPECT_EQ(config.PortNumber(), 5) << "the number waits for OK";
  dialog.selected = 0;
  dialog.settings = "bad";
  EXPECT_FALSE(logic.OK_Click());
  EXPECT_EQ(dialog.color, kRed);
  dialog.settings = "9600,n,8,2";
  EXPECT_TRUE(logic.OK_Click());
  logic.Unload();
  EXPECT_EQ(config.PortNumber(), 2);
  EXPECT_EQ(config.PortSettings(), "9600,n,8,2");
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.settings, "9600,n,8,2");
}

TEST_F(SetComLogicTest, CancelRestoresAndAPortThatWillNotReopenIsReported) {
  config.SaveConfig();  // the failed reopening falls back to the file
  logic.Load();
  logic.cmbCOMList_Click(0);
  port.present = {};  // gone while the dialog was open
  logic.Cancel_Click();
  logic.Unload();
  EXPECT_EQ(config.PortNumber(), 5);
  EXPECT_EQ(config.PortSettings(), "19200,e,8,1");
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(mainView.Text({Control::lbl_sys_mes}), kStatusNoPort);
}

// Beyond COM1-COM16: every bound number (up to COM255) and the port in use while it works are
// listed, and OK takes them like any other entry.
TEST_F(SetComLogicTest, BoundNumbersAndTheWorkingPortAreListedWhateverTheirNumber) {
  const std::filesystem::path ports = std::filesystem::path(dir.path().toStdString()) / "ports";
  std::filesystem::create_directories(ports);
  std::filesystem::create_symlink("/dev/ttyUSB0", ports / "com20");
  std::filesystem::create_symlink("/dev/ttyUSB1", ports / "com255");
  std::filesystem::create_symlink("/dev/ttyUSB2", ports / "com31");  // bound, not there
  port.present = {2, 20, 40, 255};
  config.SetPortNumber(40);  // /dev/ttyS39, unbound, and open as the dialog loads
  port.SetSettings(config.PortSettings());
  port.SetCommPort(40);
  port.Open();

  logic.Load();
  QStringList numbers;
  for (const QString& entry : dialog.entries) numbers << entry.section(" — ", 0, 0);
  EXPECT_EQ(numbers, QStringList({"COM2", "COM20", "COM40", "COM255"}));
  EXPECT_EQ(dialog.selected, 2) << "the working port is chosen, never an empty list";
  EXPECT_TRUE(dialog.noPorts.isEmpty());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.portNumber, 40);

  dialog.selected = 1;
  logic.cmbCOMList_Click(1);
  EXPECT_EQ(port.portNumber, 20);
  EXPECT_TRUE(logic.OK_Click());
  logic.Unload();
  EXPECT_EQ(config.PortNumber(), 20);
  EXPECT_TRUE(port.IsOpen());

  // A port that does not work when the dialog opens is listed only if it is bound or built-in.
  port.Close();
  config.SetPortNumber(40);
  logic.Load();
  EXPECT_EQ(dialog.entries.size(), 3);
  EXPECT_EQ(dialog.selected, -1);
}

// The port in use is COM3 in "19200,e,8,1", open, as after a good start; COM1, COM3 and COM12
// are there.
class SetComLogicInUse : public SetComLogicTest {
 protected:
  SetComLogicInUse() {
    port.present = {1, 3, 12};
    config.SetPortNumber(3);
    port.SetSettings(config.PortSettings());
    port.SetCommPort(3);
    port.Open();
  }
  // The entries' COM numbers as "COMn".
  QStringList Numbers() const {
    QStringList numbers;
    for (const QString& entry : dialog.entries) numbers << entry.section(" — ", 0, 0);
    return numbers;
  }
};

TEST_F(SetComLogicInUse, APortNotListedLeavesTheChoiceOpen) {
  config.SetPortNumber(5);
  logic.Load();
  EXPECT_EQ(dialog.selected, -1);
  EXPECT_FALSE(port.open) << "COM5 is not there";
}

TEST_F(SetComLogicInUse, AtTheFirstStartThePortsAreListedThoughTheModeIsEmpty) {
  test::BenchPort fresh;  // never given a mode: the start-up refused the empty one
  config.SetPortNumber(1);
  config.SetPortSettings("");
  SetComLogic freshLogic{fresh, config, mainView, dialog, {}};
  freshLogic.Load();
  EXPECT_EQ(Numbers(), (QStringList{"COM1", "COM3", "COM12"}));
  EXPECT_EQ(dialog.settings, "");
  EXPECT_EQ(config.PortSettings(), "");
}

TEST_F(SetComLogicInUse, ChoosingAnEntrySwitchesTheLivePortOnly) {
  logic.Load();
  logic.cmbCOMList_Click(static_cast<int>(Numbers().indexOf("COM12")));
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.portNumber, 12);
  EXPECT_EQ(config.PortNumber(), 3) << "PortNumber waits for OK";

  port.present.erase(1);  // gone since the scan
  logic.cmbCOMList_Click(static_cast<int>(Numbers().indexOf("COM1")));
  EXPECT_FALSE(port.open);
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(SetComLogicInUse, OkWithNothingChosenKeepsThePortAndReportsOneThatDoesNotOpen) {
  config.SetPortNumber(5);  // not there, so not listed
  logic.Load();
  EXPECT_TRUE(logic.OK_Click()) << "the dialog closes";
  logic.Unload();

  EXPECT_TRUE(test::ReadFile(config.IniPath()).contains("\nCOM=5\n"));
  EXPECT_EQ(config.PortNumber(), 5) << "reloaded from the file just saved";
  EXPECT_FALSE(port.open);
  EXPECT_EQ(mainView.Text({Control::lbl_sys_mes}), kStatusNoPort);
}

TEST(PollPeriodEntry, ReadsTheWordOrMillisecondsTenToAThousand) {
  using namespace std::chrono_literals;
  using Period = std::optional<std::chrono::milliseconds>;
  const struct {
    const char* text;
    Period period;
  } cases[] = {
      {"непрерывно", 0ms},  {" Непрерывно ", 0ms}, {"10", 10ms},     {"20 мс", 20ms},
      {" 250мс ", 250ms},   {"1000  МС", 1000ms},  {"0100", 100ms},  {"0", std::nullopt},
      {"9", std::nullopt},  {"1001", std::nullopt}, {"-50", std::nullopt},
      {"", std::nullopt},   {"50 ms", std::nullopt}, {"50,5", std::nullopt},
      {"мс", std::nullopt}, {"99999999999", std::nullopt}, {"20 мс 30", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParsePollPeriod(QString::fromUtf8(c.text)), c.period) << c.text;
  }
  // Every listed entry reads back as its period, and so does a period not in the list.
  for (const std::chrono::milliseconds period : kListedPollPeriods) {
    EXPECT_EQ(ParsePollPeriod(FormatPollPeriod(period)), period) << period.count();
  }
  EXPECT_EQ(FormatPollPeriod(0ms), "непрерывно");
  EXPECT_EQ(FormatPollPeriod(100ms), "100 мс");
  EXPECT_EQ(FormatPollPeriod(30ms), "30 мс");
}

TEST_F(SetComLogicTest, ARefusedPollPeriodKeepsTheOneInUseAndAGoodOneIsSaved) {
  using namespace std::chrono_literals;
  config.SetRunPollPeriod(0ms);  // --poll-period 0
  logic.Load();
  EXPECT_EQ(dialog.pollPeriod, "непрерывно");

  dialog.settings = "9600,n,8,2";
  dialog.pollPeriod = "5";
  EXPECT_FALSE(logic.OK_Click());
  EXPECT_EQ(dialog.linkFault, kBadPollPeriodText);
  EXPECT_EQ(config.PollPeriod(), 0ms) << "the run's period stays in use";
  EXPECT_FALSE(QFile::exists(config.IniPath())) << "nothing saved";

  dialog.pollPeriod = " 20 мс ";
  EXPECT_TRUE(logic.OK_Click());
  EXPECT_TRUE(dialog.linkFault.isEmpty());
  EXPECT_EQ(config.PollPeriod(), 20ms);
  EXPECT_TRUE(test::ReadFile(config.IniPath()).contains("\nPollPeriodMs=20\n"));
}

}  // namespace
}  // namespace torvex
