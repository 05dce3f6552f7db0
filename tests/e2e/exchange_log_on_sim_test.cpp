// The exchange log and the monitor end to end: the whole tool against torvex-sim playing
// silence, spoiled checksums, split answers and refusals. Every frame the simulator received
// is a TX line of the log, in order, and the exchange each one began ends in one RX line whose
// outcome is what the simulator did with it; the monitor shows the same frames.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include "modbus/crc16.h"
#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/frames.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/sim_trace.h"
#include "support/wait_for.h"
#include "ui/exchange_monitor.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using test::Bytes;
using test::Received;
using test::ReceivedBySim;

struct LogLine {
  QString time;
  QString direction;
  Bytes bytes;
  QString outcome;
  QString meaning;
};

Bytes HexBytes(const QStringList& pairs) {
  Bytes bytes;
  for (const QString& pair : pairs) bytes.push_back(static_cast<std::uint8_t>(pair.toUInt(nullptr, 16)));
  return bytes;
}

bool CrcHolds(const Bytes& frame) { return modbus::CrcMatches(frame); }

// Every line of the log, each checked for its form.
std::vector<LogLine> ReadLog(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("no log");
  const QRegularExpression time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
  const QRegularExpression hex(R"(^(-|[0-9A-F]{2}( [0-9A-F]{2})*)$)");
  const QStringList outcomes{"-",       "ok",      "no-answer",   "bad-crc",  "incomplete",
                             "mismatch", "dropped", "own-request", "exception", "echo", "no-echo"};
  std::vector<LogLine> lines;
  for (const QString& text : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
    const QStringList f = text.split('\t');
    EXPECT_EQ(f.size(), 5) << text.toStdString();
    if (f.size() != 5) continue;
    EXPECT_TRUE(time.match(f[0]).hasMatch()) << text.toStdString();
    EXPECT_TRUE(f[1] == "TX" || f[1] == "RX") << text.toStdString();
    EXPECT_TRUE(hex.match(f[2]).hasMatch()) << text.toStdString();
    EXPECT_TRUE(outcomes.contains(f[3])) << text.toStdString();
    EXPECT_FALSE(f[4].isEmpty()) << text.toStdString();
    lines.push_back({f[0], f[1], f[2] == "-" ? Bytes{} : HexBytes(f[2].split(' ')), f[3], f[4]});
  }
  return lines;
}

// What the exchange a request began must come to, by what the simulator did with it. The tail
// of a split answer lands in the next exchange, where it is dropped before the answer.
QString ExpectedOutcome(const QString& verdict) {
  if (verdict.startsWith("kept silent")) return "no-answer";
  if (verdict.endsWith("CRC spoiled")) return "bad-crc";
  if (verdict.endsWith("split")) return "incomplete";
  if (verdict.startsWith("refused")) return "exception";
  return "ok";
}

struct FaultCase {
  std::string name;
  QStringList options;
  QString outcome;  // must be seen at least three times
};

