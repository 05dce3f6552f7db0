// The tool on real lines: torvex-sim passing bytes at the character time of its mode on one
// half-duplex pair, a slow controller that misses requests, and a stale frame before an answer.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "engine/modbus_engine.h"
#include "modbus/crc16.h"
#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/fake_view.h"
#include "support/files.h"
#include "support/frames.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "ui/polled_exchange.h"
#include "support/sim_trace.h"
#include "support/wait_for.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using test::Bytes;
using test::Received;
using test::ReceivedBySim;
using test::WaitFor;

class RealLine : public ::testing::Test {
 protected:
  RealLine() {
    QLocale::setDefault(QLocale(QLocale::Russian));
    dir.BindOthersToNowhere();
  }
  ~RealLine() override { QLocale::setDefault(QLocale::c()); }

  void Start(const QString& mode) {
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=" + mode.toUtf8() + "\n"));
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    ASSERT_TRUE(tool->FormLoad());
  }
  QString Text(Control c, int i = -1) { return tool->Window().Text({c, i}); }
  template <class W>
  W* Find(const char* name, int index = -1) {
    for (W* w : tool->Window().findChildren<W*>(name)) {
      if (index < 0 || w->property("index").toInt() == index) return w;
    }
    return nullptr;
  }
  bool AllParamsGreen() {
    for (int i = 0; i < 49; ++i) {
      if (Find<QLineEdit>("txt_par", i)->palette().color(QPalette::Base) != QColor(0, 255, 0)) {
        return false;
      }
    }
    return true;
  }
  const ExchangeCounters& Counters() { return tool->Trace().Counters(); }

  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

// At 9600 and 19200 baud every byte takes its real time on the line. The status block needs
// 221 ms at 9600 (with its request), more than two ticks: the exchange waits for it, the values
// show, nothing is sent again but what a loaded machine may spoil, and the tool never writes
// while the controller answers.
class SlowSpeed : public RealLine, public ::testing::WithParamInterface<const char*> {};

TEST_P(SlowSpeed, ValuesShowWithoutResendsAndTheToolNeverTalksOverAnAnswer) {
  const QString mode = GetParam();
  test::SimRunner sim(dir.LinkPath(1), {"--mode", mode, "--line-timing"});
  ASSERT_NO_FATAL_FAILURE(Start(mode));
  ASSERT_TRUE(WaitFor([&] { return AllParamsGreen(); }, 20000)) << Text(Control::lbl_sys_mes).toStdString();
  EXPECT_EQ(Text(Control::txt_par, 48), "7 ");
  ASSERT_TRUE(WaitFor([&] { return Text(Control::lbl_sw_ver) != "-"; }, 20000));
  EXPECT_EQ(Text(Control::lbl_sw_ver), "2 .14 ");
  // A few background cycles more: the converter block, codes and the status block.
  const int code = Text(Control::lbl_tr_id).toInt();
  ASSERT_TRUE(WaitFor([&] { return Text(Control::lbl_tr_id).toInt() >= code + 6; }, 20000));
  tool->Timer1().stop();

  const ExchangeCounters& c = Counters();
  EXPECT_LE(c.resends * 20, c.requests) << c.resends << " resends of " << c.requests;
  EXPECT_LE(tool->Engine().ExchangeErrors() * 20, static_cast<std::int64_t>(c.requests) + 40);
  const QString summary = sim.Stop();
  EXPECT_TRUE(summary.contains(", 0 bytes over an answer")) << summary.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sim, SlowSpeed, ::testing::Values("9600,n,8,2", "19200,n,8,2"),
                         [](const auto& row) {
                           return std::string(row.param).substr(0, row.param[0] == '9' ? 4 : 5);
                         });

// Every answer comes 150 ms late, after the deadline of the fast line, and every sixth request
// goes unheard. Every write the controller missed is sent again until it is carried out: no
// transaction code, no outputs write and no parameter write is lost.
TEST_F(RealLine, ALateControllerThatMissesRequestsLosesNoWrite) {
  test::SimRunner sim(dir.LinkPath(1), {"--delay-ms", "150", "--silent-every", "6", "--trace"});
  ASSERT_NO_FATAL_FAILURE(Start("115200,n,8,2"));
  ASSERT_TRUE(WaitFor([&] { return AllParamsGreen(); }, 30000));

  Find<QCheckBox>("chk_out", 3)->setChecked(true);
  Find<QPushButton>("cmd_set")->click();
  QLineEdit* box = Find<QLineEdit>("txt_par", 1);
  box->setText("140");
  QTest::keyClick(box, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return Find<QLabel>("lbl_eds", 3)->autoFillBackground(); }, 30000));
  ASSERT_TRUE(WaitFor([&] { return AllParamsGreen(); }, 30000));
  const int codes = Text(Control::lbl_tr_id).toInt();
  ASSERT_TRUE(WaitFor([&] { return Text(Control::lbl_tr_id).toInt() >= codes + 8; }, 30000));
  tool->Timer1().stop();
  const int lastCode = Text(Control::lbl_tr_id).toInt();
  QTest::qWait(400);  // the trace of the last frames comes through the pipe

  std::set<int> codesCarriedOut;
  bool outputs = false;
  bool parameter = false;
  const std::vector<Received> received = ReceivedBySim(sim.Trace());
  for (std::size_t i = 0; i < received.size(); ++i) {
    const Received& r = received[i];
    ASSERT_GE(r.frame.size(), 4u);
    if (r.verdict.startsWith("kept silent")) {
      // Sent again until carried out (an earlier copy's late answer may have confirmed it).
      bool done = i + 1 == received.size();
      for (const Received& other : received) {
        done = done || (other.frame == r.frame && other.verdict.startsWith("answered"));
      }
      EXPECT_TRUE(done) << "frame " << i + 1 << " was missed and never carried out";
      continue;
    }
    if (!r.verdict.startsWith("answered")) continue;
    if (r.frame[1] == 6) codesCarriedOut.insert(r.frame[4] << 8 | r.frame[5]);
    if (r.frame[1] == 16 && r.frame[3] == 0xB9 && r.frame[10] == 0x08) outputs = true;
    if (r.frame[1] == 101) parameter = true;
  }
  for (int code = 1; code < lastCode; ++code) {
    EXPECT_TRUE(codesCarriedOut.contains(code)) << "transaction code " << code << " lost";
  }
  EXPECT_TRUE(outputs) << "the outputs write was never carried out";
  EXPECT_TRUE(parameter) << "the parameter write was never carried out";
  EXPECT_EQ(Text(Control::txt_par, 1), "140 ");
}

