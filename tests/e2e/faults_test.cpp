// Faults on the line, end to end: the whole tool (window offscreen, start-up, engine,
// parameters, the real serial layer) against torvex-sim playing silence, spoiled, split, noisy,
// late and refused answers, a controller that dies and comes back, and an operator who floods
// the request ring while the controller is off.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using test::kStatusBadCrc;
using test::kStatusLinkUp;
using test::kStatusNoAnswer;
using test::kStatusNotThisAnswer;
using test::kStatusQueueFullNote;
using test::kStatusQueueRefused;

using Bytes = std::vector<std::uint8_t>;

using test::WaitFor;

const QString kExceptionNote = QStringLiteral(" Нарушение протокола, код: ");

// The controls that show the controller's values: first those filled from the status block,
// then the 49 parameter boxes.
struct Field {
  ControlRef ref;
  QString name;
};
constexpr int kMeasuredFields = 2 + 64 + 5;
constexpr int kParams = 49;

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = [] {
    std::vector<Field> f{{{Control::lbl_pr_ver}, "lbl_pr_ver"}, {{Control::lbl_sw_ver}, "lbl_sw_ver"}};
    for (int i = 0; i < 64; ++i) f.push_back({{Control::lbl_u, i}, QString("lbl_u(%1)").arg(i)});
    f.push_back({{Control::lbl_ds18b20}, "lbl_ds18b20"});
    f.push_back({{Control::lbl_shaft}, "lbl_shaft"});
    f.push_back({{Control::lbl_prop}, "lbl_prop"});
    f.push_back({{Control::lbl_dir}, "lbl_dir"});
    f.push_back({{Control::lbl_st_flt}, "lbl_st_flt"});
    for (int i = 0; i < kParams; ++i) f.push_back({{Control::txt_par, i}, QString("txt_par(%1)").arg(i)});
    return f;
  }();
  return fields;
}

using Texts = std::vector<QString>;  // one per Fields() entry

std::string Differences(const Texts& shown, const Texts& expected) {
  std::ostringstream out;
  for (std::size_t i = 0; i < Fields().size(); ++i) {
    if (shown.at(i) == expected.at(i)) continue;
    out << "\n  " << Fields()[i].name.toStdString() << ": \"" << shown[i].toStdString()
        << "\", expected \"" << expected[i].toStdString() << '"';
  }
  return out.str();
}

bool IsExchangeError(const QString& status) {
  return status.startsWith(kStatusNoAnswer) || status.startsWith(kStatusBadCrc) ||
         status.startsWith(kStatusNotThisAnswer);
}

// A status line an exchange tick may leave: the three link states, an exception code after a
// valid answer, and the full-ring note behind any of them.
bool IsTickStatus(QString status) {
  status.replace(kStatusQueueFullNote, QString());
  status.remove(QRegularExpression(QStringLiteral(" В очереди \\d+ запрос(а|ов)?")));
  if (status == kStatusLinkUp || status == kStatusNoAnswer || status == kStatusBadCrc ||
      status == kStatusNotThisAnswer) {
    return true;
  }
  const QString prefix = kStatusLinkUp + kExceptionNote;
  bool number = false;
  if (status.startsWith(prefix)) status.mid(prefix.size()).toUInt(&number);
  return number;
}

// One run of the tool as an operator starts it, from its own program directory with тп.ini
// for COM1 at 115200,n,8,2, and a record of what every exchange tick left in the window.
class ToolRun {
 public:
  struct Tick {
    QString status;
    QString errors;  // lbl_dbg
    bool judged;     // false: the tick waited for an answer on its way, or for a silent line
  };

