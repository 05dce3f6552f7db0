// Cost of the exchange tick without decoding, and of the CRC over the longest answer.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "engine/modbus_engine.h"
#include "engine/rx_crc.h"
#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "monitor/exchange_trace.h"
#include "view/null_view.h"
#include "platform/serial_port.h"
#include "ui/polled_exchange.h"

namespace torvex {
namespace {


// A port that offers the same answer to every tick and swallows what is written. The answer
// arrived long ago: the line is quiet when the tick comes.
class ReplayPort : public SerialPort {
 public:
  explicit ReplayPort(std::vector<std::uint8_t> answer) : answer_(std::move(answer)) {}
  void SetSettings(const QString&) override {}
  void SetCommPort(int) override {}
  void Open() override {}
  void Close() override {}
  bool IsOpen() const override { return true; }
  void Write(std::span<const std::uint8_t> bytes) override { written_ += bytes.size(); }
  int BytesWaiting() override { return static_cast<int>(answer_.size() - next_); }
  std::uint8_t ReadByte() override { return answer_[next_++]; }
  // Long ago: the line is always quiet when the tick comes.
  std::optional<std::chrono::steady_clock::time_point> LastArrival() const override {
    return std::chrono::steady_clock::time_point{};
  }
  void Rewind() { next_ = 0; }

 private:
  std::vector<std::uint8_t> answer_;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
};

const modbus::Pdu kStatusRead = modbus::ReadHoldingRegisters(3000, 90);

std::vector<std::uint8_t> StatusAnswer() {
  std::vector<std::uint8_t> frame{0x07, 0x03, 180};
  for (int i = 0; i < 180; ++i) frame.push_back(static_cast<std::uint8_t>(i * 7));
  modbus::AppendCrc(frame);
  return frame;  // 185 bytes
}

// The status read and its 185-byte answer, every tick, with or without an observer: the answer
// is taken only by the request it answers, so the status read goes out each tick.
void TickWithStatusAnswer(benchmark::State& state, ExchangeObserver* observer) {
  ReplayPort port(StatusAnswer());
  NullView view;
  // As the tool ticks it: the exchange, and its report shown in a window.
  PolledExchange exchange(port, view);
  ModbusEngine& engine = exchange.Engine();
  engine.SetObserver(observer);
  const QString settings = QStringLiteral("115200,n,8,2");
  engine.QueueRequest(kStatusRead);
  exchange.Tick(QStringLiteral("COM1"), settings);  // the first request leaves
  for (auto _ : state) {
    engine.QueueRequest(kStatusRead);
    port.Rewind();
    exchange.Tick(QStringLiteral("COM1"), settings);
  }
  if (engine.RxCount() != 185) state.SkipWithError("answer not received");
}

void BM_TickWithStatusAnswer(benchmark::State& state) { TickWithStatusAnswer(state, nullptr); }
BENCHMARK(BM_TickWithStatusAnswer);

// The same tick with the exchange monitor's trace observing: both frames kept in its ring.
void BM_TickWithStatusAnswerRecorded(benchmark::State& state) {
  ExchangeTrace trace;
  TickWithStatusAnswer(state, &trace);
  if (trace.Counters().answers == 0) state.SkipWithError("nothing recorded");
}
BENCHMARK(BM_TickWithStatusAnswerRecorded);

void BM_RxCrcOver260Bytes(benchmark::State& state) {
  RxBuffer rx{};
  for (int i = 0; i < 260; ++i) rx[i] = (i * 31) & 0xFF;
  for (auto _ : state) benchmark::DoNotOptimize(RxCrc(rx, 259));
}
BENCHMARK(BM_RxCrcOver260Bytes);

}  // namespace
}  // namespace torvex

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
