// The whole tool over the network: torvex-sim as a Modbus TCP gateway and as a serial device
// server (RTU over TCP) on loopback, reached through "тп.ini" or --connect. Values shown, a
// write carried out, the faults of a line behind a gateway, a gateway that answers for a silent
// controller, a server that closes after every answer, one that goes and comes back, and the
// start-up message when nothing can be reached.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTimer>

#include "platform/qt_serial_port.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/sim_runner.h"
#include "support/status_texts.h"
#include "support/wait_for.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using test::kStatusBadCrc;
using test::kStatusGatewayNoAnswer;
using test::kStatusGatewayNoPath;
using test::kStatusLinkUp;
using test::kStatusNoAnswer;
using test::kStatusNotThisAnswer;
using test::WaitFor;

struct Framing {
  const char* name;
  const char* link;  // the value of "Link"
  QStringList simOptions;
  QString caption;  // how the caption names the link, before its port
};

const Framing kModbusTcp{"ModbusTcp", "modbus-tcp", {"--modbus-tcp"}, "TCP 127.0.0.1:"};
const Framing kRtuOverTcp{"RtuOverTcp", "rtu-over-tcp", {}, "RTU/TCP 127.0.0.1:"};

// A port on loopback where nothing listens.
quint16 DeadPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  return server.serverPort();
}

class ToolOverNetwork : public ::testing::TestWithParam<Framing> {
 protected:
  ToolOverNetwork() { QLocale::setDefault(QLocale(QLocale::Russian)); }
  ~ToolOverNetwork() override { QLocale::setDefault(QLocale::c()); }

  void WriteIni(const QString& host, quint16 tcpPort) {
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\nLink=" +
                                    QByteArray(GetParam().link) + "\nHost=" + host.toUtf8() +
                                    "\nTcpPort=" + QByteArray::number(tcpPort) + "\n"));
  }
  bool Start() {
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    return tool->FormLoad();
  }
  MainWindow& Window() { return tool->Window(); }
  QString Text(Control c, int i = -1) { return Window().Text({c, i}); }
  QString Status() { return Text(Control::lbl_sys_mes); }
  template <class W>
  W* Find(const char* name, int index = -1) {
    for (W* w : Window().findChildren<W*>(name)) {
      if (index < 0 || w->property("index").toInt() == index) return w;
    }
    return nullptr;
  }
  bool Lit(int input) { return Find<QLabel>("lbl_eds", input)->autoFillBackground(); }
  void SetOutput(int output, bool on) {
    Find<QCheckBox>("chk_out", output)->setChecked(on);
    Find<QPushButton>("cmd_set")->click();
  }
  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
};

TEST_P(ToolOverNetwork, ShowsTheControllerAndCarriesOutItsWrites) {
  test::SimRunner sim(test::SimRunner::Tcp{}, GetParam().simOptions);
  ASSERT_NE(sim.Port(), 0) << sim.Banner().toStdString();
  WriteIni("127.0.0.1", sim.Port());
  ASSERT_TRUE(Start());
  EXPECT_TRUE(prompter.asked.empty());
  ASSERT_TRUE(WaitFor([&] { return Status() == kStatusLinkUp && Text(Control::lbl_sw_ver) != "-"; }))
      << Status().toStdString();
  EXPECT_EQ(Text(Control::lbl_sw_ver), "2 .14 ");
  EXPECT_TRUE(WaitFor([&] { return Text(Control::lbl_u, 0).endsWith(" Ом"); }));
  EXPECT_EQ(Window().windowTitle(),
            "TORVEX-CPU. Тест протокола Modbus. Порт: " + GetParam().caption +
                QString::number(sim.Port()) + "  115200,n,8,2");
  EXPECT_FALSE(port->IsOpen()) << "the serial port is let go";

  SetOutput(3, true);
  EXPECT_TRUE(WaitFor([&] { return Lit(3); }));
  EXPECT_FALSE(Lit(2));
  EXPECT_TRUE(WaitFor([&] { return Find<QLineEdit>("txt_par", 48)->text() == "7 "; }));
}