  ToolRun() {
    dir.BindOthersToNowhere();
    QFile ini(dir.Path() + "/тп.ini");
    if (!ini.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write тп.ini");
    ini.write("[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n");
  }

  bool AddToIni(const char* lines) {
    QFile ini(dir.Path() + "/тп.ini");
    return ini.open(QIODevice::Append) && ini.write(lines) == static_cast<qint64>(std::strlen(lines));
  }

  bool Start() {
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    if (!tool->FormLoad()) return false;
    startTexts = Shown();
    // Connected after the tool's own handler, so it sees what each tick has done.
    QObject::connect(&tool->Timer1(), &QTimer::timeout, tool.get(), [this] { OnTick(); });
    return true;
  }

  MainWindow& Window() const { return tool->Window(); }
  QString Text(Control c, int i = -1) const { return Window().Text({c, i}); }
  QString Status() const { return Text(Control::lbl_sys_mes); }
  Texts Shown() const {
    Texts texts;
    for (const Field& f : Fields()) texts.push_back(Window().Text(f.ref));
    return texts;
  }
  template <class W>
  W* Find(const char* name, int index = -1) const {
    for (W* w : Window().findChildren<W*>(name)) {
      if (index < 0 || w->property("index").toInt() == index) return w;
    }
    throw std::out_of_range(name);
  }
  bool AllParamsGreen() const {
    for (int i = 0; i < kParams; ++i) {
      if (Find<QLineEdit>("txt_par", i)->palette().color(QPalette::Base) != QColor(0, 255, 0)) {
        return false;
      }
    }
    return true;
  }
  // Puts the start texts back into the status block's displays, so that what shows next
  // must come from a new answer.
  void BlankMeasurements() {
    for (int i = 0; i < kMeasuredFields; ++i) Window().SetText(Fields()[i].ref, startTexts[i]);
  }

  int StatusBlocksShown() const { return statusBlocks_; }
  int TicksShowing(const QString& status) const {
    int n = 0;
    for (const Tick& t : ticks) n += t.judged && t.status == status;
    return n;
  }
  std::int64_t Errors() const {
    return ticks.empty() ? 0 : ticks.back().errors.toLongLong();  // "debug" before the first
  }
  // From now on every tick checks that each field shows its start text or its true text.
  void ExpectOnly(Texts truth) { truth_ = std::move(truth); }
  // Every tick that broke a rule: an unknown status, an error count that did not follow the
  // exchange's outcome, a field showing neither its start text nor the truth.
  std::string Violations() const {
    std::string all;
    for (const std::string& v : violations_) all += "\n  " + v;
    return all;
  }

  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
  Texts startTexts;
  std::vector<Tick> ticks;

 private:
  void OnTick() {
    const Tick tick{Status(), Text(Control::lbl_dbg), tool->Engine().LastTick().has_value()};
    const std::string at = "tick " + std::to_string(ticks.size() + 1) + ": ";
    const std::int64_t errors = tick.errors.toLongLong();
    if (errors != Errors() + (tick.judged && IsExchangeError(tick.status) ? 1 : 0)) {
      Violate(at + "lbl_dbg " + tick.errors.toStdString() + " after status \"" +
              tick.status.toStdString() + "\"");
    }
    if (!IsTickStatus(tick.status)) Violate(at + "status \"" + tick.status.toStdString() + '"');
    ticks.push_back(tick);

    // A status block answer was decoded in this tick.
    const ModbusEngine& engine = tool->Engine();
    if (tick.status.startsWith(kStatusLinkUp) && engine.RxCount() == 185 && engine.Rx()[1] == 3 &&
        engine.Rx()[2] == 180) {
      ++statusBlocks_;
    }

    if (truth_.empty()) return;
    const Texts shown = Shown();
    for (std::size_t i = 0; i < shown.size(); ++i) {
      if (shown[i] != startTexts[i] && shown[i] != truth_[i]) {
        Violate(at + Fields()[i].name.toStdString() + " \"" + shown[i].toStdString() + '"');
      }
    }
  }
  void Violate(std::string what) {
    if (violations_.size() < 20) violations_.push_back(std::move(what));
  }

  int statusBlocks_ = 0;
  Texts truth_;
  std::vector<std::string> violations_;
};

class FaultsOnSim : public ::testing::Test {
 protected:
  FaultsOnSim() { QLocale::setDefault(QLocale(QLocale::Russian)); }
  ~FaultsOnSim() override { QLocale::setDefault(QLocale::c()); }

  // Waits for the start-up reads and a status block shown after them.
  void WaitUntilEverythingShown(ToolRun& r) {
    ASSERT_TRUE(WaitFor([&] { return r.AllParamsGreen(); })) << r.Status().toStdString();
    const int blocks = r.StatusBlocksShown();
    ASSERT_TRUE(WaitFor([&] { return r.StatusBlocksShown() > blocks; }));
  }

