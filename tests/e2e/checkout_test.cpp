// The bench checkout end to end: torvex-tp --checkout against torvex-sim standing on the
// standard loop-back bench, as a good unit and as faulty ones; its PDF report read back with
// pdftotext and pdfinfo, its CSV twin cell by cell; a link lost in the middle, a signal, a full
// disk; outputs put back, as another Modbus client (mbpoll) reads them afterwards.
#include <signal.h>

#include <functional>

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include "modbus/requests.h"
#include "support/file_size_limit.h"
#include "support/files.h"
#include "support/pty.h"
#include "support/raw_modbus.h"
#include "support/sim_runner.h"
#include "support/wait_for.h"

namespace torvex {
namespace {

struct ToolRun {
  int status = -1;
  QString out;
  QString err;
};

// The CSV's lines, each split into its fields (no field of these reports is quoted); the
// byte-order mark before them is taken off, as QString::fromUtf8 does.
std::vector<QStringList> CsvLines(const QString& path) {
  std::vector<QStringList> lines;
  for (const QString& line : QString::fromUtf8(test::ReadFile(path)).split(QStringLiteral("\r\n"))) {
    lines.push_back(line.split(u';'));
  }
  return lines;
}

// The value of a line "key;value" of the CSV's header block.
QString CsvValue(const QString& path, const QString& key) {
  for (const QStringList& fields : CsvLines(path)) {
    if (fields.value(0) == key) return fields.value(1);
  }
  return QStringLiteral("<no line %1>").arg(key);
}

// Holding registers as mbpoll, a Modbus TCP client of its own, reads them from slave 7.
std::vector<int> ReadWithMbpoll(quint16 port, int first, int count) {
  QProcess mbpoll;
  mbpoll.start(QStringLiteral("mbpoll"), {"-m", "tcp", "-a", "7", "-t", "4", "-0", "-1", "-r", QString::number(first),
                                          "-c", QString::number(count), "-p", QString::number(port), "127.0.0.1"});
  mbpoll.waitForFinished(30000);
  std::vector<int> registers;
  const auto values = QRegularExpression(QStringLiteral("\\[\\d+\\]:\\s+(-?\\d+)")).globalMatch(mbpoll.readAllStandardOutput());
  for (auto it = values; it.hasNext();) registers.push_back(static_cast<std::uint16_t>(it.next().captured(1).toInt()));
  return registers;
}

QString PdfText(const QString& path) {
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  pdftotext.waitForFinished(30000);
  return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

int PdfPages(const QString& path) {
  QProcess pdfinfo;
  pdfinfo.start(QStringLiteral("pdfinfo"), {path});
  pdfinfo.waitForFinished(30000);
  const QString info = QString::fromUtf8(pdfinfo.readAllStandardOutput());
  const qsizetype at = info.indexOf(QStringLiteral("Pages:"));
  return at < 0 ? 0 : info.mid(at + 6).section(u'\n', 0, 0).trimmed().toInt();
}

class Checkout : public ::testing::Test {
 protected:
  std::unique_ptr<test::SimRunner> Sim(const QStringList& faults = {}) {
    auto sim = std::make_unique<test::SimRunner>(test::SimRunner::Tcp{}, faults);
    connect = "rtu-over-tcp://127.0.0.1:" + QString::number(sim->Port());
    return sim;
  }
  QProcess* Start(const QStringList& options, std::function<void()> inChild = {}) {
    auto* tool = new QProcess;
    tool->setParent(nullptr);
    if (inChild) tool->setChildProcessModifier(inChild);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "ru_RU.UTF-8");
    tool->setProcessEnvironment(env);
    tool->start(QStringLiteral(TORVEX_TP_PROGRAM),
                QStringList{"--config", dir.Path(), "--connect", connect, "--report", Report(),
                            "--operator", "Иванов И.И."} + options);
    return tool;
  }
  ToolRun Finish(QProcess* tool) {
    EXPECT_TRUE(tool->waitForFinished(120'000));
    ToolRun run{tool->exitStatus() == QProcess::NormalExit ? tool->exitCode() : -1,
                QString::fromUtf8(tool->readAllStandardOutput()), QString::fromUtf8(tool->readAllStandardError())};
    delete tool;
    return run;
  }
  ToolRun Run(const QStringList& options, std::function<void()> inChild = {}) {
    return Finish(Start(options, std::move(inChild)));
  }
  QString Report() const { return dir.Path() + "/отчёт.pdf"; }
  QString Csv() const { return dir.Path() + "/отчёт.csv"; }
  // The verdict column of the CSV's step lines, by step number.
  std::map<int, QString> Verdicts() const {
    std::map<int, QString> verdicts;
    bool steps = false;
    for (const QStringList& fields : CsvLines(Csv())) {
      if (fields.value(0) == "№") {
        steps = true;
      } else if (steps && fields.size() == 9) {
        verdicts[fields[0].toInt()] = fields[7];
      }
    }
    return verdicts;
  }

  test::ProgramDir dir;
  QString connect;
};

TEST_F(Checkout, AGoodUnitPassesEveryStepAndGetsItsReport) {
  const auto sim = Sim();
  // Outputs on before the checkout: they must be as they were afterwards.
  test::AskSim(sim->Port(), modbus::WriteMultipleRegisters(3001, {0x0001, 0x8002}));
  const ToolRun run = Run({"--checkout", "standard", "--unit-serial", "ТВ-0421"});
  EXPECT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith("ГОДЕН: норма 90, отказ 0")) << run.out.toStdString();
  EXPECT_EQ(test::AskSim(sim->Port(), modbus::ReadHoldingRegisters(3001, 2)), (std::vector<int>{0x0001, 0x8002}));
  // Said at the start: the I1 steps switch outputs 1-16 with it.
  EXPECT_TRUE(run.err.contains("регистре 3002")) << run.err.toStdString();

  // The CSV: the header block, then one line per step with what was expected and measured,
  // each number alone in its cell.
  const std::vector<QStringList> csv = CsvLines(Csv());
  ASSERT_GT(csv.size(), 100u);
  EXPECT_EQ(csv[0], (QStringList{"Протокол проверки контроллера TORVEX-CPU", "Стандартный стенд с обратными связями"}));
  EXPECT_EQ(CsvValue(Csv(), "Оператор"), "Иванов И.И.");
  EXPECT_EQ(CsvValue(Csv(), "Заводской номер"), "ТВ-0421");
  EXPECT_EQ(CsvValue(Csv(), "Версия ПО"), "2.14");
  EXPECT_EQ(CsvValue(Csv(), "Контрольная сумма параметров").size(), 8);
  EXPECT_EQ(CsvValue(Csv(), "Выходы после проверки"), "восстановлены как были");
  EXPECT_EQ(CsvValue(Csv(), "Заключение"), "ГОДЕН");
  EXPECT_EQ(csv[18], (QStringList{"№", "Шаг", "Ожидается", "Не менее", "Не более", "Измерено", "Единица", "Результат",
                                  "Примечание"}));
  EXPECT_EQ(csv[18 + 2], (QStringList{"2", "Выход 1 вкл → вход 1 вкл", "вход 1 вкл, прочие как были", "", "",
                                      "вкл: 1", "", "норма", ""}));
  EXPECT_EQ(csv[18 + 67], (QStringList{"67", "I1 → AIN2.10 вход, 12 мА", "12", "11,9", "12,1", "12", "мА", "норма", ""}));
  // 5 V is code 2048, 5.0012 V: 25.006 mV behind the divider.
  EXPECT_EQ(csv[18 + 79],
            (QStringList{"79", "U1 → AIN2.6 вход, 5 В", "25", "24,5", "25,5", "25,006", "мВ", "норма", ""}));
  const auto verdicts = Verdicts();
  ASSERT_EQ(verdicts.size(), 90u);
  for (const auto& [number, verdict] : verdicts) EXPECT_EQ(verdict, "норма") << number;

  // The PDF: the report's pages and the parameters' appendix, with the same words.
  EXPECT_GE(PdfPages(Report()), 3);
  const QString text = PdfText(Report());
  for (const char* words : {"Протокол проверки контроллера TORVEX-CPU", "Иванов И.И.", "Заключение: ГОДЕН",
                            "Проверку провёл", "Приложение. Параметры контроллера", "Адрес Modbus",
                            "Выход 32 вкл → вход 32 вкл", "ТВ-0421", "лист 1 из "}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(words))) << words;
  }
}

TEST_F(Checkout, EachFaultOfAUnitFailsExactlyItsSteps) {
  const auto sim = Sim({"--stuck-input", "7", "--short-inputs", "4,5", "--analog-error", "2:5"});
  const ToolRun run = Run({"--checkout", "standard"});
  EXPECT_EQ(run.status, 1) << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith("НЕ ГОДЕН: норма 82, отказ 8")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("отказ: 14. Выход 7 вкл → вход 7 вкл: все откл (вход 7 не включился за 500 мс)"))
      << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("вместе с ним изменился вход 5 (замыкание?)"));
  std::set<int> failed;
  for (const auto& [number, verdict] : Verdicts()) {
    if (verdict != "норма") failed.insert(number);
  }
  // Outputs 4 and 5, on and off; output 7 on; the three points of I2.
  EXPECT_EQ(failed, (std::set<int>{8, 9, 10, 11, 14, 69, 70, 71}));
  EXPECT_TRUE(PdfText(Report()).contains("Заключение: НЕ ГОДЕН"));
}