TEST_P(ToolOverNetwork, AServerThatGoesIsWaitedForAndNothingQueuedIsLost) {
  test::SimRunner sim(test::SimRunner::Tcp{}, GetParam().simOptions);
  WriteIni("127.0.0.1", sim.Port());
  ASSERT_TRUE(Start());
  ASSERT_TRUE(WaitFor([&] { return Status() == kStatusLinkUp; }));

  sim.Stop();
  ASSERT_TRUE(WaitFor([&] { return !tool->Network().IsOpen(); }));
  ASSERT_TRUE(WaitFor([&] { return Status() == kStatusNoAnswer; }));
  const QString errors = Text(Control::lbl_dbg);
  ASSERT_TRUE(WaitFor([&] { return Text(Control::lbl_dbg).toInt() >= errors.toInt() + 5; }))
      << "no answer at every tick";
  // The operator sets an output while the server is away.
  SetOutput(5, true);

  sim.Start();  // on the same port
  EXPECT_TRUE(WaitFor([&] { return tool->Network().IsOpen(); }, 2000)) << "within 2 s";
  ASSERT_TRUE(WaitFor([&] { return Status() == kStatusLinkUp; }));
  EXPECT_TRUE(WaitFor([&] { return Lit(5); })) << "the write queued meanwhile was carried out";
}

TEST_P(ToolOverNetwork, ANetworkThatCannotBeReachedIsNamedWithTheReasonAtStart) {
  struct Case {
    QString host;
    const char* reason;
  } const cases[] = {{"127.0.0.1", "соединение отвергнуто"},
                     {"no-such-host.invalid", "адрес не найден"}};
  for (const Case& c : cases) {
    const quint16 dead = DeadPort();
    WriteIni(c.host, dead);
    prompter.asked.clear();
    EXPECT_FALSE(Start()) << "Cancel ends the run";
    ASSERT_EQ(prompter.asked.size(), 1u);
    const QString hostPort = c.host + ":" + QString::number(dead);
    EXPECT_EQ(prompter.asked[0].title, "Ошибка соединения");
    const QStringList lines = prompter.asked[0].text.split("\r\n");
    ASSERT_EQ(lines.size(), 3) << prompter.asked[0].text.toStdString();
    EXPECT_EQ(lines[0], "Нет соединения с " + hostPort);
    EXPECT_TRUE(lines[1].startsWith("Сервер " + hostPort + ": " + QString::fromUtf8(c.reason)))
        << lines[1].toStdString();
    tool.reset();
  }

  // No address at all: the file's empty Host is named first, then the start-up box says so.
  WriteIni("", 15502);
  prompter.asked.clear();
  EXPECT_FALSE(Start());
  ASSERT_EQ(prompter.asked.size(), 2u);
  EXPECT_TRUE(prompter.asked[0].text.endsWith("значение Host=«» пусто: для связи " +
                                              QString(GetParam().link) +
                                              " нужен адрес шлюза; соединения не будет, пока он не задан"))
      << prompter.asked[0].text.toStdString();
  EXPECT_EQ(prompter.asked[1].text,
            "Нет соединения: адрес шлюза не задан\r\nЗначение Host в тп.ini пусто\r\nУкажите адрес в настройке");
}

// From the start-up box on, the window's caption names the link that did not open (a desktop
// shows it behind the box and the settings dialog), not the caption the window was drawn with.
TEST_P(ToolOverNetwork, AfterTheStartUpBoxTheCaptionNamesTheLinkInUse) {
  const quint16 dead = DeadPort();
  WriteIni("127.0.0.1", dead);
  const QString caption = "TORVEX-CPU. Тест протокола Modbus. Порт: " + GetParam().caption +
                          QString::number(dead) + "  115200,n,8,2";
  QString atBox;
  QString atDialog;
  prompter.answers = {Prompter::Choice::Ok};
  prompter.onAsk = [&] { atBox = Window().windowTitle(); };
  QTimer closer;  // the operator closes the settings dialog
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      atDialog = Window().windowTitle();
      dialog->close();
    }
  });
  closer.start(10);
  ASSERT_TRUE(Start());
  closer.stop();
  EXPECT_EQ(prompter.asked.at(0).title, "Ошибка соединения");
  EXPECT_EQ(atBox, caption);
  EXPECT_EQ(atDialog, caption);
  EXPECT_EQ(Window().windowTitle(), caption);
}

INSTANTIATE_TEST_SUITE_P(Sim, ToolOverNetwork, ::testing::Values(kModbusTcp, kRtuOverTcp),
                         [](const auto& row) { return std::string(row.param.name); });

