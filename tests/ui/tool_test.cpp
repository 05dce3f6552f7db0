// The start-up sequence of the tool with a fake port and scripted message boxes.
#include "ui/tool.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "decode/answer_frames.h"
#include "record/sample_from_answer.h"
#include "support/fake_prompter.h"
#include "support/fake_serial_port.h"
#include "support/files.h"
#include "support/status_texts.h"
#include "ui/command_line.h"

namespace torvex {
namespace {

using test::kStatusNoAnswer;

class ToolStartUp : public ::testing::Test {
 protected:
  void WriteIni(const char* text) { ASSERT_TRUE(test::WriteFile(dir.filePath("тп.ini"), text)); }
  MainWindow& Window() { return tool.Window(); }

  QTemporaryDir dir;
  test::FakeSerialPort port;
  test::FakePrompter prompter;
  Tool tool{dir.path(), port, prompter};
};

TEST_F(ToolStartUp, OpensThePortQueuesTheParameterReadsAndStartsTheTimerLast) {
  WriteIni("[PC config]\nCOM=4\nCOMSettings=115200,n,8,2\n");
  port.open = false;
  ASSERT_TRUE(tool.FormLoad());

  EXPECT_TRUE(prompter.asked.empty());
  EXPECT_EQ(port.settings, "115200,n,8,2");
  EXPECT_EQ(port.portNumber, 4);
  EXPECT_TRUE(port.open);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_TRUE(tool.Timer1().isActive());
  EXPECT_EQ(tool.Timer1().interval(), 100);
  EXPECT_TRUE(port.written.empty()) << "nothing is sent before the first tick";

  EXPECT_EQ(Window().SlaveAddress(), 7);
  EXPECT_TRUE(Window().IsChecked({Control::opt_view, 1}));
  EXPECT_EQ(Window().Text({Control::frm_ain}), "Аналоговые входы");
  EXPECT_EQ(Window().Text({Control::lbl_row, 2}), "AIN1. Вход  ");
  EXPECT_EQ(Window().findChildren<QLabel*>("lbl_eds").size(), 32);
  EXPECT_EQ(Window().Text({Control::chk_out, 31}), "32");

  // The three parameter reads wait at the head of the queue, before any poll.
  const RequestQueue& queue = tool.Engine().Queue();
  ASSERT_EQ(queue.PendingCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(queue.Slot(i).Function(), 100);

  tool.Timer1_Tick();
  EXPECT_EQ(port.written.at(0), (std::vector<std::uint8_t>{7, 0x64, 0, 0, 0x28, 0x8E, 0xEE}));
  EXPECT_EQ(Window().windowTitle(), "TORVEX-CPU. Тест протокола Modbus. Порт: COM4  115200,n,8,2");
}

TEST_F(ToolStartUp, AFailedOpeningAsksAndCancelEndsWithoutAWindow) {
  struct Case {
    PortError::Kind kind;
    QString text;
  };
  const Case cases[] = {
      {PortError::Kind::InvalidValue, "Некорректные настройки порта COM\r\nИзмените настройки"},
      {PortError::Kind::InUse, "Порт COM3 занят другим приложением\r\nВыберите другой порт"},
      {PortError::Kind::Unavailable, "Порт COM3 не доступен\r\nВыберите другой порт"},
  };
  WriteIni("[PC config]\nCOM=3\nCOMSettings=9600,n,8,2\n");
  for (const Case& c : cases) {
    test::FakeSerialPort failing;
    failing.openError = c.kind;
    test::FakePrompter asked;
    asked.answers = {Prompter::Choice::Cancel};
    Tool start(dir.path(), failing, asked);
    EXPECT_FALSE(start.FormLoad());
    ASSERT_EQ(asked.asked.size(), 1u);
    EXPECT_EQ(asked.asked[0].title, "Ошибка открытия порта");
    EXPECT_EQ(asked.asked[0].text, c.text);
    EXPECT_FALSE(start.Window().isVisible());
    EXPECT_FALSE(start.Timer1().isActive());
  }
}

TEST(PortErrorMessage, ASecondLineNamesTheDeviceAndTheReason) {
  using Reason = PortFault::Reason;
  const auto fault = [](Reason reason) {
    PortFault f;
    f.reason = reason;
    f.device = "/dev/ttyUSB0";
    return f;
  };
  PortFault noRights = fault(Reason::NoPermission);
  noRights.group = "dialout";
  PortFault gone = fault(Reason::NoSuchDevice);
  gone.device = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  PortFault mode = fault(Reason::ModeRefused);
  mode.mode = "256000,m,8,1";
  PortFault held = fault(Reason::InUse);
  held.pid = 4242;
  held.program = "minicom";
  PortFault rootOnly = fault(Reason::NoPermission);
  rootOnly.owner = "root:root";
  rootOnly.permissions = "rw-------";
  PortFault stale = fault(Reason::StaleLock);
  stale.lockFile = "/var/lock/LCK..ttyUSB0";
  stale.pid = 4242;
  PortFault other = fault(Reason::Other);
  other.systemText = "ошибка ввода-вывода";
  struct Case {
    PortError::Kind kind;
    PortFault fault;
    QString text;
  } const cases[] = {
      {PortError::Kind::Unavailable, noRights,
       "Порт COM3 не доступен\r\nУстройство /dev/ttyUSB0: нет прав доступа; пользователь должен "
       "входить в группу dialout (sudo usermod -aG dialout $USER, затем войти в систему заново)\r\n"
       "Выберите другой порт"},
      {PortError::Kind::Unavailable, rootOnly,
       "Порт COM3 не доступен\r\nУстройство /dev/ttyUSB0: нет прав доступа (владелец и группа "
       "root:root, права rw-------); вступление в группу не поможет: доступ к устройству "
       "открывает администратор (правилом udev или chmod)\r\nВыберите другой порт"},
      {PortError::Kind::Unavailable, gone,
       "Порт COM3 не доступен\r\nУстройство "
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 не найдено: адаптер не "
       "подключён или порт не привязан\r\nВыберите другой порт"},
      {PortError::Kind::Unavailable, fault(Reason::NotASerialPort),
       "Порт COM3 не доступен\r\nУстройство /dev/ttyUSB0 не является последовательным "
       "портом\r\nВыберите другой порт"},
      {PortError::Kind::InvalidValue, mode,
       "Некорректные настройки порта COM\r\nУстройство /dev/ttyUSB0 не принимает режим "
       "256000,m,8,1\r\nИзмените настройки"},
      {PortError::Kind::InUse, held,
       "Порт COM3 занят другим приложением\r\nУстройство /dev/ttyUSB0 занято процессом 4242 "
       "(minicom)\r\nВыберите другой порт"},
      {PortError::Kind::InUse, fault(Reason::InUse),
       "Порт COM3 занят другим приложением\r\nУстройство /dev/ttyUSB0 занято другой "
       "программой\r\nВыберите другой порт"},
      {PortError::Kind::Unavailable, stale,
       "Порт COM3 не доступен\r\nУстройство /dev/ttyUSB0 заперто файлом блокировки "
       "/var/lock/LCK..ttyUSB0, который оставил завершившийся процесс 4242; удалите этот файл "
       "(sudo rm /var/lock/LCK..ttyUSB0)\r\nВыберите другой порт"},
      {PortError::Kind::InUse, fault(Reason::Claimed),
       "Порт COM3 занят другим приложением\r\nУстройство /dev/ttyUSB0 занято монопольно "
       "(TIOCEXCL), но держащий его процесс не виден: это процесс другого пользователя, или "
       "захват остался от аварийно завершённой программы (тогда переподключите адаптер)\r\n"
       "Выберите другой порт"},
      {PortError::Kind::Unavailable, other,
       "Порт COM3 не доступен\r\nУстройство /dev/ttyUSB0: ошибка ввода-вывода\r\nВыберите "
       "другой порт"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortErrorMessage(PortError(c.kind, "", c.fault), 3), c.text);
  }
}

// The parameters are read on this path too, once a port works: without their sensor types the
// channels could not be shown or recorded.
TEST_F(ToolStartUp, OkLeadsThroughTheDialogIntoTheRunningStateAndTheParametersAreReadOnceAPortWorks) {
  WriteIni("[PC config]\nCOM=3\nCOMSettings=9600,n,8,2\n");
  port.open = false;
  port.openError = PortError::Kind::Unavailable;
  prompter.answers = {Prompter::Choice::Ok};
  // Close the settings dialog as soon as it shows, as an operator's close box would.
  QTimer closer;
  bool dialogSeen = false;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      dialogSeen = dialog->objectName() == "wndSetCOM";
      dialog->close();
    }
  });
  closer.start(10);
  ASSERT_TRUE(tool.FormLoad());
  closer.stop();