TEST_F(Checkout, AChannelOfAnotherTypeFailsAsNotSetUp) {
  const auto sim = Sim();
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/plan.txt",
                              "[plan]\ntitle = Один канал\n[analog]\noutput = I1\nvalue = AIN1.0 вход\n"
                              "type = 5\npoints = 12 > 12\ntolerance = 0.1\n"
                              "[reading]\nvalue = Гребной вал\nmin = 0\nmax = 0\n"));
  const ToolRun run = Run({"--checkout", dir.Path() + "/plan.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.contains("канал не настроен: нужен тип 5 - 4-20 мА")) << run.out.toStdString();
  EXPECT_EQ(Verdicts().size(), 2u);
}

TEST_F(Checkout, ALostLinkLeavesTheRestNotDoneAndTheOutputsGoBackWhenItReturns) {
  auto sim = Sim();
  QProcess* tool = Start({"--checkout", "standard"});
  QTest::qWait(3000);  // well into the discrete steps
  sim->Kill();
  QTest::qWait(2500);  // long enough to count as lost
  sim->Start();
  const ToolRun run = Finish(tool);
  EXPECT_EQ(run.status, 2) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("не завершена: связь с контроллером потеряна")) << run.out.toStdString();
  const auto verdicts = Verdicts();
  EXPECT_EQ(verdicts.at(90), "не выполнен");
  EXPECT_EQ(verdicts.at(1), "норма");
  for (const auto& [number, verdict] : verdicts) EXPECT_NE(verdict, "отказ") << number;
  EXPECT_EQ(CsvValue(Csv(), "Выходы после проверки"), "восстановлены как были");
  // Nothing failed: a unit checked only in part is not called unfit.
  EXPECT_EQ(CsvValue(Csv(), "Заключение"), "НЕ ПРОВЕРЕН");
}

