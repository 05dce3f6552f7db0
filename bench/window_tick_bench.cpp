// Cost of one exchange tick of the running tool: the answer taken from the port, checked,
// decoded into the real main window, and the next request sent; with "painted:1" also the
// repaint that the event loop does next. The answers are the simulated controller's, at
// successive moments, so the window changes from tick to tick as it does on a bench.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM names another.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "decode/register_map.h"
#include "modbus/adu.h"
#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "params/param_blocks.h"
#include "sim/controller.h"
#include "view/prompter.h"
#include "ui/tool.h"

namespace torvex {
namespace {

using Frame = std::vector<std::uint8_t>;

constexpr std::uint8_t kSlave = 7;
constexpr std::uint64_t kSeed = 1234;
constexpr int kAnswerKinds = 50;  // different answers cycled through, 20 s of plant time
const Frame kNothing;

// The port of the tool: a tick reads the answer offered to it; the request written is kept.
class BenchPort : public SerialPort {
 public:
  void SetSettings(const QString&) override {}
  void SetCommPort(int) override {}
  void Open() override {}
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Write(std::span<const std::uint8_t> bytes) override {
    request.assign(bytes.begin(), bytes.end());
  }
  int BytesWaiting() override {
    return answer_ ? static_cast<int>(answer_->size() - next_) : 0;
  }
  std::uint8_t ReadByte() override { return (*answer_)[next_++]; }
  // Long ago: the line is always quiet when the tick comes.
  std::optional<std::chrono::steady_clock::time_point> LastArrival() const override {
    return std::chrono::steady_clock::time_point{};
  }

  void Offer(const Frame& answer) {
    answer_ = &answer;
    next_ = 0;
  }

  Frame request;

 private:
  const Frame* answer_ = nullptr;
  std::size_t next_ = 0;
};

class NoPrompter : public Prompter {
 public:
  Choice OkCancel(const QString&, const QString&) override { return Choice::Cancel; }
  Choice RetryCancel(const QString&, const QString&) override { return Choice::Cancel; }
};

Frame WithCrc(Frame frame) {
  modbus::AppendCrc(frame);
  return frame;
}

Frame ReadRequest(const reg::Block& block) {
  return modbus::Adu(kSlave, modbus::ReadHoldingRegisters(static_cast<std::uint16_t>(block.start),
                                                          static_cast<std::uint16_t>(block.count)))
      .Bytes();
}

// The tool after its start-up against the simulated controller: the window shown, the
// three parameter reads answered (so the boxes hold the controller's sensor types), then
// background polling. The exchange timer is stopped: the benchmark ticks by hand.
class StartedTool {
 public:
  StartedTool() : controller_(sim::Eeprom::Defaults(), sim::Plant(kSeed, false), kSlave) {
    QFile ini(dir_.filePath(QStringLiteral("тп.ini")));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[PC config]\r\nCOM=1\r\nCOMSettings=115200,n,8,2\r\n") < 0) {
      Fail("cannot write the tool's тп.ini");
    }
    ini.close();
    tool_ = std::make_unique<Tool>(dir_.path(), port_, prompter_);
    if (!tool_->FormLoad()) Fail("the tool's start-up failed");
    tool_->Timer1().stop();
    Frame answer;
    for (std::int64_t tMs = 0; tMs < 1000; tMs += 100) {
      Tick();
      answer = controller_.Handle(port_.request, tMs).answer;
      port_.Offer(answer);
    }
    Tick();
    port_.Offer(kNothing);  // keeps no pointer to the local frame
    if (Text(Control::txt_par, 8) != QStringLiteral("2 ")) {
      Fail("the parameter boxes do not hold the controller's sensor types");
    }
    QCoreApplication::processEvents();  // the window's first painting, whole
  }

  void Tick() { tool_->Exchange().Tick(LinkName(tool_->Config().Link(), tool_->Config().PortNumber()), tool_->Config().PortSettings()); }

  Frame Answer(const Frame& request, std::int64_t tMs) {
    return controller_.Handle(request, tMs).answer;
  }
  // Answers of the controller to `request` at successive moments `stepMs` apart.
  std::vector<Frame> Answers(const Frame& request, std::int64_t stepMs) {
    std::vector<Frame> answers;
    for (int k = 0; k < kAnswerKinds; ++k) answers.push_back(Answer(request, 1000 + k * stepMs));
    return answers;
  }

  QString Text(Control control, int index = -1) { return tool_->Window().Text({control, index}); }
  BenchPort& Port() { return port_; }
  Tool& Get() { return *tool_; }

  static void Fail(const char* why) {
    std::fprintf(stderr, "bench_window: %s\n", why);
    std::exit(1);
  }

