#pragma once
// Shows the exchange in the main window, the one place that turns the engine's reports into the
// window's texts: the status line with each outcome, the hidden error count, the caption with
// the port in use, and the hidden transaction code of the background poll.
#include <cstdint>

#include <QString>

#include "engine/exchange_outcome.h"
#include "view/main_view.h"

namespace torvex {

inline const QString kCaptionHead = QStringLiteral("TORVEX-CPU. Тест протокола Modbus. Порт: COM");

class ExchangePresenter {
 public:
  explicit ExchangePresenter(MainView& view) : view_(view) {}

  // Each outcome as the engine reports it, before an answer is decoded: the status line, and
  // the error count once there is one ("debug" until the first failure).
  void ShowReport(const ExchangeReport& report);
  // After every tick: the port in use in the caption, and the transaction code once the
  // background poll has written one.
  void ShowTick(int portNumber, const QString& portSettings, std::int32_t transactionCode);

 private:
  MainView& view_;
  std::int64_t shownErrors_ = 0;
  std::int32_t shownCode_ = 0;
};

}  // namespace torvex
