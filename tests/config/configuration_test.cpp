#include "config/configuration.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/child_process.h"
#include "support/fake_prompter.h"
#include "support/files.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

using Choice = Prompter::Choice;

// Remembers what the status line showed each time it was painted at once.
class PaintingView : public test::FakeView {
 public:
  void RepaintNow(ControlRef c) override {
    if (c == ControlRef{Control::lbl_sys_mes}) painted.push_back(Text(c));
  }
  QString Status() const { return Text({Control::lbl_sys_mes}); }
  std::vector<QString> painted;
};

class ConfigurationTest : public ::testing::Test {
 protected:
  void Put(const QByteArray& bytes) { ASSERT_TRUE(test::WriteFile(path, bytes)); }
  QByteArray Contents() const { return test::ReadFile(path); }

  QTemporaryDir dir;
  QString path = IniPathIn(dir.path());
  PaintingView view;
  test::FakePrompter prompter;
  Configuration config{path, view, view, prompter};
};

TEST_F(ConfigurationTest, TheFirstStartWritesTheFileFromWhatItHas) {
  view.slaveAddress = -1;  // the address list is not filled yet
  config.LoadConfig();

  EXPECT_EQ(Contents(),
            "[PC config]\n"
            "COM=1\n"
            "COMSettings=\n"
            "[VEM config]\n"
            "MBSLAD=-1\n");
  EXPECT_EQ(config.PortNumber(), 1);
  EXPECT_EQ(config.PortSettings(), "");
  EXPECT_EQ(view.painted, (std::vector<QString>{kStatusSavingConfig, "", ""}));
  EXPECT_TRUE(prompter.asked.empty());

  // The empty mode string reads back empty: the default is for a missing key only.
  config.SetPortSettings("stale");
  config.LoadConfig();
  EXPECT_EQ(config.PortSettings(), "");
}

TEST_F(ConfigurationTest, ASaveWritesTheThreeKeysAndLoadReadsTwoBack) {
  config.SetPortNumber(12);
  config.SetPortSettings("115200,n,8,2");
  view.slaveAddress = 7;
  config.SaveConfig();

  EXPECT_EQ(Contents(),
            "[PC config]\n"
            "COM=12\n"
            "COMSettings=115200,n,8,2\n"
            "[VEM config]\n"
            "MBSLAD=7\n");
  EXPECT_EQ(view.painted, (std::vector<QString>{kStatusSavingConfig, ""}));

  Configuration next{path, view, view, prompter};
  view.painted.clear();
  next.LoadConfig();
  EXPECT_EQ(next.PortNumber(), 12);
  EXPECT_EQ(next.PortSettings(), "115200,n,8,2");
  EXPECT_EQ(view.painted, (std::vector<QString>{kStatusReadingConfig, ""}));
}

TEST_F(ConfigurationTest, MissingKeysTakeTheirDefaults) {
  Put("[PC config]\n");
  config.SetPortNumber(9);
  config.LoadConfig();
  EXPECT_EQ(config.PortNumber(), 1);
  EXPECT_EQ(config.PortSettings(), "9600,n,8,2");
  EXPECT_EQ(Contents(), "[PC config]\n") << "loading writes nothing to an existing file";
}

TEST_F(ConfigurationTest, ThePortNumberIsAWholeNumberThatFitsAByte) {
  struct Case {
    const char* value;
    int expected;  // -1: the read-failure box
  } const cases[] = {
      {"3", 3},  {"0", 0},     {"255", 255}, {"2.5", 2},   {"3.5", 4},  {"254.5", 254},
      {"1e1", 10}, {"abc", -1}, {"", -1},     {"300", -1},  {"-1", -1},  {"255.5", -1},
      {"3,5", -1}, {"3x", -1},  {"nan", -1},  {"inf", -1},
      {"\"3\"", 3}, {"'12'", 12}, {"\"\"", -1}, {"\"3", -1},  // quotes as the profile service reads them
  };
  for (const Case& c : cases) {
    Put(QByteArray("[PC config]\nCOM=") + c.value + "\nCOMSettings=19200,e,8,1\n");
    prompter.asked.clear();
    config.SetPortSettings("earlier");
    config.LoadConfig();
    if (c.expected >= 0) {
      EXPECT_EQ(config.PortNumber(), c.expected) << c.value;
      EXPECT_EQ(config.PortSettings(), "19200,e,8,1") << c.value;
      EXPECT_TRUE(prompter.asked.empty()) << c.value;
    } else {
      ASSERT_EQ(prompter.asked.size(), 1u) << c.value;
      EXPECT_EQ(prompter.asked[0].title, "Ошибка открытия файла ");
      EXPECT_TRUE(prompter.asked[0].text.startsWith("Ошибка открытия файла тп.ini для чтения\r\n" +
                                                     path + ": значение COM=«"))
          << prompter.asked[0].text.toStdString();
      EXPECT_EQ(config.PortNumber(), 1) << c.value;
      EXPECT_EQ(config.PortSettings(), "earlier") << c.value;
      EXPECT_EQ(view.Status(), kStatusReadingConfig) << "a cancelled read leaves its text";
    }
  }
}

