#include "ui/exchange_presenter.h"

namespace torvex {

void ExchangePresenter::ShowReport(const ExchangeReport& report) {
  QString words = StatusLineText(report.outcome, report.pending);
  if (report.exception) words += kExceptionNote + QString::number(*report.exception);
  ShowWords(words);
  if (report.errors != shownErrors_) {
    shownErrors_ = report.errors;
    view_.SetText({Control::lbl_dbg}, QString::number(report.errors));
  }
}

void ExchangePresenter::ShowTick(const QString& linkName, const QString& portSettings,
                                 std::int32_t transactionCode) {
  ShowCaption(linkName, portSettings);
  if (transactionCode != shownCode_) {
    shownCode_ = transactionCode;
    view_.SetText({Control::lbl_tr_id}, QString::number(transactionCode));
  }
}

void ExchangePresenter::ShowCaption(const QString& linkName, const QString& portSettings) {
  view_.SetCaption(kCaptionHead + linkName + QStringLiteral("  ") + portSettings);
}

void ExchangePresenter::SetNotes(const QString& notes) {
  if (notes == notes_) return;
  notes_ = notes;
  view_.SetText({Control::lbl_sys_mes}, words_ + notes_);
}

void ExchangePresenter::ShowMessage(const QString& text) {
  ShowWords(text);
  view_.RepaintNow({Control::lbl_sys_mes});
}

// New words stand alone until the tick's notes follow them.
void ExchangePresenter::ShowWords(const QString& words) {
  words_ = words;
  notes_.clear();
  view_.SetText({Control::lbl_sys_mes}, words_);
}

}  // namespace torvex
