// The window "Поиск контроллера" in the whole tool against the simulator: the exchange steps
// aside while the search has the port and comes back, the find is listed, "Применить" takes its
// port, mode and address, and what the operator queued before is carried out.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/search_window.h"
#include "ui/set_com_dialog.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using test::kStatusLinkUp;
using test::WaitFor;

TEST(SearchWindowOnSim, FindsTheControllerAndApplyPutsTheToolOnIt) {
  QLocale::setDefault(QLocale(QLocale::Russian));
  test::ProgramDir dir;
  dir.BindOthersToNowhere();
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                              "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
  // A controller at another address and another mode, deaf to any other mode as a UART is.
  test::SimRunner sim(dir.LinkPath(1),
                      {"--address", "12", "--mode", "19200,o,8,1", "--strict-mode"});
  test::FakePrompter prompter;
  QtSerialPort port(dir.Path());
  Tool tool(dir.Path(), port, prompter);
  ASSERT_TRUE(tool.FormLoad());
  MainWindow& window = tool.Window();
  const auto status = [&] { return window.Text({Control::lbl_sys_mes}); };
  ASSERT_TRUE(WaitFor([&] { return tool.Engine().ExchangeErrors() > 3; })) << "nobody at 7";

  // The operator sets output 2 before searching: it waits in the queue.
  const auto boxes = window.findChildren<QCheckBox*>("chk_out");
  for (QCheckBox* box : boxes) {
    if (box->property("index").toInt() == 2) box->setChecked(true);
  }
  window.findChild<QPushButton*>("cmd_set")->click();

  SearchWindow& search = tool.ShowSearch();
  EXPECT_EQ(search.windowTitle(), "Поиск контроллера");
  for (QCheckBox* speed : search.findChildren<QCheckBox*>()) {
    if (speed->objectName().startsWith("chk_speed_")) {
      speed->setChecked(speed->objectName() == "chk_speed_19200");
    }
  }
  search.findChild<QSpinBox*>("spn_first_address")->setValue(10);
  search.findChild<QSpinBox*>("spn_last_address")->setValue(14);
  search.findChild<QPushButton*>("cmd_start")->click();
  EXPECT_EQ(status(), "Поиск контроллера…");
  ASSERT_TRUE(WaitFor([&] { return !search.Searching(); }, 20000));
  auto* list = search.findChild<QListWidget*>("lst_finds");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(),
            "COM1 — 19200,o,8,1 — адрес 12 — TORVEX-CPU, ПО 2.14, протокол 1.05");
  // The probes are in the monitor's trace as any exchange: the version read to address 12 and
  // its answer.
  const FrameRing& ring = tool.Trace().Ring();
  const std::vector<std::uint8_t> probe{12, 3, 0x0B, 0xEA, 0, 2};
  bool probeSeen = false;
  bool answerSeen = false;
  for (std::uint64_t i = ring.First(); i < ring.End(); ++i) {
    const FrameRecord& frame = ring.At(i);
    const bool toTwelve = frame.size >= probe.size() && std::equal(probe.begin(), probe.end(), frame.bytes.begin());
    probeSeen |= frame.direction == FrameDirection::Tx && toTwelve;
    answerSeen |= frame.direction == FrameDirection::Rx && frame.outcome == FrameOutcome::Answered &&
                  frame.bytes[0] == 12;
  }
  EXPECT_TRUE(probeSeen);
  EXPECT_TRUE(answerSeen);

  search.findChild<QPushButton*>("cmd_apply")->click();
  EXPECT_EQ(window.SlaveAddress(), 12);
  EXPECT_EQ(tool.Config().PortSettings(), "19200,o,8,1");
  auto* settings = window.findChild<SetComDialog*>();
  ASSERT_NE(settings, nullptr) << "the settings dialog opens to save the find";
  EXPECT_TRUE(settings->findChild<QPushButton*>("cmd_find_controller")->isVisible());
  EXPECT_EQ(settings->findChild<QLineEdit*>("txt_settings")->text(),
            tool.Config().PortSettings());
  ASSERT_TRUE(WaitFor([&] { return status() == kStatusLinkUp; })) << status().toStdString();
  // The output set before the search: carried out once the controller answers.
  EXPECT_TRUE(WaitFor([&] {
    for (QLabel* input : window.findChildren<QLabel*>("lbl_eds")) {
      if (input->property("index").toInt() == 2) return input->autoFillBackground();
    }
    return false;
  }));
  settings->reject();
  QLocale::setDefault(QLocale::c());
}