TEST_F(ConfigurationTest, RetryReadsTheFileAgain) {
  Put("[PC config]\nCOM=300\n");
  prompter.answers = {Choice::Retry, Choice::Retry, Choice::Cancel};
  config.LoadConfig();
  EXPECT_EQ(prompter.asked.size(), 3u) << "the same value fails at every retry";
  EXPECT_EQ(config.PortNumber(), 1);

  // The operator corrects the file while the box is up.
  prompter.asked.clear();
  prompter.answers = {Choice::Retry};
  prompter.onAsk = [&] { Put("[PC config]\nCOM=3\n"); };
  config.LoadConfig();
  EXPECT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(config.PortNumber(), 3);
  EXPECT_EQ(view.Status(), "");
}

TEST_F(ConfigurationTest, SavedValuesStayOnOneLineAndReadBackCut) {
  config.SetPortSettings("9600,n,8,2\r\n" + QString(300, u'x'));
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("\nCOMSettings=9600,n,8,2  xxx"));
  EXPECT_EQ(Contents().count('\n'), 5) << "no line more than the file's five";

  config.LoadConfig();
  EXPECT_EQ(config.PortSettings(), ("9600,n,8,2  " + QString(300, u'x')).left(254));
}

TEST_F(ConfigurationTest, AHandEditedFileSurvivesASave) {
  Put("; bench 4\n"
      "\n"
      "[Operator]\n"
      "Name=Иванов\n"
      "[pc config]\n"
      "com=5\n"
      "comsettings=19200,e,8,1\n"
      "; the slave\n"
      "[vem CONFIG]\n"
      "mbslad=3\n"
      "Extra=keep\n");
  config.LoadConfig();
  EXPECT_EQ(config.PortNumber(), 5);
  EXPECT_EQ(config.PortSettings(), "19200,e,8,1");

  config.SetPortNumber(2);
  view.slaveAddress = 7;
  config.SaveConfig();
  EXPECT_EQ(Contents(),
            "; bench 4\n"
            "\n"
            "[Operator]\n"
            "Name=Иванов\n"
            "[pc config]\n"
            "com=2\n"
            "comsettings=19200,e,8,1\n"
            "; the slave\n"
            "[vem CONFIG]\n"
            "mbslad=7\n"
            "Extra=keep\n");
}

TEST_F(ConfigurationTest, EchoIsOneInThePcSectionAndAbsentMeansOff) {
  struct Case {
    QByteArray line;
    bool echo;
  } const cases[] = {{"", false}, {"Echo=1\n", true}, {"echo=\"1\"\n", true},
                     {"Echo=0\n", false}, {"Echo=yes\n", false}};
  for (const Case& c : cases) {
    Put("[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\n" + c.line);
    config.SetEcho(!c.echo);
    config.LoadConfig();
    EXPECT_EQ(config.Echo(), c.echo) << c.line.toStdString();
    EXPECT_TRUE(prompter.asked.empty()) << "never a read error";
  }

  // A file of a tool without an echoing adapter keeps its three keys; turning echo on and off
  // again leaves it saying 0.
  Put("[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\n");
  config.SetEcho(false);
  config.SaveConfig();
  EXPECT_FALSE(Contents().contains("Echo"));
  config.SetEcho(true);
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\nEcho=1\n"));
  config.SetEcho(false);
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("\nEcho=0\n"));
}