 private:
  QTemporaryDir dir_;
  BenchPort port_;
  NoPrompter prompter_;
  sim::Controller controller_;
  std::unique_ptr<Tool> tool_;
};

// Ticks through `answers` in turn, each the answer of `request`, which goes out at every tick
// (an answer is taken only by the request it answers); with painting, the event loop repaints
// what changed.
void RunTicks(benchmark::State& state, StartedTool& tool, const Frame& request,
              const std::vector<Frame>& answers) {
  const bool painted = state.range(0) != 0;
  const modbus::Pdu pdu = modbus::Pdu::FromBytes(std::span(request).subspan(1, request.size() - 3));
  tool.Get().Engine().QueueRequest(pdu);
  const Frame pollAnswer = tool.Answer(tool.Port().request, 1000);
  tool.Port().Offer(pollAnswer);
  tool.Tick();  // the poll on the line is answered; the request leaves
  const std::int64_t errorsBefore = tool.Get().Engine().ExchangeErrors();
  std::size_t next = 0;
  for (auto _ : state) {
    tool.Get().Engine().QueueRequest(pdu);
    tool.Port().Offer(answers[next]);
    next = next + 1 == answers.size() ? 0 : next + 1;
    tool.Tick();
    if (painted) QCoreApplication::processEvents();
  }
  tool.Port().Offer(kNothing);
  if (tool.Get().Engine().ExchangeErrors() != errorsBefore) {
    state.SkipWithError("a tick did not take its answer as valid");
  }
}

// The status block (185 bytes, byte count 180) in the measuring-channel view.
void BM_StatusAnswerTick(benchmark::State& state) {
  StartedTool tool;
  const std::vector<Frame> answers = tool.Answers(ReadRequest(reg::kStatusBlock), 400);
  if (answers.front().size() != 185 || answers.front()[2] != 180) {
    state.SkipWithError("the status answer is not 185 bytes with byte count 180");
    return;
  }
  RunTicks(state, tool, ReadRequest(reg::kStatusBlock), answers);
  if (!tool.Text(Control::lbl_u, 0).endsWith(QStringLiteral(" Ом"))) {
    state.SkipWithError("the status answer did not reach the analog grid");
  }
}

// The converter block (133 bytes, 64 readings) in the converter view.
void BM_ConverterAnswerTick(benchmark::State& state) {
  StartedTool tool;
  tool.Get().Window().SetChecked({Control::opt_view, 0}, true);
  const std::vector<Frame> answers = tool.Answers(ReadRequest(reg::kAdcBlock), 400);
  RunTicks(state, tool, ReadRequest(reg::kAdcBlock), answers);
  if (tool.Text(Control::lbl_u, 63) == QStringLiteral("-")) {
    state.SkipWithError("the converter answer did not reach the analog grid");
  }
}

// The largest block of the parameter read (function 100), alternating between two stored
// images so that every box changes, as at the first read after start.
void BM_ParamAnswerTick(benchmark::State& state) {
  StartedTool tool;
  const ParamBlock block = ParamBlocks(tool.Get().Params().Table(), BlockUse::Read).front();
  const std::uint16_t address = tool.Get().Params().Table()[block.first].address;
  const Frame request =
      modbus::Adu(kSlave, modbus::ReadEeprom(address, static_cast<std::uint8_t>(block.bytes))).Bytes();
  const Frame stored = tool.Answer(request, 1000);
  Frame changed(stored.begin(), stored.end() - 2);
  for (std::size_t i = 6; i < changed.size(); i += 2) ++changed[i];  // low byte of each word
  const std::vector<Frame> answers{stored, WithCrc(changed)};
  RunTicks(state, tool, request, answers);
  if (tool.Text(Control::txt_par, block.first) == QStringLiteral("-")) {
    state.SkipWithError("the parameter answer did not reach the boxes");
  }
}

void Options(benchmark::internal::Benchmark* b) {
  b->ArgName("painted")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_StatusAnswerTick)->Apply(Options);
BENCHMARK(BM_ConverterAnswerTick)->Apply(Options);
BENCHMARK(BM_ParamAnswerTick)->Apply(Options);

// The offscreen platform says at every window it shows that it keeps no size hints.
QtMessageHandler qtHandler = nullptr;
void DropSizeHintNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains(QLatin1String("propagateSizeHints"))) return;
  qtHandler(type, context, text);
}

}  // namespace
}  // namespace torvex

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  torvex::qtHandler = qInstallMessageHandler(torvex::DropSizeHintNotes);
  QApplication app(argc, argv);
  // As under a Russian locale: decimal commas, no thousands groups.
  QLocale locale(QLocale::Russian);
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  QLocale::setDefault(locale);

  // Ten runs of each and their median, mean and spread, unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  const bool repetitionsGiven = std::any_of(args.begin(), args.end(), [](const char* a) {
    return std::strncmp(a, "--benchmark_repetitions", 23) == 0;
  });
  char repetitions[] = "--benchmark_repetitions=10";
  char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
  if (!repetitionsGiven) args.insert(args.begin() + 1, {repetitions, aggregatesOnly});
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