class ExchangeLogOnSim : public ::testing::TestWithParam<FaultCase> {
 protected:
  ExchangeLogOnSim() {
    dir.BindOthersToNowhere();
    QFile ini(dir.Path() + "/тп.ini");
    if (!ini.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write тп.ini");
    ini.write("[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n");
  }

  test::ProgramDir dir;
  test::FakePrompter prompter;
};

TEST_P(ExchangeLogOnSim, EveryFrameIsLoggedAndShownWithTheOutcomeOfItsExchange) {
  const FaultCase& fault = GetParam();
  test::SimRunner sim(dir.LinkPath(1), QStringList{"--trace"} + fault.options);
  QtSerialPort port(dir.Path());
  Tool tool(dir.Path(), port, prompter);
  const QString logPath = dir.Path() + "/обмен.log";
  tool.OpenExchangeLog(logPath);
  ASSERT_TRUE(tool.FormLoad());
  ExchangeMonitor& monitor = tool.ShowMonitor();

  const ExchangeCounters& counters = tool.Trace().Counters();
  auto seen = [&] {
    if (fault.outcome == "no-answer") return counters.noAnswer;
    if (fault.outcome == "bad-crc") return counters.badCrc;
    if (fault.outcome == "incomplete") return counters.incomplete;
    return counters.exceptions;
  };
  ASSERT_TRUE(test::WaitFor([&] { return seen() >= 3 && counters.requests >= 30; }, 20000))
      << counters.requests << " requests";
  tool.Timer1().stop();
  // The simulator traces each frame as it takes it; the last lines may still be in the pipe.
  test::WaitFor([&] { return ReceivedBySim(sim.Trace()).size() >= counters.requests; }, 3000);

  const std::vector<LogLine> log = ReadLog(logPath);
  const std::vector<Received> received = ReceivedBySim(sim.Trace());
  ASSERT_EQ(received.size(), counters.requests);

  // TX, RX, TX, RX, ... TX: one judgement for each request but the one still in flight, after
  // the late tail of a split answer where one came.
  int outcomes = 0;
  int tails = 0;
  int splits = 0;
  std::size_t line = 0;
  for (std::size_t k = 0; k < received.size(); ++k) {
    ASSERT_LT(line, log.size());
    const LogLine& tx = log[line++];
    ASSERT_EQ(tx.direction, "TX") << "line " << line;
    EXPECT_EQ(tx.bytes, received[k].frame) << "request " << k + 1;
    EXPECT_EQ(tx.outcome, "-");
    if (k + 1 == received.size()) break;
    const bool afterSplit = k > 0 && received[k - 1].verdict.endsWith("split");
    splits += afterSplit;
    while (line < log.size() && log[line].outcome == "dropped") {
      EXPECT_TRUE(afterSplit) << "line " << line + 1 << ": only a split answer's tail is dropped";
      ++tails;
      ++line;
    }
    ASSERT_LT(line + 1, log.size());
    const LogLine& rx = log[line++];
    ASSERT_EQ(rx.direction, "RX") << "line " << line;
    const QString expected = ExpectedOutcome(received[k].verdict);
    EXPECT_EQ(rx.outcome, expected) << "request " << k + 1 << ": " << received[k].verdict.toStdString();
    outcomes += rx.outcome == fault.outcome;
    // The outcome agrees with the bytes, and the meaning with the outcome.
    if (rx.outcome == "ok" || rx.outcome == "exception") {
      EXPECT_TRUE(CrcHolds(rx.bytes));
    } else if (rx.outcome == "bad-crc") {
      EXPECT_FALSE(CrcHolds(rx.bytes));
    } else if (rx.outcome == "no-answer") {
      EXPECT_EQ(rx.meaning, "Нет ответа");
    } else if (rx.outcome == "incomplete") {
      EXPECT_EQ(rx.meaning, QStringLiteral("Неполный ответ: %1 из ").arg(rx.bytes.size()) +
                                QString::number(test::AnswerTo(tx.bytes).size()) + " байт");
    }
    if (rx.outcome == "exception") {
      EXPECT_EQ(rx.bytes.at(1), tx.bytes.at(1) | 0x80);
      EXPECT_EQ(rx.meaning, "Исключение 2: недопустимый адрес данных");
    }
    // The next request is the same one again exactly when this exchange failed.
    const bool failed = rx.outcome != "ok" && rx.outcome != "exception";
    EXPECT_EQ(log[line].meaning.endsWith(" (повтор)"), failed) << "request " << k + 2;
  }
  EXPECT_EQ(line, log.size());
  EXPECT_EQ(tails, splits) << "each split answer's tail is dropped once, never blamed";
  EXPECT_GE(outcomes, 3);

  // The monitor shows the same frames.
  monitor.Refresh();
  const ExchangeMonitorModel& model = monitor.Model();
  ASSERT_EQ(static_cast<std::size_t>(model.rowCount()), log.size());
  for (int row = 0; row < model.rowCount(); ++row) {
    const QString shown = model.data(model.index(row, ExchangeMonitorModel::kMeaning)).toString();
    EXPECT_EQ(shown, log[static_cast<std::size_t>(row)].meaning) << "row " << row;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sim, ExchangeLogOnSim,
    ::testing::Values(FaultCase{"Silence", {"--silent-every", "4"}, "no-answer"},
                      FaultCase{"CorruptCrc", {"--corrupt-every", "5"}, "bad-crc"},
                      FaultCase{"SplitAnswers", {"--split-every", "6"}, "incomplete"},
                      FaultCase{"Exceptions", {"--exception", "6:2"}, "exception"}),
    [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace torvex