TEST_F(ConfigurationTest, AFileThatCannotBeUsedIsReportedAndKept) {
  const QByteArray binary("[PC config]\nCOM=3\n\0garbage", 26);
  Put(binary);
  config.SetPortSettings("9600,n,8,2");
  config.LoadConfig();
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(prompter.asked[0].text, kIniReadError + path + ": это не текстовый файл");
  EXPECT_EQ(config.PortNumber(), 1);

  // Writing gives up at the first key on Cancel; Retry tries that key again.
  prompter.asked.clear();
  prompter.answers = {Choice::Retry, Choice::Cancel};
  config.SaveConfig();
  ASSERT_EQ(prompter.asked.size(), 2u);
  EXPECT_EQ(prompter.asked[0].title, "Ошибка открытия файла ");
  EXPECT_EQ(prompter.asked[0].text,
            "Ошибка открытия файла тп.ini для записи\r\n" + path + ": это не текстовый файл");
  EXPECT_EQ(view.Status(), "");
  EXPECT_EQ(Contents(), binary);
}

// Every message of the file keeps its first line and names the file and the reason below it:
// a folder that is a file (--config given a file), a folder without write rights, a folder in
// place of the file, a "COM" value that is no port number.
TEST_F(ConfigurationTest, AFileThatCannotBeUsedIsNamedWithTheReason) {
  const QString plain = dir.filePath("plain");
  ASSERT_TRUE(test::WriteFile(plain, "not a folder"));
  const QString locked = dir.filePath("locked");
  ASSERT_TRUE(QDir().mkdir(locked));
  ASSERT_TRUE(QDir().mkdir(dir.filePath("folder")));
  ASSERT_TRUE(QDir().mkdir(dir.filePath("folder/" + kIniFileName)));
  ASSERT_TRUE(QDir().mkdir(dir.filePath("bad")));
  ASSERT_TRUE(test::WriteFile(dir.filePath("bad/" + kIniFileName), "[PC config]\nCOM=abc\n"));
  // nobody may look into the test's folder and its folders, not write into them.
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0555), 0);

  struct Case {
    const char* what;
    QString folder;
    bool load;  // LoadConfig, else SaveConfig
    QString text;
  } const cases[] = {
      {"a file given as the folder", plain, false,
       kIniWriteError + "\r\n" + plain + "/тп.ini: " + plain + " не является папкой"},
      {"a folder without write rights", locked, false,
       kIniWriteError + "\r\n" + locked + "/тп.ini: нет прав на запись в папку " + locked},
      {"a folder in place of the file, saving", dir.filePath("folder"), false,
       kIniWriteError + "\r\n" + dir.filePath("folder/тп.ini") + ": это папка, а не файл"},
      {"a folder in place of the file, loading", dir.filePath("folder"), true,
       kIniReadError + dir.filePath("folder/тп.ini") + ": это папка, а не файл"},
      {"a port number that is none", dir.filePath("bad"), true,
       kIniReadError + dir.filePath("bad/тп.ini") +
           ": значение COM=«abc» не является номером порта 0-255"},
  };
  for (const Case& c : cases) {
    // As nobody, since root may write into any folder.
    const int verdict = test::RunInChild(
        [&] {
          test::FakePrompter asked;
          Configuration other(IniPathIn(c.folder), view, view, asked);
          if (c.load) {
            other.LoadConfig();
          } else {
            other.SaveConfig();
          }
          if (asked.asked.size() != 1) return 1;
          if (asked.asked[0].title != kIniErrorTitle) return 2;
          if (asked.asked[0].text != c.text) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(asked.asked[0].text));
            return 3;
          }
          return 0;
        },
        /*asOtherUser=*/true);
    EXPECT_EQ(verdict, 0) << c.what;
  }
}

}  // namespace
}  // namespace torvex