  EXPECT_TRUE(dialogSeen);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_TRUE(tool.Timer1().isActive());
  EXPECT_EQ(tool.Engine().Queue().PendingCount(), 3) << "the parameter reads wait for a port";
  tool.Timer1_Tick();
  EXPECT_TRUE(port.written.empty());

  // The operator opens a port later (the dialog from the menu): the reads go first.
  port.openError.reset();
  port.Open();
  tool.Timer1_Tick();
  ASSERT_EQ(port.written.size(), 1u);
  EXPECT_EQ(port.written[0], (std::vector<std::uint8_t>{7, 0x64, 0, 0, 0x28, 0x8E, 0xEE}));
}

// A log that cannot be written is said in the status line after every tick while it lasts;
// the exchange goes on.
TEST_F(ToolStartUp, AnUnwritableExchangeLogIsReportedAndTheExchangeGoesOn) {
  WriteIni("[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n");
  tool.OpenExchangeLog("/dev/full");
  ASSERT_TRUE(tool.FormLoad());
  std::chrono::steady_clock::time_point now{};
  tool.Engine().SetClock([&now] { return now; });
  for (int i = 0; i < 3; ++i) {
    now += std::chrono::milliseconds(100);  // each tick judges the exchange of the one before
    QMetaObject::invokeMethod(&tool.Timer1(), "timeout");
  }
  EXPECT_EQ(Window().Text({Control::lbl_sys_mes}), kStatusNoAnswer + kStatusLogFailingNote);
  EXPECT_EQ(port.written.size(), 3u);
  EXPECT_EQ(tool.Trace().Counters().requests, 3u);
}