// The faults of a line behind a gateway, on each framing: each is reported, and the values
// shown between them are the controller's.
TEST(ToolOverNetworkFaults, EachFaultIsReportedAndTheValuesStayTrue) {
  struct Case {
    Framing framing;
    QStringList options;
    QString status;
  } const cases[] = {
      {kModbusTcp, {"--silent-every", "3"}, kStatusNoAnswer},
      {kModbusTcp, {"--corrupt-every", "3"}, kStatusBadCrc},
      {kModbusTcp, {"--wrong-transaction-every", "3"}, kStatusNotThisAnswer},
      {kRtuOverTcp, {"--silent-every", "3"}, kStatusNoAnswer},
      {kRtuOverTcp, {"--corrupt-every", "3"}, kStatusBadCrc},
  };
  QLocale::setDefault(QLocale(QLocale::Russian));
  for (const Case& c : cases) {
    SCOPED_TRACE((c.framing.name + (" " + c.options.join(' '))).toStdString());
    test::SimRunner sim(test::SimRunner::Tcp{}, c.framing.simOptions + c.options);
    test::ProgramDir dir;
    ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\nLink=" +
                                    QByteArray(c.framing.link) + "\nHost=127.0.0.1\nTcpPort=" +
                                    QByteArray::number(sim.Port()) + "\n"));
    test::FakePrompter prompter;
    QtSerialPort port(dir.Path());
    Tool tool(dir.Path(), port, prompter);
    ASSERT_TRUE(tool.FormLoad());
    const auto status = [&] { return tool.Window().Text({Control::lbl_sys_mes}); };
    EXPECT_TRUE(WaitFor([&] { return status() == c.status; })) << status().toStdString();
    // Between faults the controller's values come through: its software version, and the
    // parameter that holds its address.
    EXPECT_TRUE(WaitFor([&] { return tool.Window().Text({Control::lbl_sw_ver}) == "2 .14 "; }));
    EXPECT_TRUE(WaitFor([&] { return tool.Window().Text({Control::txt_par, 48}) == "7 "; }));
  }
  QLocale::setDefault(QLocale::c());
}

// The tool's window over a link to the simulator started with `options`, polling every
// `period`.
struct WindowOn {
  WindowOn(const Framing& framing, const QStringList& options, std::chrono::milliseconds period = 100ms)
      : sim(test::SimRunner::Tcp{}, framing.simOptions + options) {
    QLocale::setDefault(QLocale(QLocale::Russian));
    const QByteArray periodKey =
        period == 100ms ? QByteArray() : "PollPeriodMs=" + QByteArray::number(static_cast<int>(period.count())) + "\n";
    EXPECT_TRUE(test::WriteFile(dir.Path() + "/тп.ini",
                                "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\nLink=" + QByteArray(framing.link) +
                                    "\nHost=127.0.0.1\nTcpPort=" + QByteArray::number(sim.Port()) + "\n" + periodKey));
    port = std::make_unique<QtSerialPort>(dir.Path());
    tool = std::make_unique<Tool>(dir.Path(), *port, prompter);
    started = tool->FormLoad();
  }
  ~WindowOn() { QLocale::setDefault(QLocale::c()); }
  QString Text(Control c, int i = -1) { return tool->Window().Text({c, i}); }
  QString Status() { return Text(Control::lbl_sys_mes); }
  int Errors() { return Text(Control::lbl_dbg).toInt(); }
  template <class W>
  W* Find(const char* name, int index) {
    for (W* w : tool->Window().findChildren<W*>(name)) {
      if (w->property("index").toInt() == index) return w;
    }
    return nullptr;
  }
  bool Lit(int input) { return Find<QLabel>("lbl_eds", input)->autoFillBackground(); }
  void SetOutput(int output, bool on) {
    Find<QCheckBox>("chk_out", output)->setChecked(on);
    tool->Window().findChild<QPushButton*>("cmd_set")->click();
  }

  test::SimRunner sim;
  test::ProgramDir dir;
  test::FakePrompter prompter;
  std::unique_ptr<QtSerialPort> port;
  std::unique_ptr<Tool> tool;
  bool started = false;
};