  // The controller's true texts: what a fault-free run of the same frozen simulator shows,
  // every field filled.
  void TakeTruth() {
    ToolRun reference;
    test::SimRunner sim(reference.dir.LinkPath(1));
    ASSERT_TRUE(reference.Start());
    ASSERT_NO_FATAL_FAILURE(WaitUntilEverythingShown(reference));
    truth = reference.Shown();
    for (std::size_t i = 0; i < truth.size(); ++i) {
      ASSERT_NE(truth[i], reference.startTexts[i]) << Fields()[i].name.toStdString();
    }
  }

  Texts truth;
  ToolRun run;
};

// --- Faults on the line ------------------------------------------------------------------

struct FaultCase {
  std::string name;
  QStringList options;
  QStringList statuses;  // each must be left by at least `times` ticks
  int times;
  bool measurements;  // false: the controller refuses the status block
  const char* ini = "";  // lines added to "тп.ini"
};

std::vector<FaultCase> FaultCases() {
  const QString refused = kStatusLinkUp + kExceptionNote;
  return {
      // The first tick of a run finds no answer too, before anything was sent.
      {"Silence", {"--silent-every", "3"}, {kStatusNoAnswer}, 4, true},
      {"CorruptCrc", {"--corrupt-every", "4"}, {kStatusBadCrc}, 3, true},
      // Head in one tick, tail with the answer to the repeated request in the next.
      {"SplitAnswers", {"--split-every", "5"}, {kStatusBadCrc}, 3, true},
      // The stray bytes are dropped and the answer behind them taken.
      {"NoiseBeforeAnswers", {"--noise-every", "3"}, {kStatusLinkUp}, 3, true},
      // Every answer comes 1.5 ticks late, after the deadline the operator set: the request
      // goes again, its first answer is taken, and the second one, arriving while the next
      // request waits, answers nothing.
      {"LateAnswers",
       {"--delay-ms", "150"},
       {kStatusNoAnswer, kStatusNotThisAnswer},
       2,
       true,
       "ResponseTimeoutMs=80\n"},
      {"AllAtOnce",
       {"--silent-every", "7", "--corrupt-every", "5", "--split-every", "11", "--noise-every", "13"},
       {kStatusNoAnswer, kStatusBadCrc},
       3,
       true},
      {"TransactionCodeRefused", {"--exception", "6:2"}, {refused + "2"}, 3, true},
      {"ReadsRefused", {"--exception", "3:4"}, {refused + "4"}, 3, false},
  };
}

void PrintTo(const FaultCase& fault, std::ostream* os) { *os << fault.name; }

class LineFaults : public FaultsOnSim, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(LineFaults, AreReportedAndCountedAndTheDisplayComesBackToTheTrueValues) {
  const FaultCase& fault = GetParam();
  ASSERT_NO_FATAL_FAILURE(TakeTruth());

  test::SimRunner sim(run.dir.LinkPath(1), fault.options);
  ASSERT_TRUE(run.AddToIni(fault.ini));
  ASSERT_TRUE(run.Start());
  run.ExpectOnly(truth);
  for (const QString& status : fault.statuses) {
    ASSERT_TRUE(WaitFor([&] { return run.TicksShowing(status) >= fault.times; }))
        << status.toStdString() << " after " << run.TicksShowing(status) << " ticks of "
        << run.ticks.size();
  }

  // While the faults go on, the measured values are blanked and the parameters read again:
  // what shows next must come through the faulty line.
  run.BlankMeasurements();
  const int blocks = run.StatusBlocksShown();
  const std::size_t tick = run.ticks.size();
  run.Find<QPushButton>("cmd_readall")->click();
  ASSERT_TRUE(WaitFor([&] {
    // Refused reads never show: give them ticks enough to try twice.
    const bool measured = fault.measurements ? run.StatusBlocksShown() > blocks
                                             : run.ticks.size() >= tick + 10;
    return run.AllParamsGreen() && measured;
  })) << run.Status().toStdString();

