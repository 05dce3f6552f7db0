#pragma once
// The exchange as the tool runs it: the engine, the background poll it asks for a request when
// nothing waits, and the presenter that shows its reports in the window. The tool's timer
// ticks it; tests and benchmarks tick it by hand on fake or real ports.
#include <chrono>
#include <optional>

#include <QString>

#include "decode/poll_schedule.h"
#include "engine/modbus_engine.h"
#include "ui/exchange_presenter.h"
#include "view/main_view.h"

namespace torvex {

class PolledExchange {
 public:
  PolledExchange(ByteLink& link, MainView& view,
                 ModbusEngine::Clock clock = std::chrono::steady_clock::now);
  PolledExchange(const PolledExchange&) = delete;
  PolledExchange& operator=(const PolledExchange&) = delete;

  // One tick of the exchange timer: the exchange, then the caption with the link in use
  // ("COM3", LinkName) and the transaction code.
  std::optional<ExchangeOutcome> Tick(const QString& linkName, const QString& portSettings);

  ModbusEngine& Engine() { return engine_; }
  const ModbusEngine& Engine() const { return engine_; }
  const PollSchedule& Poll() const { return poll_; }
  // The status line's one writer.
  ExchangePresenter& Presenter() { return presenter_; }

 private:
  PollSchedule poll_;
  ExchangePresenter presenter_;
  ModbusEngine engine_;
};

}  // namespace torvex