namespace torvex {
namespace {

TEST_F(ConfigurationTest, TheLinkAndTheResponseTimeoutAreReadWithTheirDefaults) {
  using namespace std::chrono_literals;
  struct Case {
    QByteArray lines;
    LinkChoice link;
    std::optional<std::chrono::milliseconds> timeout;
  } const cases[] = {
      {"", {}, std::nullopt},
      {"Link=modbus-tcp\nHost=10.0.0.5\n", {LinkKind::kModbusTcp, "10.0.0.5", 502}, std::nullopt},
      {"Link=RTU-over-TCP\nHost= gw \n", {LinkKind::kRtuOverTcp, "gw", 4001}, std::nullopt},
      {"Link=modbus-tcp\nHost=gw\nTcpPort=1502\nResponseTimeoutMs=300\n",
       {LinkKind::kModbusTcp, "gw", 1502}, 300ms},
      // Nonsense falls back to the defaults, never to a half-read link.
      {"Link=carrier-pigeon\nTcpPort=99999\nResponseTimeoutMs=-5\n", {LinkKind::kSerial, "", 502},
       std::nullopt},
      {"ResponseTimeoutMs=0\n", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    Put("[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\n" + c.lines);
    config.LoadConfig();
    EXPECT_EQ(config.Link(), c.link) << c.lines.toStdString();
    EXPECT_EQ(config.ResponseTimeout(), c.timeout) << c.lines.toStdString();
  }
}

TEST_F(ConfigurationTest, NewKeysAreWrittenOnlyWhenNotTheirDefaultOrAlreadyThere) {
  using namespace std::chrono_literals;
  const QByteArray plain = "[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\n";
  Put(plain);
  config.LoadConfig();
  config.SaveConfig();
  for (const char* key : {"Link", "Host", "TcpPort", "ResponseTimeoutMs"}) {
    EXPECT_FALSE(Contents().contains(key)) << key;
  }

  config.SetLink({LinkKind::kModbusTcp, "192.168.0.10", 502});
  config.SetResponseTimeout(250ms);
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("Link=modbus-tcp\nHost=192.168.0.10\nResponseTimeoutMs=250\n"))
      << Contents().toStdString();
  EXPECT_FALSE(Contents().contains("TcpPort")) << "502 is Modbus TCP's own";

  // Back to the serial port: the keys in the file say so, the server's address is kept.
  config.SetLink({LinkKind::kSerial, "192.168.0.10", 502});
  config.SetResponseTimeout(std::nullopt);
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("Link=serial\nHost=192.168.0.10\nResponseTimeoutMs=0\n"))
      << Contents().toStdString();
  config.LoadConfig();
  EXPECT_EQ(config.Link(), (LinkChoice{LinkKind::kSerial, "192.168.0.10", 502}));
  EXPECT_EQ(config.ResponseTimeout(), std::nullopt);
}

TEST_F(ConfigurationTest, ALinkForTheRunStandsInForTheFilesAndIsNeverWritten) {
  const QByteArray file = "[PC config]\nCOM=4\nCOMSettings=9600,n,8,2\n";
  Put(file);
  const LinkChoice run{LinkKind::kRtuOverTcp, "127.0.0.1", 4001};
  config.SetRunLink(run, std::nullopt);
  config.LoadConfig();
  EXPECT_EQ(config.Link(), run);
  EXPECT_EQ(config.PortNumber(), 4);
  EXPECT_EQ(Contents(), file);

  config.SetRunLink({}, 9);  // --connect COM9
  config.LoadConfig();
  EXPECT_EQ(config.Link(), LinkChoice{});
  EXPECT_EQ(config.PortNumber(), 9);
  EXPECT_EQ(Contents(), file);

  // With no file yet, the one written holds the defaults, not the run's link.
  QFile::remove(path);
  config.SetRunLink(run, std::nullopt);
  config.LoadConfig();
  EXPECT_EQ(config.Link(), run);
  EXPECT_FALSE(Contents().contains("Link")) << Contents().toStdString();
}

// A value that means nothing is named, with its key and what is used in its place, in the box of
// a file that cannot be read; Cancel goes on with it, and the file stays as it was.
TEST_F(ConfigurationTest, AValueThatMeansNothingIsNamedWithWhatIsUsedInstead) {
  using namespace std::chrono_literals;
  const QString pollNote =
      "значение PollPeriodMs=«%1» не является периодом опроса (0 или 10-1000 мс): используется 100";
  const struct Case {
    QByteArray lines;
    QString says;
    LinkChoice link;
    std::chrono::milliseconds period = 100ms;
  } cases[] = {
      {"Link=foo\n",
       "значение Link=«foo» не является способом связи (serial, rtu-over-tcp или modbus-tcp): "
       "используется serial (COM-порт)",
       {}},
      {"Link=modbus-tcp\nHost=gw\nTcpPort=abc\n",
       "значение TcpPort=«abc» не является портом TCP 1-65535: используется 502",
       {LinkKind::kModbusTcp, "gw", 502}},
      {"Link=rtu-over-tcp\nHost=gw\nTcpPort=70000\n",
       "значение TcpPort=«70000» не является портом TCP 1-65535: используется 4001",
       {LinkKind::kRtuOverTcp, "gw", 4001}},
      {"Link=modbus-tcp\nHost=\nTcpPort=15502\n",
       "значение Host=«» пусто: для связи modbus-tcp нужен адрес шлюза; соединения не будет, пока он "
       "не задан",
       {LinkKind::kModbusTcp, "", 15502}},
      {"PollPeriodMs=5\n", pollNote.arg("5"), {}},
      {"PollPeriodMs=abc\n", pollNote.arg("abc"), {}},
      {"ResponseTimeoutMs=-5\nPollPeriodMs=0\n",
       "значение ResponseTimeoutMs=«-5» не является ожиданием ответа (0 или 1-60000 мс): "
       "используется автоматическое ожидание",
       {},
       0ms},
      {"PollPeriodMs=9\nLink=pigeon\n",
       "значение Link=«pigeon» не является способом связи (serial, rtu-over-tcp или modbus-tcp): "
       "используется serial (COM-порт)\r\n" + pollNote.arg("9"),
       {}},
  };
  for (const Case& c : cases) {
    const QByteArray file = "[PC config]\nCOM=3\nCOMSettings=9600,n,8,2\n" + c.lines;
    Put(file);
    prompter.asked.clear();
    config.LoadConfig();
    ASSERT_EQ(prompter.asked.size(), 1u) << c.lines.toStdString();
    EXPECT_EQ(prompter.asked[0].title, kIniErrorTitle);
    EXPECT_EQ(prompter.asked[0].text, kIniReadError + path + ": " + c.says);
    EXPECT_EQ(config.Link(), c.link) << c.lines.toStdString();
    EXPECT_EQ(config.PollPeriod(), c.period) << c.lines.toStdString();
    EXPECT_EQ(config.PortNumber(), 3) << "the rest of the file is read";
    EXPECT_EQ(config.PortSettings(), "9600,n,8,2");
    EXPECT_EQ(view.Status(), "");
    EXPECT_EQ(Contents(), file);
  }

  // Retry reads the file again, corrected meanwhile.
  Put("[PC config]\nCOM=3\nPollPeriodMs=5\n");
  prompter.asked.clear();
  prompter.answers = {Choice::Retry};
  prompter.onAsk = [&] { Put("[PC config]\nCOM=3\nPollPeriodMs=50\n"); };
  config.LoadConfig();
  EXPECT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(config.PollPeriod(), 50ms);
}

// The run's own link (--connect) is used whatever the file says of its link, so there is
// nothing to say about that; and it stands in also when the file's COM is refused.
TEST_F(ConfigurationTest, TheRunsLinkStandsInAlsoWhenTheFileIsRefused) {
  const LinkChoice run{LinkKind::kModbusTcp, "127.0.0.1", 1502};
  config.SetRunLink(run, std::nullopt);
  Put("[PC config]\nCOM=1\nLink=foo\nTcpPort=abc\n");
  config.LoadConfig();
  EXPECT_TRUE(prompter.asked.empty()) << prompter.asked[0].text.toStdString();
  EXPECT_EQ(config.Link(), run);

  Put("[PC config]\nCOM=abc\n");
  config.LoadConfig();
  ASSERT_EQ(prompter.asked.size(), 1u);
  EXPECT_EQ(config.Link(), run);
}

TEST_F(ConfigurationTest, ThePollPeriodIsZeroOrTenToAThousandAndElseTheDefault) {
  using namespace std::chrono_literals;
  struct Case {
    const char* line;
    std::chrono::milliseconds period;
  } const cases[] = {
      {"", 100ms},
      {"PollPeriodMs=0\n", 0ms},
      {"PollPeriodMs=10\n", 10ms},
      {"PollPeriodMs= 250 \n", 250ms},
      {"PollPeriodMs=1000\n", 1000ms},
      {"PollPeriodMs=9\n", 100ms},
      {"PollPeriodMs=1\n", 100ms},
      {"PollPeriodMs=1001\n", 100ms},
      {"PollPeriodMs=-20\n", 100ms},
      {"PollPeriodMs=50ms\n", 100ms},
      {"PollPeriodMs=fast\n", 100ms},
      {"PollPeriodMs=\n", 100ms},
  };
  config.SetPollPeriod(20ms);  // what an earlier reading left is no fallback
  for (const Case& c : cases) {
    Put(QByteArray("[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\n") + c.line);
    config.LoadConfig();
    EXPECT_EQ(config.PollPeriod(), c.period) << c.line;
  }
}

TEST_F(ConfigurationTest, ThePollPeriodIsWrittenWhenNotTheDefaultOrAlreadyThere) {
  using namespace std::chrono_literals;
  Put("[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\n");
  config.LoadConfig();
  config.SaveConfig();
  EXPECT_FALSE(Contents().contains("PollPeriodMs")) << Contents().toStdString();

  config.SetPollPeriod(0ms);
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("\nPollPeriodMs=0\n")) << Contents().toStdString();
  config.LoadConfig();
  EXPECT_EQ(config.PollPeriod(), 0ms);