// What cannot be carried out is status 2 and still reported; a controller never reached is
// neither fit nor unfit, and nothing is said of its outputs.
TEST_F(Checkout, WhatCannotRunIsStatusTwoAndReportedAsNotChecked) {
  const auto sim = Sim();
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/bad.txt", "[discrete]\npairs = 1-33 > 1-33\n"));
  const struct {
    const char* why;
    QString plan;
    QString link;
    const char* says;
  } cases[] = {
      {"a refused plan", dir.Path() + "/bad.txt", connect, ", строка 2: «1-33» не номер 1-32"},
      {"no link", "standard", "rtu-over-tcp://127.0.0.1:1", "Нет соединения"},
  };
  for (const auto& c : cases) {
    connect = c.link;
    const ToolRun run = Run({"--checkout", c.plan});
    EXPECT_EQ(run.status, 2) << c.why;
    EXPECT_TRUE(run.err.contains(c.says)) << c.why << ": " << run.err.toStdString();
    EXPECT_TRUE(CsvValue(Csv(), "Проверка").startsWith("не проведена: ")) << c.why;
    EXPECT_EQ(CsvValue(Csv(), "Заключение"), "НЕ ПРОВЕРЕН") << c.why;
    EXPECT_EQ(CsvValue(Csv(), "Выходы после проверки"), "") << c.why;
    const QString text = PdfText(Report());
    EXPECT_TRUE(text.contains("Заключение: НЕ ПРОВЕРЕН")) << c.why;
    EXPECT_FALSE(text.contains("НЕ ГОДЕН")) << c.why;
    EXPECT_FALSE(text.contains("Выходы после проверки")) << c.why;
  }
  EXPECT_EQ(CsvValue(Csv(), "Проверка"), "не проведена: нет связи с контроллером");
  EXPECT_EQ(Run({"--checkout", "standard", "--scan"}).status, 2);
}