// A gateway answers exception 11 for each request the controller behind it leaves unanswered:
// the window reports no answer from behind the gateway and counts it as a failed exchange; the
// request goes again, so values still come and an output write is carried out.
TEST(ToolThroughAGateway, ItsExceptionsAreNoAnswerAndWritesAreResentUntilCarriedOut) {
  WindowOn w(kModbusTcp, {"--gateway", "--gateway-timeout-ms", "100", "--silent-every", "2"});
  ASSERT_TRUE(w.started);
  EXPECT_TRUE(WaitFor([&] { return w.Status() == kStatusGatewayNoAnswer; })) << w.Status().toStdString();
  EXPECT_TRUE(WaitFor([&] { return w.Text(Control::lbl_sw_ver) == "2 .14 "; }));
  for (const int output : {3, 4, 5, 6}) {
    w.SetOutput(output, true);
    EXPECT_TRUE(WaitFor([&] { return w.Lit(output); })) << "output " << output;
  }
  EXPECT_GT(w.Errors(), 3);
  EXPECT_FALSE(w.Status().contains("Нарушение протокола")) << "no refusal of the controller's";
  const QString summary = w.sim.Stop();
  EXPECT_TRUE(summary.contains(QRegularExpression(" [1-9][0-9]* answered by the gateway"))) << summary.toStdString();
}

// Nothing answers from behind the gateway: each exchange fails with the gateway's reason.
TEST(ToolThroughAGateway, AControllerNeverReachedIsNoAnswerWithTheGatewaysReason) {
  struct Case {
    QStringList options;
    QString status;
  } const cases[] = {{{"--gateway", "--gateway-timeout-ms", "50", "--address", "9"}, kStatusGatewayNoAnswer},
                     {{"--gateway", "--gateway-no-path", "--address", "9"}, kStatusGatewayNoPath}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.join(' ').toStdString());
    WindowOn w(kModbusTcp, c.options);
    ASSERT_TRUE(w.started);
    EXPECT_TRUE(WaitFor([&] { return w.Status() == c.status && w.Errors() >= 5; }))
        << w.Status().toStdString() << " " << w.Errors();
    EXPECT_EQ(w.Text(Control::lbl_sw_ver), "-");
  }
}

// A server that closes the connection after each answer: every answer that came before the
// close is taken, and the next request goes on a new connection, polled every tick or
// continuously, on either framing. No exchange fails (the first tick, before any request, is
// the one error).
TEST(ToolOverNetworkCloseAfterAnswer, EachAnswerIsTakenAndTheNextRequestGoesOnANewConnection) {
  for (const Framing& framing : {kModbusTcp, kRtuOverTcp}) {
    for (const auto period : {100ms, 0ms}) {
      SCOPED_TRACE(std::string(framing.name) + " " + std::to_string(period.count()));
      WindowOn w(framing, {"--close-after-answer"}, period);
      ASSERT_TRUE(w.started);
      ASSERT_TRUE(WaitFor([&] { return w.Status() == kStatusLinkUp && w.Text(Control::lbl_sw_ver) == "2 .14 "; }))
          << w.Status().toStdString();
      w.SetOutput(7, true);
      EXPECT_TRUE(WaitFor([&] { return w.Lit(7); }));
      const std::uint64_t connections = w.tool->Network().Connection();
      ASSERT_TRUE(WaitFor([&] { return w.tool->Network().Connection() >= connections + 20; }))
          << "a connection for each exchange";
      EXPECT_EQ(w.Errors(), 1) << w.Status().toStdString();
      EXPECT_EQ(w.Status(), kStatusLinkUp);
    }
  }
}

// torvex-tp --connect: the link for one run, the file left as it was.
TEST(ToolProcessOverNetwork, ConnectUsesTheLinkForTheRunAndLeavesTheFileAlone) {
  test::SimRunner sim(test::SimRunner::Tcp{}, {"--modbus-tcp"});
  test::ProgramDir dir;
  const QByteArray ini = "[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n[VEM config]\nMBSLAD=7\n";
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/тп.ini", ini));
  const QString log = dir.Path() + "/exchange.log";
  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  tool.setProcessEnvironment(env);
  tool.start(QStringLiteral(TORVEX_TP_PROGRAM),
             {"--config", dir.Path(), "--exchange-log", log, "--connect",
              "modbus-tcp://127.0.0.1:" + QString::number(sim.Port())});
  ASSERT_TRUE(tool.waitForStarted());
  // Answers in the log: requests behind an MBAP header (transaction, protocol 0) answered.
  EXPECT_TRUE(WaitFor([&] { return test::ReadFile(log).contains("\tok\t"); }))
      << test::ReadFile(log).left(600).toStdString() << tool.readAllStandardError().toStdString();
  EXPECT_TRUE(test::ReadFile(log).contains("[транзакция "));
  tool.terminate();
  tool.waitForFinished(5000);
  EXPECT_EQ(test::ReadFile(dir.Path() + "/тп.ini"), ini);
}

}  // namespace
}  // namespace torvex