  Texts expected = truth;
  if (!fault.measurements) {
    std::copy_n(run.startTexts.begin(), kMeasuredFields, expected.begin());
  }
  const Texts shown = run.Shown();
  EXPECT_TRUE(shown == expected) << Differences(shown, expected);
  EXPECT_TRUE(run.Violations().empty()) << run.Violations();
  EXPECT_TRUE(sim.Running());
}

INSTANTIATE_TEST_SUITE_P(Sim, LineFaults, ::testing::ValuesIn(FaultCases()),
                         [](const auto& row) { return row.param.name; });

// With the automatic response timeout, answers that keep coming 150 ms late teach the wait
// their latency: a few resends at first, then none, and nothing lost or shown wrong.
TEST_F(FaultsOnSim, LateAnswersTeachTheAutomaticWaitUntilNoRequestGoesTwice) {
  ASSERT_NO_FATAL_FAILURE(TakeTruth());
  test::SimRunner sim(run.dir.LinkPath(1), {"--delay-ms", "150"});
  ASSERT_TRUE(run.Start());
  run.ExpectOnly(truth);
  ASSERT_NO_FATAL_FAILURE(WaitUntilEverythingShown(run));
  const std::int64_t settled = run.Errors();
  EXPECT_LE(settled, 1 + 5) << "the first tick, and at most five resends";
  const std::size_t tick = run.ticks.size();
  ASSERT_TRUE(WaitFor([&] { return run.ticks.size() >= tick + 30; }));
  EXPECT_EQ(run.Errors(), settled) << "no resend once the wait has learned";
  EXPECT_EQ(run.tool->Engine().WaitSource(), AnswerWaitSource::kLearned);
  EXPECT_GT(run.tool->Engine().AnswerWait(), std::chrono::milliseconds(150));
  EXPECT_TRUE(run.Shown() == truth) << Differences(run.Shown(), truth);
  EXPECT_TRUE(run.Violations().empty()) << run.Violations();
}

// --- The controller refuses the operator's writes ------------------------------------------

TEST_F(FaultsOnSim, RefusedWritesAreReportedAndNotShownAsCarriedOut) {
  test::SimRunner sim(run.dir.LinkPath(1), {"--exception", "16:2", "--exception", "101:3"});
  ASSERT_TRUE(run.Start());
  ASSERT_NO_FATAL_FAILURE(WaitUntilEverythingShown(run));
  const QString box1 = run.Text(Control::txt_par, 1);

  // Output 1 set: refused, so the looped-back input 1 stays dark.
  run.Find<QCheckBox>("chk_out", 0)->setChecked(true);
  run.Find<QPushButton>("cmd_set")->click();
  ASSERT_TRUE(WaitFor([&] { return run.TicksShowing(kStatusLinkUp + kExceptionNote + "2") > 0; }));
  int blocks = run.StatusBlocksShown();
  ASSERT_TRUE(WaitFor([&] { return run.StatusBlocksShown() > blocks; }));
  EXPECT_FALSE(run.Find<QLabel>("lbl_eds", 0)->autoFillBackground());

  // A parameter write refused: the box keeps the operator's text, white, unconfirmed.
  QLineEdit* edit = run.Find<QLineEdit>("txt_par", 1);
  edit->setText("140");
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return run.TicksShowing(kStatusLinkUp + kExceptionNote + "3") > 0; }));
  blocks = run.StatusBlocksShown();
  ASSERT_TRUE(WaitFor([&] { return run.StatusBlocksShown() > blocks; }));
  EXPECT_EQ(run.Text(Control::txt_par, 1), "140");
  EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(255, 255, 255));

  // Read back: the controller still holds the old value.
  run.Find<QPushButton>("cmd_readall")->click();
  ASSERT_TRUE(WaitFor([&] { return run.AllParamsGreen(); }));
  EXPECT_EQ(run.Text(Control::txt_par, 1), box1);
  EXPECT_TRUE(run.Violations().empty()) << run.Violations();
}

// --- The controller dies and comes back ----------------------------------------------------

// How the controller goes: killed (its link left pointing nowhere) or stopped (its link removed);
// and how the tool reaches it: ports/com1 leads to it directly, or through the stable name that
// udev gives a USB adapter under /dev/serial/by-id, as a bound adapter is pulled out and plugged
// back into another socket.
struct Restart {
  int signal;
  bool byId;
};

class ControllerRestart : public FaultsOnSim, public ::testing::WithParamInterface<Restart> {};