// Over Modbus TCP the window waits for the gateway's own timeout by default, and a gateway that
// answers each silent unit with exception 11 and closes the connection after every answer still
// gives the controller alone: the answer read as it arrives, before the connection ends.
TEST(SearchWindowOnSim, BehindAClosingGatewayTheControllerAloneIsFound) {
  QLocale::setDefault(QLocale(QLocale::Russian));
  test::SimRunner sim(test::SimRunner::Tcp{}, {"--modbus-tcp", "--address", "12", "--gateway",
                                               "--close-after-answer"});
  test::ProgramDir dir;
  dir.BindOthersToNowhere();
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                              "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\nLink=modbus-tcp\n"
                              "Host=127.0.0.1\nTcpPort=" +
                                  QByteArray::number(sim.Port()) + "\n"));
  test::FakePrompter prompter;
  QtSerialPort port(dir.Path());
  Tool tool(dir.Path(), port, prompter);
  ASSERT_TRUE(tool.FormLoad());

  SearchWindow& search = tool.ShowSearch();
  EXPECT_EQ(search.findChild<QSpinBox*>("spn_allowance")->value(), 1000);
  search.findChild<QSpinBox*>("spn_first_address")->setValue(10);
  search.findChild<QSpinBox*>("spn_last_address")->setValue(14);
  search.findChild<QCheckBox*>("chk_search_all")->setChecked(true);
  search.findChild<QPushButton*>("cmd_start")->click();
  ASSERT_TRUE(WaitFor([&] { return !search.Searching(); }, 60000));
  auto* list = search.findChild<QListWidget*>("lst_finds");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "modbus-tcp://127.0.0.1:" + QString::number(sim.Port()) +
                                       " — 115200,n,8,2 — адрес 12 — TORVEX-CPU, ПО 2.14, протокол 1.05");
  EXPECT_EQ(search.findChild<QLabel*>("lbl_trying")->text(), "Готово");
  search.close();
  QLocale::setDefault(QLocale::c());
}

// A port that goes in the middle of a search (the adapter pulled out) leaves its probes untried:
// the window says so rather than "Ничего не найдено" alone.
TEST(SearchWindowOnSim, APortLostInTheMiddleIsNamedAtTheEnd) {
  test::ProgramDir dir;
  dir.BindOthersToNowhere();
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                              "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
  test::SimRunner sim(dir.LinkPath(1), {"--address", "100"});
  test::FakePrompter prompter;
  QtSerialPort port(dir.Path());
  Tool tool(dir.Path(), port, prompter);
  ASSERT_TRUE(tool.FormLoad());
  SearchWindow& search = tool.ShowSearch();
  search.findChild<QSpinBox*>("spn_last_address")->setValue(20);
  search.findChild<QPushButton*>("cmd_start")->click();
  ASSERT_TRUE(WaitFor([&] { return search.findChild<QProgressBar*>("prg_search")->value() > 3; }));
  sim.Kill();
  ASSERT_TRUE(WaitFor([&] { return !search.Searching(); }, 60000));
  const QString said = search.findChild<QLabel*>("lbl_trying")->text();
  EXPECT_TRUE(said.startsWith("Ничего не найдено; не открылся порт COM1 — Устройство "))
      << said.toStdString();
  search.close();
}

// However the window closes while a search runs, the search ends and polling comes back; while
// it runs, none of its options can be changed, as the search goes on with those it started with.
TEST(SearchWindowOnSim, ClosingTheWindowStopsTheSearchAndPollingResumes) {
  const std::pair<const char*, std::function<void(SearchWindow&)>> closings[] = {
      {"Escape", [](SearchWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
      {"the close box", [](SearchWindow& w) { w.close(); }},
  };
  for (const auto& [name, closeIt] : closings) {
    SCOPED_TRACE(name);
    test::ProgramDir dir;
    dir.BindOthersToNowhere();
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n"));
    test::SimRunner sim(dir.LinkPath(1));
    test::FakePrompter prompter;
    QtSerialPort port(dir.Path());
    Tool tool(dir.Path(), port, prompter);
    ASSERT_TRUE(tool.FormLoad());
    const auto status = [&] { return tool.Window().Text({Control::lbl_sys_mes}); };
    ASSERT_TRUE(WaitFor([&] { return status() == kStatusLinkUp; }));

    QPointer<SearchWindow> search = &tool.ShowSearch();
    search->findChild<QCheckBox*>("chk_search_all")->setChecked(true);  // minutes of probes
    search->findChild<QPushButton*>("cmd_start")->click();
    ASSERT_TRUE(search->Searching());
    for (QWidget* option : search->findChildren<QWidget*>()) {
      if (option->objectName().startsWith("chk_") || option->objectName().startsWith("spn_")) {
        EXPECT_FALSE(option->isEnabled()) << option->objectName().toStdString();
      }
    }
    ASSERT_TRUE(WaitFor([&] { return search->findChild<QProgressBar*>("prg_search")->value() > 3; }))
        << "the search is on the line";

    closeIt(*search);
    EXPECT_TRUE(WaitFor([&] { return !search || !search->isVisible(); })) << "the window closes";
    EXPECT_TRUE(WaitFor([&] { return status() == kStatusLinkUp; })) << status().toStdString();
    EXPECT_TRUE(tool.Timer1().isActive());
  }
}

}  // namespace
}  // namespace torvex