// The real serial layer on a pseudo-terminal, the test playing the controller: before the
// answer to the converter block read comes a stale frame (a late echo of an earlier write),
// in the same burst. The stale frame is dropped and the answer behind it taken.
TEST(StaleFrame, BeforeTheAnswerIsDroppedAndTheAnswerTaken) {
  test::Pty pty;
  test::ProgramDir dir;
  dir.Bind(1, pty.SlavePath());
  QtSerialPort port(dir.Path());
  port.SetSettings("115200,n,8,2");
  port.SetCommPort(1);
  port.Open();
  test::FakeView view;
  PolledExchange exchange(port, view);
  ModbusEngine& engine = exchange.Engine();
  Bytes decoded;
  engine.SetDecoder([&](const RxAnswer& answer) {
    decoded.clear();
    for (int i = 0; i < answer.count; ++i) decoded.push_back(static_cast<std::uint8_t>(answer.cells[i]));
  });

  exchange.Tick(QStringLiteral("COM1"), "115200,n,8,2");  // the first poll leaves
  QTest::qWait(20);
  const Bytes request = pty.Read(8, std::chrono::milliseconds(500));
  ASSERT_EQ(request.size(), 8u);
  const Bytes answer = test::AnswerTo(request);
  Bytes burst = test::WithCrc({0x07, 0x06, 0x0B, 0xB8, 0x00, 0x05});
  burst.insert(burst.end(), answer.begin(), answer.end());
  pty.Write(burst);
  QTest::qWait(100);
  EXPECT_EQ(exchange.Tick(QStringLiteral("COM1"), "115200,n,8,2"), ExchangeOutcome::kLinkUp);
  EXPECT_EQ(decoded, answer);
  EXPECT_EQ(engine.ExchangeErrors(), 1);  // the first tick only
  EXPECT_EQ(engine.DroppedFrames(), 1);
}

}  // namespace
}  // namespace torvex