TEST_P(ControllerRestart, IsReportedAsNoAnswerAndTheExchangeResumesOnTheSamePort) {
  std::filesystem::path link = run.dir.LinkPath(1);
  if (GetParam().byId) {
    const auto byIdDir = std::filesystem::path(run.dir.Path().toStdString()) / "by-id";
    std::filesystem::create_directory(byIdDir);
    link = byIdDir / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    run.dir.Bind(1, link.string());
  }
  test::SimRunner sim(link);
  ASSERT_TRUE(run.Start());
  ASSERT_NO_FATAL_FAILURE(WaitUntilEverythingShown(run));
  const Texts before = run.Shown();
  run.ExpectOnly(before);

  if (GetParam().signal == SIGKILL) {
    sim.Kill();
    ASSERT_TRUE(std::filesystem::is_symlink(link));  // left behind, pointing nowhere
    ASSERT_FALSE(std::filesystem::exists(link));
  } else {
    sim.Stop();
    ASSERT_FALSE(std::filesystem::is_symlink(link));
  }
  ASSERT_TRUE(WaitFor([&] { return run.Status() == kStatusNoAnswer; }));
  const std::int64_t errors = run.Errors();
  ASSERT_TRUE(WaitFor([&] { return run.Errors() >= errors + 5; }));  // every tick, one more
  EXPECT_EQ(run.Status(), kStatusNoAnswer);
  EXPECT_FALSE(run.port->IsOpen());

  // A controller is back behind the same name, on a new pseudo-terminal.
  run.BlankMeasurements();
  const int blocks = run.StatusBlocksShown();
  sim.Start();
  EXPECT_TRUE(WaitFor([&] { return run.port->IsOpen(); }, 2000)) << "within 2 s of coming back";
  ASSERT_TRUE(WaitFor([&] { return run.StatusBlocksShown() > blocks; }))
      << run.Status().toStdString() << "; " << sim.Banner().toStdString();
  EXPECT_EQ(run.Status(), kStatusLinkUp);
  const Texts shown = run.Shown();
  EXPECT_TRUE(shown == before) << Differences(shown, before);
  EXPECT_TRUE(run.Violations().empty()) << run.Violations();
}

INSTANTIATE_TEST_SUITE_P(Sim, ControllerRestart,
                         ::testing::Values(Restart{SIGKILL, false}, Restart{SIGTERM, false},
                                           Restart{SIGKILL, true}, Restart{SIGTERM, true}),
                         [](const auto& row) {
                           return std::string(row.param.signal == SIGKILL ? "Killed" : "Terminated") +
                                  (row.param.byId ? "BehindItsByIdName" : "");
                         });

// --- A flooded request ring ------------------------------------------------------------------

constexpr std::uint8_t kWriteRegisters = 0x10;
constexpr std::uint8_t kWriteParams = 101;

std::uint8_t Byte(std::uint32_t v, int n) { return static_cast<std::uint8_t>(v >> (8 * n)); }

// cmd_set: the 32 outputs into registers 3001-3002, outputs 16-31 first.
Bytes OutputsWrite(std::uint32_t bits) {
  return {kWriteRegisters, 0x0B, 0xB9, 0x00, 0x02, 0x04,
          Byte(bits, 3), Byte(bits, 2), Byte(bits, 1), Byte(bits, 0)};
}
// Enter in txt_dac(k): one register, 3002 + k.
Bytes AnalogWrite(int k, std::uint32_t code) {
  const std::uint32_t reg = 3002 + k;
  return {kWriteRegisters, Byte(reg, 1), Byte(reg, 0), 0x00, 0x01, 0x02, Byte(code, 1), Byte(code, 0)};
}

// The operator's writes the simulator received, from its trace lines
// "<seconds> <- 07 10 0B B9 ...  (verdict)", as function code and data without address and
// CRC. A frame equal to the one before it is the same request sent again after a failed
// exchange and counts once.
std::vector<Bytes> ReceivedWrites(const QString& trace) {
  std::vector<Bytes> writes;
  Bytes last;
  for (const QString& line : trace.split('\n')) {
    const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
    if (parts.size() < 5 || parts[1] != "<-") continue;
    Bytes frame;
    for (int i = 2; i < parts.size() && !parts[i].startsWith('('); ++i) {
      frame.push_back(static_cast<std::uint8_t>(parts[i].toUInt(nullptr, 16)));
    }
    if (frame == last) continue;
    last = frame;
    if (frame.size() < 4 || (frame[1] != kWriteRegisters && frame[1] != kWriteParams)) continue;
    writes.emplace_back(frame.begin() + 1, frame.end() - 2);
  }
  return writes;
}