// The files this process writes may grow to `bytes` and no further, as on a full disk: a
// write that goes past is cut short, the next one fails (EFBIG).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int);
};

class ToolRecording : public ToolStartUp {
 protected:
  void SetUp() override {
    WriteIni("[PC config]\nCOM=1\nCOMSettings=115200,n,8,2\n");
    ASSERT_TRUE(tool.FormLoad());
    tool.Engine().SetClock([this] { return now_; });
  }
  void Tick() {
    now_ += std::chrono::milliseconds(100);  // each tick judges the exchange of the one before
    QMetaObject::invokeMethod(&tool.Timer1(), "timeout");
  }
  QString Status() { return Window().Text({Control::lbl_sys_mes}); }
  // What the tool does with every answer it decodes.
  void Record(const RxAnswer& answer) {
    tool.Recording().Add(*record::SampleFromAnswer(answer, ChannelTypes{}, 0));
  }

  std::chrono::steady_clock::time_point now_{};
};

// An unattended recording never replaces a file: it goes into a free numbered name, said on
// standard error and in the status line after every tick while it runs.
TEST_F(ToolRecording, AnExistingFileIsKeptAndTheNewNameSaid) {
  const QString asked = dir.filePath("run.csv");
  ASSERT_TRUE(test::WriteFile(asked, "122 rows"));
  testing::internal::CaptureStderr();
  ASSERT_TRUE(tool.RecordingMenu().StartRecording(asked, record::ExistingFile::kKeep));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(tool.Recording().FileName(), dir.filePath("run-2.csv"));
  EXPECT_EQ(test::ReadFile(asked), "122 rows");
  EXPECT_NE(err.find((asked + " exists and is kept; recording into " + dir.filePath("run-2.csv")).toStdString()),
            std::string::npos)
      << err;
  const QString note = " Запись в файл run-2.csv (run.csv уже есть)";
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(Status(), kStatusNoAnswer + note);
  tool.RecordingMenu().StopRecording();
  Tick();
  EXPECT_EQ(Status(), kStatusNoAnswer);
}

// A recording that a full file stops is said in the status line after every tick, with the
// reason, until a recording starts again; the file keeps whole rows only.
TEST_F(ToolRecording, ARecordingStoppedByAFullFileIsSaidInTheStatusLine) {
  const QString path = dir.filePath("run.csv");
  ASSERT_TRUE(tool.RecordingMenu().StartRecording(path));
  const std::vector<int> status(90, 0);
  Record(test::ReadAnswer(status, 180).Answer());
  const QByteArray whole = test::ReadFile(path);
  {
    FileSizeLimit full(static_cast<rlim_t>(whole.size() + 100));  // the next row fits in part
    Record(test::ReadAnswer(status, 180).Answer());
  }
  EXPECT_FALSE(tool.Recording().Running());
  EXPECT_EQ(test::ReadFile(path), whole);
  const auto boxes = Window().findChildren<QMessageBox*>("msg_record");
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes.front()->text(),
            "Запись в файл " + path + " остановлена: файл превысил допустимый размер");

  const QString note = " Запись в файл остановлена: файл превысил допустимый размер";
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(Status(), kStatusNoAnswer + note);
  ASSERT_TRUE(tool.RecordingMenu().StartRecording(dir.filePath("again.csv")));
  Tick();
  EXPECT_EQ(Status(), kStatusNoAnswer);
}

TEST(CommandLine, TakesHelpVersionMonitorAndTheExchangeLog) {
  const QString program = QStringLiteral("torvex-tp");
  CommandLine none = ParseCommandLine({program});
  EXPECT_TRUE(none.error.isEmpty());
  EXPECT_FALSE(none.help || none.version || none.monitor);
  EXPECT_TRUE(none.exchangeLog.isEmpty());
  EXPECT_TRUE(none.helpText.contains("--exchange-log <FILE>"));

  EXPECT_TRUE(ParseCommandLine({program, "--help"}).help);
  EXPECT_TRUE(ParseCommandLine({program, "-v"}).version);
  EXPECT_TRUE(ParseCommandLine({program, "--monitor"}).monitor);
  const CommandLine log = ParseCommandLine({program, "--exchange-log", "/tmp/x.log"});
  EXPECT_EQ(log.exchangeLog, "/tmp/x.log");
  EXPECT_TRUE(QFileInfo(ParseCommandLine({program, "--exchange-log=rel.log"}).exchangeLog).isAbsolute());
  for (const QStringList& bad : {QStringList{program, "--exchange-log"}, QStringList{program, "--bogus"},
                                 QStringList{program, "extra"}, QStringList{program, "--exchange-log="}}) {
    EXPECT_FALSE(ParseCommandLine(bad).error.isEmpty()) << bad.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace torvex
