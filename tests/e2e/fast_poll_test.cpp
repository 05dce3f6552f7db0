// Polling faster than the 100 ms tick: the whole tool against the simulator at the pace of a
// real line. The pace on the wire, the operator's requests ahead of the background poll, the
// period changed while polling, and the usual period's traffic as it always was.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/sim_trace.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

const Bytes kAdcRead{0x07, 0x03, 0x0C, 0x0C, 0x00, 0x40, 0x87, 0x0F};
const Bytes kStatusRead{0x07, 0x03, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
constexpr std::uint8_t kWriteMultiple = 0x10;
constexpr std::uint8_t kParamRead = 100;

class FastPoll : public ::testing::Test {
 protected:
  FastPoll() {
    QLocale::setDefault(QLocale(QLocale::Russian));
    dir.BindOthersToNowhere();
  }
  ~FastPoll() override { QLocale::setDefault(QLocale::c()); }

  // The tool at `period`, with the simulator a real line of 115200 baud; returns once the
  // parameters have been read and the link is up.
  void Start(std::chrono::milliseconds period) {
    sim = std::make_unique<test::SimRunner>(dir.LinkPath(1), QStringList{"--line-timing", "--trace"});
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini", "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n" +
                                                            PeriodKey(period)));
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    ASSERT_TRUE(tool->FormLoad());
    ASSERT_EQ(tool->Config().PollPeriod(), period);
    ASSERT_TRUE(test::WaitFor([&] {
      return tool->Window().Text({Control::lbl_sys_mes}) == test::kStatusLinkUp &&
             tool->Window().Text({Control::lbl_sw_ver}) != "-";
    }));
  }
  static QByteArray PeriodKey(std::chrono::milliseconds period) {
    if (period == ModbusEngine::kTick) return {};
    return "PollPeriodMs=" + QByteArray::number(static_cast<int>(period.count())) + "\n";
  }
  std::vector<test::Received> Requests() { return test::ReceivedBySim(sim->Trace()); }
  // Requests the simulator receives while the tool polls for `span`.
  std::size_t RequestsWithin(std::chrono::milliseconds span) {
    const std::size_t before = Requests().size();
    QTest::qWait(static_cast<int>(span.count()));
    return Requests().size() - before;
  }
  // A request sent again: the same bytes twice in a row (the background poll never repeats
  // itself, its code counting up).
  static int Resends(const std::vector<test::Received>& requests) {
    int resends = 0;
    for (std::size_t i = 1; i < requests.size(); ++i) resends += requests[i].frame == requests[i - 1].frame;
    return resends;
  }
  template <class W>
  W* Find(const char* name, int index) {
    for (W* w : tool->Window().findChildren<W*>(name)) {
      if (w->property("index").toInt() == index) return w;
    }
    return nullptr;
  }

  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<test::SimRunner> sim;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

// The pace of the wire: continuously, far more than a request a tick and never over an answer;
// at 20 ms, never more than a request a period. Bounds with wide margins: they tell the modes
// apart, the benchmark measures the pace.
TEST_F(FastPoll, TheWireKeepsThePaceOfThePeriodWithoutTalkingOverAnswers) {
  struct Case {
    std::chrono::milliseconds period;
    std::size_t atLeast, atMost;  // requests in 2 s
  } const cases[] = {{ModbusEngine::kContinuous, 41, 1000}, {20ms, 21, 101}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.period.count());
    Start(c.period);
    const auto blockReads = [&] {
      std::size_t reads = 0;
      for (const auto& r : Requests()) reads += r.frame == kAdcRead || r.frame == kStatusRead;
      return reads;
    };
    const std::size_t readsBefore = blockReads();
    const std::size_t samplesBefore = tool->Recording().History().Size();
    const std::size_t requests = RequestsWithin(2000ms);
    EXPECT_GE(requests, c.atLeast);
    EXPECT_LE(requests, c.atMost);
    // Every answer reaches the trends' history, however fast they come (within the one on its way
    // at either end).
    const std::size_t reads = blockReads() - readsBefore;
    const std::size_t samples = tool->Recording().History().Size() - samplesBefore;
    EXPECT_LE(samples, reads + 1);
    EXPECT_GE(samples + 1, reads);
    const auto all = Requests();
    EXPECT_EQ(Resends(all), 0);
    for (const auto& r : all) EXPECT_EQ(r.verdict, "answered");
    tool.reset();
    EXPECT_TRUE(sim->Stop().contains(" 0 bytes over an answer")) << "the master talked over an answer";
  }
}