std::string Hex(const Bytes& b) {
  std::string s;
  for (std::uint8_t x : b) s += QString("%1 ").arg(x, 2, 16, QChar('0')).toUpper().toStdString();
  return s;
}

TEST_F(FaultsOnSim, AFloodedRingRefusesVisiblyAndLosesOrReordersNothingItTook) {
  test::SimRunner sim(run.dir.LinkPath(1), {"--trace"});
  ASSERT_TRUE(run.Start());
  ASSERT_NO_FATAL_FAILURE(WaitUntilEverythingShown(run));
  sim.Stop();  // the controller is switched off
  ASSERT_TRUE(WaitFor([&] { return run.Status() == kStatusNoAnswer; }));

  // The operator keeps commanding: outputs words 1, 3, 5, ..., analog outputs 4-7 with codes
  // 2, 4, 6, ... (0.002442 V a step), and now and then the whole parameter table.
  const RequestQueue& queue = run.tool->Engine().Queue();
  std::vector<Bytes> expected;  // every request the ring took, in order
  bool refused[3] = {false, false, false};
  for (int i = 1; i < 2000 && !(refused[0] && refused[1] && refused[2]); ++i) {
    const int kind = i % 25 == 0 ? 2 : i % 2;
    const int first = queue.WriteIndex();
    const int pending = queue.PendingCount();
    Bytes request;
    if (kind == 1) {
      for (int k = 0; k < 32; ++k) run.Find<QCheckBox>("chk_out", k)->setChecked((i >> k) & 1);
      run.Find<QPushButton>("cmd_set")->click();
      request = OutputsWrite(static_cast<std::uint32_t>(i));
    } else if (kind == 0) {
      const int k = 4 + (i / 2) % 4;
      QLineEdit* dac = run.Find<QLineEdit>("txt_dac", k);
      dac->setText(QString::number(i * 0.002442, 'f', 6));
      QTest::keyClick(dac, Qt::Key_Return);
      request = AnalogWrite(k, i);
    } else {
      run.Find<QPushButton>("cmd_writeall")->click();  // three blocks and the slave address
    }
    const int taken = queue.PendingCount() - pending;
    const int asked = kind == 2 ? 4 : 1;
    ASSERT_LE(taken, asked);
    for (int j = 0; j < taken; ++j) {
      if (kind != 2) {
        expected.push_back(request);
        continue;
      }
      expected.push_back(queue.Slot((first + j) % RequestQueue::kSlots).Bytes());
    }
    if (taken < asked) {
      ASSERT_EQ(run.Status(), kStatusQueueRefused) << "click " << i;
      ASSERT_TRUE(queue.IsFull());
      refused[kind] = true;
    }
  }
  ASSERT_TRUE(refused[0] && refused[1] && refused[2]);
  EXPECT_EQ(queue.PendingCount(), 511);
  // The exchange ticks on, and says why nothing more is taken.
  ASSERT_TRUE(WaitFor([&] { return run.Status() == kStatusNoAnswer + kStatusQueueFullNote; }));

  // The controller is back. 511 requests at one a tick take 51 s at 100 ms; the order the ring
  // keeps does not depend on the tick, so the test ticks faster.
  run.tool->Timer1().setInterval(20);
  sim.Start();
  ASSERT_TRUE(WaitFor([&] { return queue.PendingCount() <= 1; }, 60000))
      << queue.PendingCount() << " still pending";
  // The simulator traces each frame before it answers it; the last lines may still be on
  // their way through the pipe.
  WaitFor([&] { return ReceivedWrites(sim.Trace()).size() >= expected.size(); }, 3000);
  EXPECT_EQ(run.Status(), kStatusLinkUp);

  const std::vector<Bytes> received = ReceivedWrites(sim.Trace());
  EXPECT_EQ(received.size(), expected.size());
  for (std::size_t i = 0; i < std::min(received.size(), expected.size()); ++i) {
    ASSERT_EQ(Hex(received[i]), Hex(expected[i])) << "write " << i + 1 << " of " << expected.size();
  }
  EXPECT_TRUE(run.Violations().empty()) << run.Violations();
}

}  // namespace
}  // namespace torvex