  // Back to the default: the key stays, saying so.
  config.SetPollPeriod(100ms);
  config.SaveConfig();
  EXPECT_TRUE(Contents().contains("\nPollPeriodMs=100\n")) << Contents().toStdString();
}

TEST_F(ConfigurationTest, APollPeriodForTheRunStandsInUntilTheOperatorChoosesOne) {
  using namespace std::chrono_literals;
  const QByteArray file = "[PC config]\nCOM=1\nCOMSettings=9600,n,8,2\nPollPeriodMs=200\n";
  Put(file);
  config.SetRunPollPeriod(0ms);
  EXPECT_EQ(config.PollPeriod(), 0ms);
  config.LoadConfig();
  config.LoadConfig();  // a failed reopening reads the file again
  EXPECT_EQ(config.PollPeriod(), 0ms);
  EXPECT_EQ(Contents(), file);
  config.SaveConfig();  // the file's period is saved, never the run's, which gives way
  EXPECT_TRUE(Contents().contains("\nPollPeriodMs=200\n")) << Contents().toStdString();
  EXPECT_EQ(config.PollPeriod(), 200ms);

  // With no file yet, the one written holds the default, not the run's period.
  QFile::remove(path);
  Configuration fresh{path, view, view, prompter};
  fresh.SetRunPollPeriod(20ms);
  fresh.LoadConfig();
  EXPECT_EQ(fresh.PollPeriod(), 20ms);
  EXPECT_FALSE(Contents().contains("PollPeriodMs")) << Contents().toStdString();

  // The dialog's OK: the operator's period is saved and the run's is gone.
  fresh.SetPollPeriod(50ms);
  EXPECT_EQ(fresh.PollPeriod(), 50ms);
  fresh.SaveConfig();
  fresh.LoadConfig();
  EXPECT_EQ(fresh.PollPeriod(), 50ms);
  EXPECT_TRUE(Contents().contains("\nPollPeriodMs=50\n")) << Contents().toStdString();
}

