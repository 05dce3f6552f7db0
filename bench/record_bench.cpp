// Cost of recording and of the trends' history: a value sample made from an answer, a row
// written to a CSV file, a simulated day of answers kept in the history (time and memory),
// and the trends window's query of 16 channels over that day. The answers are the simulated
// controller's, at successive moments.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "decode/register_map.h"
#include "modbus/adu.h"
#include "modbus/requests.h"
#include "record/csv_recorder.h"
#include "record/history.h"
#include "record/sample_from_answer.h"
#include "sim/controller.h"

namespace torvex {
namespace {

using Frame = std::vector<std::uint8_t>;

constexpr std::uint8_t kSlave = 7;
constexpr int kAnswerKinds = 50;
constexpr std::int64_t kPollMs = 400;
constexpr std::int64_t kStart = 1'800'000'000'000;

// Sensor types of every kind, as a commissioning bench has them.
ChannelTypes BenchTypes() {
  ChannelTypes types{};
  for (int c = 0; c < kAnalogChannels; ++c) {
    const int box = c < 16 ? 8 + c : 16 + c;
    types.at(static_cast<std::size_t>(c)) = static_cast<SensorType>(box % 5 + 1);
  }
  return types;
}

struct Answer {
  RxBuffer cells{};
  int count = 0;
  modbus::Pdu request;
  RxAnswer Get() const { return {cells, count, request}; }
};

std::vector<Answer> Answers(const reg::Block& block) {
  sim::Controller controller(sim::Eeprom::Defaults(), sim::Plant(1234, false), kSlave);
  const Frame request =
      modbus::Adu(kSlave, modbus::ReadHoldingRegisters(static_cast<std::uint16_t>(block.start),
                                                       static_cast<std::uint16_t>(block.count)))
          .Bytes();
  std::vector<Answer> answers(kAnswerKinds);
  for (int k = 0; k < kAnswerKinds; ++k) {
    const Frame frame = controller.Handle(request, 1000 + k * kPollMs).answer;
    for (std::size_t i = 0; i < frame.size(); ++i) answers[k].cells[i] = frame[i];
    answers[k].count = static_cast<int>(frame.size());
    answers[k].request = modbus::ReadHoldingRegisters(static_cast<std::uint16_t>(block.start),
                                                      static_cast<std::uint16_t>(block.count));
  }
  return answers;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// A sample from a status answer, as the decoder callback makes it.
void BM_SampleFromStatusAnswer(benchmark::State& state) {
  const auto answers = Answers(reg::kStatusBlock);
  const ChannelTypes types = BenchTypes();
  std::size_t next = 0;
  for (auto _ : state) {
    auto sample = record::SampleFromAnswer(answers[next].Get(), types, kStart);
    benchmark::DoNotOptimize(sample);
    next = (next + 1) % answers.size();
  }
}
BENCHMARK(BM_SampleFromStatusAnswer);

// One row written through to a file: range(0) 1 for status answers, 0 for converter ones.
void BM_RecordRow(benchmark::State& state) {
  const bool status = state.range(0) != 0;
  const auto answers = Answers(status ? reg::kStatusBlock : reg::kAdcBlock);
  const ChannelTypes types = BenchTypes();
  std::vector<record::Sample> samples;
  for (const Answer& a : answers) samples.push_back(*record::SampleFromAnswer(a.Get(), types, kStart));
  QTemporaryDir dir;
  record::CsvRecorder recorder;
  if (!recorder.Start(dir.filePath(QStringLiteral("bench.csv")))) {
    state.SkipWithError("cannot write the file");
    return;
  }
  std::size_t next = 0;
  for (auto _ : state) {
    recorder.Add(samples[next]);
    next = (next + 1) % samples.size();
  }
  if (!recorder.Recording()) state.SkipWithError("the recording stopped");
}
BENCHMARK(BM_RecordRow)->ArgName("status")->Arg(1)->Arg(0);

// A day at the background poll's rate: a status and a converter answer every 0.4 s (or every
// `pollMs`), each made into a sample and kept. Reports the memory the history then holds.
std::unique_ptr<record::History> Day(const ChannelTypes& types, std::int64_t pollMs = kPollMs) {
  const auto status = Answers(reg::kStatusBlock);
  const auto converter = Answers(reg::kAdcBlock);
  auto history = std::make_unique<record::History>();
  const auto answers = static_cast<std::size_t>(24 * 3600 * 1000 / pollMs);
  for (std::size_t i = 0; i < answers; ++i) {
    const std::int64_t t = kStart + static_cast<std::int64_t>(i) * pollMs;
    history->Add(*record::SampleFromAnswer(converter[i % kAnswerKinds].Get(), types, t));
    history->Add(*record::SampleFromAnswer(status[i % kAnswerKinds].Get(), types, t + pollMs / 2));
  }
  return history;
}

void BM_SimulatedDayInHistory(benchmark::State& state) {
  const ChannelTypes types = BenchTypes();
  for (auto _ : state) {
    const long before = ResidentKb();
    auto history = Day(types);
    state.counters["MB"] = static_cast<double>(ResidentKb() - before) / 1024.0;
    state.counters["samples"] = static_cast<double>(history->Size());
  }
}
BENCHMARK(BM_SimulatedDayInHistory)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same day polled continuously at 115200 baud: each block every 53 ms. Every sample of the
// last minutes is kept and the older ones thinned, within the same memory.
void BM_SimulatedFastDayInHistory(benchmark::State& state) {
  const ChannelTypes types = BenchTypes();
  for (auto _ : state) {
    const long before = ResidentKb();
    auto history = Day(types, 53);
    state.counters["MB"] = static_cast<double>(ResidentKb() - before) / 1024.0;
    state.counters["samples"] = static_cast<double>(history->Size());
    state.counters["hours"] =
        static_cast<double>(history->LastTime() - history->FirstTime()) / 3'600'000.0;
  }
}
BENCHMARK(BM_SimulatedFastDayInHistory)->Unit(benchmark::kMillisecond)->Iterations(1);

// What the trends window asks at each refresh: 16 AIN1 sensor values over a span of the day,
// thinned to 2 points per pixel of a 1000-pixel plot. range(0): the span in minutes (0 all).
void BM_TrendsQuery16Channels(benchmark::State& state) {
  const ChannelTypes types = BenchTypes();
  static const auto history = Day(types);
  const std::int64_t to = history->LastTime();
  const std::int64_t from = state.range(0) > 0 ? to - state.range(0) * 60'000 : history->FirstTime();
  std::vector<record::Quantity> channels;
  for (int c = 0; c < 16; ++c) channels.push_back({record::Measure::kSensor, c});
  for (auto _ : state) {
    std::size_t points = 0;
    for (const auto& runs : history->Series(channels, from, to, 2000)) {
      for (const auto& run : runs) points += run.values.size();
    }
    benchmark::DoNotOptimize(points);
  }
}
BENCHMARK(BM_TrendsQuery16Channels)->ArgName("minutes")->Arg(1)->Arg(10)->Arg(60)->Arg(0)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace torvex

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::Russian));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