// Writes queued while polling continuously leave before the next background poll, one after
// the other in the order given, and every one is carried out.
TEST_F(FastPoll, TheOperatorsWritesGoFirstAndNoneIsLost) {
  Start(ModbusEngine::kContinuous);
  constexpr int kWrites = 8;
  for (int k = 0; k < kWrites; ++k) {
    for (int i = 0; i < 8; ++i) Find<QCheckBox>("chk_out", i)->setChecked(i == k);
    tool->Window().findChild<QPushButton*>("cmd_set")->click();
  }
  ASSERT_TRUE(test::WaitFor([&] {
    int writes = 0;
    for (const auto& r : Requests()) writes += r.frame.size() > 1 && r.frame[1] == kWriteMultiple;
    return writes == kWrites;
  }));
  const auto all = Requests();
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].frame[1] == kWriteMultiple) at.push_back(i);
  }
  ASSERT_EQ(at.size(), static_cast<std::size_t>(kWrites));
  for (int k = 0; k < kWrites; ++k) {
    EXPECT_EQ(at[k], at[0] + k) << "a background poll came between the operator's writes";
    EXPECT_EQ(all[at[k]].verdict, "answered");
    EXPECT_EQ(all[at[k]].frame[10], 1u << k) << "the outputs of write " << k;  // outputs 0-7
  }
  // The last pattern, output 8 alone, comes back on the bench's input 8.
  EXPECT_TRUE(test::WaitFor([&] {
    return Find<QLabel>("lbl_eds", kWrites - 1)->autoFillBackground() &&
           !Find<QLabel>("lbl_eds", 0)->autoFillBackground();
  }));
}

// The settings dialog may change the period while polling: each takes over at the next tick,
// with its timer, and the exchange runs on without a failure.
TEST_F(FastPoll, ThePeriodChangesWhilePolling) {
  Start(ModbusEngine::kTick);
  const std::size_t usual = RequestsWithin(1000ms);
  tool->Config().SetPollPeriod(ModbusEngine::kContinuous);
  RequestsWithin(200ms);
  EXPECT_TRUE(tool->Timer1().isSingleShot());
  EXPECT_GT(RequestsWithin(1000ms), 2 * usual);
  EXPECT_TRUE(tool->Paced().Paced());

  tool->Config().SetPollPeriod(50ms);
  RequestsWithin(200ms);
  EXPECT_FALSE(tool->Timer1().isSingleShot());
  EXPECT_EQ(tool->Timer1().interval(), 50);
  EXPECT_LE(RequestsWithin(1000ms), 21u);
  EXPECT_TRUE(tool->Paced().Paced()) << "faster than the window refreshes";

  tool->Config().SetPollPeriod(ModbusEngine::kTick);
  RequestsWithin(200ms);
  EXPECT_EQ(tool->Timer1().interval(), 100);
  EXPECT_LE(RequestsWithin(1000ms), 11u);
  EXPECT_TRUE(tool->Timer1().isActive());
  EXPECT_FALSE(tool->Paced().Paced());
  EXPECT_EQ(Resends(Requests()), 0);
  EXPECT_EQ(tool->Engine().ExchangeErrors(), 1) << "the first tick's, before anything was sent";
}

// At the usual 100 ms the wire carries what it always has, request for request: the three
// parameter reads, then the background cycle with its codes counting up, a request a tick.
TEST_F(FastPoll, TheUsualPeriodSendsWhatItAlwaysSent) {
  Start(ModbusEngine::kTick);
  QTest::qWait(1000);
  const auto all = Requests();
  ASSERT_GE(all.size(), 12u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(all[i].frame[1], kParamRead);
  for (std::size_t i = 3; i < all.size(); ++i) {
    const std::size_t step = (i - 3) % 4;
    const int code = static_cast<int>((i - 3) / 2 + 1);
    const Bytes codeWrite = test::WithCrc(
        {0x07, 0x06, 0x0B, 0xB8, static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)});
    const Bytes& expected = step == 0 ? kAdcRead : step == 2 ? kStatusRead : codeWrite;
    EXPECT_EQ(all[i].frame, expected) << "request " << i;
  }
  EXPECT_TRUE(tool->Timer1().isActive());
  EXPECT_FALSE(tool->Timer1().isSingleShot());
  EXPECT_EQ(tool->Timer1().interval(), 100);
  EXPECT_FALSE(tool->Paced().Paced());
}

}  // namespace
}  // namespace torvex
