#include "ui/polled_exchange.h"

#include <utility>

namespace torvex {

PolledExchange::PolledExchange(SerialPort& port, MainView& view, ModbusEngine::Clock clock)
    : presenter_(view), engine_(port, std::move(clock)) {
  engine_.SetPollSource([this] { return poll_.Next(); });
  engine_.SetReportHandler([this](const ExchangeReport& report) { presenter_.ShowReport(report); });
}

std::optional<ExchangeOutcome> PolledExchange::Tick(int portNumber, const QString& portSettings) {
  const std::optional<ExchangeOutcome> outcome = engine_.Tick(portSettings);
  presenter_.ShowTick(portNumber, portSettings, poll_.TransactionCode());
  return outcome;
}

}  // namespace torvex
