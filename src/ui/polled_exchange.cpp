#include "ui/polled_exchange.h"

#include <utility>

namespace torvex {

PolledExchange::PolledExchange(ByteLink& link, MainView& view, ModbusEngine::Clock clock)
    : presenter_(view), engine_(link, std::move(clock)) {
  engine_.SetPollSource([this] { return poll_.Next(); });
  engine_.SetReportHandler([this](const ExchangeReport& report) { presenter_.ShowReport(report); });
}

std::optional<ExchangeOutcome> PolledExchange::Tick(const QString& linkName,
                                                    const QString& portSettings) {
  const std::optional<ExchangeOutcome> outcome = engine_.Tick(portSettings);
  presenter_.ShowTick(linkName, portSettings, poll_.TransactionCode());
  return outcome;
}

}  // namespace torvex