TEST(ConnectArgument, NamesANetworkLinkOrASerialPort) {
  struct Case {
    const char* text;
    std::optional<LinkChoice> link;
    std::optional<std::uint8_t> com;
  } const cases[] = {
      {"modbus-tcp://192.168.0.10:1502", LinkChoice{LinkKind::kModbusTcp, "192.168.0.10", 1502},
       std::nullopt},
      {"modbus-tcp://plc.local", LinkChoice{LinkKind::kModbusTcp, "plc.local", 502}, std::nullopt},
      {"rtu-over-tcp://10.1.1.2", LinkChoice{LinkKind::kRtuOverTcp, "10.1.1.2", 4001}, std::nullopt},
      {"rtu-over-tcp://[::1]:4002", LinkChoice{LinkKind::kRtuOverTcp, "::1", 4002}, std::nullopt},
      {"COM3", LinkChoice{}, 3},
      {"com255", LinkChoice{}, 255},
      {"COM0", std::nullopt, std::nullopt},
      {"COM256", std::nullopt, std::nullopt},
      {"serial://COM1", std::nullopt, std::nullopt},
      {"http://10.0.0.1", std::nullopt, std::nullopt},
      {"modbus-tcp://", std::nullopt, std::nullopt},
      {"modbus-tcp://host:0", std::nullopt, std::nullopt},
      {"modbus-tcp://host:70000", std::nullopt, std::nullopt},
      {"modbus-tcp://host/path", std::nullopt, std::nullopt},
      {"10.0.0.1:502", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const ConnectParse parsed = ParseConnectArgument(QString::fromLatin1(c.text));
    ASSERT_EQ(parsed.argument.has_value(), c.link.has_value()) << c.text;
    if (!c.link) {
      EXPECT_TRUE(parsed.error.contains(QString::fromLatin1(c.text))) << c.text;
      continue;
    }
    EXPECT_EQ(parsed.argument->link, *c.link) << c.text;
    EXPECT_EQ(parsed.argument->comPort, c.com) << c.text;
  }
  EXPECT_EQ(LinkName({LinkKind::kModbusTcp, "192.168.0.10", 502}, 1), "TCP 192.168.0.10:502");
  EXPECT_EQ(LinkName({LinkKind::kRtuOverTcp, "::1", 4001}, 1), "RTU/TCP [::1]:4001");
  EXPECT_EQ(LinkName({}, 7), "COM7");
}

}  // namespace
}  // namespace torvex
