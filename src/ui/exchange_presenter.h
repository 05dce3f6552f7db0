#pragma once
// Shows the exchange in the main window, the one place that turns the engine's reports into the
// window's texts and the one writer of the status line: the exchange's words with each outcome
// (and the controller's exception code), the notes behind them after every tick, the core's
// messages; the hidden error count, the caption with the port in use, and the hidden
// transaction code of the background poll.
#include <cstdint>

#include <QString>

#include "ui/status_words.h"
#include "view/main_view.h"
#include "view/status_line.h"

namespace torvex {

// Followed by the link in use ("COM3", "TCP 192.168.0.10:502") and the mode string.
inline const QString kCaptionHead = QStringLiteral("TORVEX-CPU. Тест протокола Modbus. Порт: ");
// Behind the link's words when the valid answer was the controller's exception answer.
inline const QString kExceptionNote = QStringLiteral(" Нарушение протокола, код: ");

class ExchangePresenter : public StatusLine {
 public:
  explicit ExchangePresenter(MainView& view) : view_(view) {}

  // Each outcome as the engine reports it, before an answer is decoded: the status line, and
  // the error count once there is one ("debug" until the first failure).
  void ShowReport(const ExchangeReport& report);
  // After every tick: the link in use in the caption, and the transaction code once the
  // background poll has written one.
  void ShowTick(const QString& linkName, const QString& portSettings, std::int32_t transactionCode);
  // The caption alone, for the link in use before any tick (a start-up whose link did not
  // open).
  void ShowCaption(const QString& linkName, const QString& portSettings);
  // After every tick, behind the words the line shows (an outcome's or a message): the notes on
  // the adapter, the exchange log and the recording. A tick that waited for an answer leaves
  // the words and renews the notes.
  void SetNotes(const QString& notes);

  void ShowMessage(const QString& text) override;

 private:
  void ShowWords(const QString& words);

  MainView& view_;
  QString words_;
  QString notes_;  // behind words_ since the last tick
  std::int64_t shownErrors_ = 0;
  std::int32_t shownCode_ = 0;
};

}  // namespace torvex
