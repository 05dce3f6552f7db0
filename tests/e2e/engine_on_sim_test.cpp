// The exchange engine on the real serial layer against the simulated controller.
#include <gtest/gtest.h>

#include <thread>

#include <QTest>

#include "engine/modbus_engine.h"
#include "platform/qt_serial_port.h"
#include "support/fake_view.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "ui/polled_exchange.h"
#include "support/status_texts.h"

namespace torvex {
namespace {

using test::kStatusLinkUp;
using test::kStatusNoAnswer;

class EngineOnSim : public ::testing::Test {
 protected:
  void OpenCom1() {
    port.SetSettings(kMode);
    port.SetCommPort(1);
    port.Open();
  }
  // Ticks as the exchange timer does: one every 100 ms, the event loop running in between.
  void RunTicks(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      exchange.Tick(QStringLiteral("COM1"), kMode);
      QTest::qWait(100);
    }
  }
  QString Status() const { return view.Text({Control::lbl_sys_mes}); }

  static inline const QString kMode = QStringLiteral("115200,n,8,2");
  test::ProgramDir dir;
  QtSerialPort port{dir.Path()};
  test::FakeView view;
  PolledExchange exchange{port, view};
  ModbusEngine& engine = exchange.Engine();
  int answers = 0;
};

TEST_F(EngineOnSim, PollsWithoutASingleErrorAfterTheFirstTick) {
  test::SimRunner sim(dir.LinkPath(1));
  OpenCom1();
  engine.SetDecoder([&](const RxAnswer&) { ++answers; });
  RunTicks(50);
  EXPECT_EQ(engine.ExchangeErrors(), 1);  // the first tick: nothing sent yet
  EXPECT_EQ(answers, 49);
  EXPECT_EQ(Status(), kStatusLinkUp);
  EXPECT_EQ(view.Text({Control::lbl_tr_id}), "25");  // every second poll writes the code
}

// Ticks that come late, the event loop held up (a window busy redrawing): the answer is in the
// device, though not yet in the port's buffer, and it is taken, never judged missing.
TEST_F(EngineOnSim, ALateTickTakesTheAnswerThatHasArrived) {
  test::SimRunner sim(dir.LinkPath(1));
  OpenCom1();
  engine.SetDecoder([&](const RxAnswer&) { ++answers; });
  RunTicks(3);
  const std::int64_t errors = engine.ExchangeErrors();
  for (int i = 0; i < 10; ++i) {
    exchange.Tick(QStringLiteral("COM1"), kMode);
    std::this_thread::sleep_for(std::chrono::milliseconds(170));  // no event loop meanwhile
    const auto outcome = exchange.Tick(QStringLiteral("COM1"), kMode);
    EXPECT_NE(outcome, std::optional(ExchangeOutcome::kNoAnswer)) << i;
    QTest::qWait(100);
  }
  EXPECT_EQ(engine.ExchangeErrors(), errors);
  EXPECT_GE(answers, 2 + 10);
}

TEST_F(EngineOnSim, SilenceCountsAnErrorAndTheRequestIsRepeated) {
  test::SimRunner sim(dir.LinkPath(1), {"--silent-every", "5"});
  OpenCom1();
  RunTicks(41);
  // 40 requests reached the simulator; every 5th went unanswered and was sent again.
  EXPECT_EQ(engine.ExchangeErrors(), 1 + 8);
  RunTicks(1);
  EXPECT_EQ(Status(), kStatusLinkUp);
}

TEST_F(EngineOnSim, KeepsTickingWhileTheControllerIsGoneAndResumesWhenItIsBack) {
  auto sim = std::make_unique<test::SimRunner>(dir.LinkPath(1));
  OpenCom1();
  RunTicks(5);
  ASSERT_EQ(engine.ExchangeErrors(), 1);

  sim.reset();  // the simulator ends: the far end of the line is gone
  RunTicks(10);
  EXPECT_EQ(Status(), kStatusNoAnswer);
  // The answer to the last frame may still have come in before the simulator ended.
  EXPECT_GE(engine.ExchangeErrors(), 10);
  EXPECT_FALSE(port.IsOpen());

  sim = std::make_unique<test::SimRunner>(dir.LinkPath(1));  // a new pseudo-terminal
  RunTicks(20);  // the layer reopens within about a second
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(Status(), kStatusLinkUp);
  const auto errors = engine.ExchangeErrors();
  RunTicks(10);
  EXPECT_EQ(engine.ExchangeErrors(), errors);
}

}  // namespace
}  // namespace torvex