// Ctrl+C or SIGTERM in the middle: the run stops at once, the outputs go back, the report says
// so, and the exit status is 2. The simulator speaks Modbus TCP, so that mbpoll reads the
// outputs afterwards as a client of its own.
class CheckoutSignal : public Checkout, public ::testing::WithParamInterface<int> {};

TEST_P(CheckoutSignal, StopsPutsTheOutputsBackAndReports) {
  const auto sim = std::make_unique<test::SimRunner>(test::SimRunner::Tcp{}, QStringList{"--modbus-tcp", "--trace"});
  connect = "modbus-tcp://127.0.0.1:" + QString::number(sim->Port());
  // Discrete outputs 2, 16 and 17, I2 at 8 mA, U1 at 5 V: as the operator left them.
  const std::vector<int> before{0x0001, 0x8002, 0x4000, 0, 0, 0x0800, 0, 0, 0};
  QProcess write;
  write.start("mbpoll", {"-m", "tcp", "-a", "7", "-t", "4", "-0", "-1", "-r", "3001", "-p",
                         QString::number(sim->Port()), "127.0.0.1", "1", "32770", "16384", "0", "0", "2048", "0", "0",
                         "0"});
  ASSERT_TRUE(write.waitForFinished(30000));
  ASSERT_EQ(ReadWithMbpoll(sim->Port(), 3001, 9), before);

  QProcess* tool = Start({"--checkout", "standard"});
  // The run sets I2 (register 3003): the discrete outputs and I1 are the run's already.
  ASSERT_TRUE(test::WaitFor([&] { return sim->Trace().contains("07 10 0B BB 00 01 02"); }, 90000));
  ::kill(static_cast<pid_t>(tool->processId()), GetParam());
  const ToolRun run = Finish(tool);
  EXPECT_EQ(run.status, 2) << run.out.toStdString() << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith("НЕ ПРОВЕРЕН: норма ")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("остановлена оператором")) << run.out.toStdString();
  EXPECT_EQ(ReadWithMbpoll(sim->Port(), 3001, 9), before);

  EXPECT_EQ(CsvValue(Csv(), "Проверка"), "остановлена оператором");
  EXPECT_EQ(CsvValue(Csv(), "Выходы после проверки"), "восстановлены как были");
  EXPECT_EQ(Verdicts().at(90), "пропущен");
  EXPECT_EQ(Verdicts().at(2), "норма");
  EXPECT_TRUE(PdfText(Report()).contains("остановлена оператором"));
}

INSTANTIATE_TEST_SUITE_P(Signals, CheckoutSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& tested) {
                           return std::string(tested.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

// A report that cannot be written (a full disk) is said with its reason, the old one stays,
// and the exit status is not that of a checkout carried out.
TEST_F(Checkout, AReportOnAFullDiskIsNotWrittenAndSaysWhy) {
  const auto sim = Sim();
  ASSERT_TRUE(test::WriteFile(dir.Path() + "/plan.txt", "[reading]\nvalue = Температура\nmin = 10\nmax = 40\n"));
  ASSERT_TRUE(test::WriteFile(Report(), "the report before"));
  const ToolRun run = Run({"--checkout", dir.Path() + "/plan.txt"}, [] { test::FileSizeLimit::SetInChild(16384); });
  EXPECT_EQ(run.status, 2) << run.out.toStdString();
  EXPECT_TRUE(run.out.startsWith("ГОДЕН")) << run.out.toStdString();
  EXPECT_TRUE(run.err.contains(QStringLiteral("Отчёт «%1» не записан: ").arg(Report()))) << run.err.toStdString();
  EXPECT_EQ(test::ReadFile(Report()), "the report before");
}

}  // namespace
}  // namespace torvex
