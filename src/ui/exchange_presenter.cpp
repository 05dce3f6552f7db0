#include "ui/exchange_presenter.h"

namespace torvex {

void ExchangePresenter::ShowReport(const ExchangeReport& report) {
  view_.SetText({Control::lbl_sys_mes}, StatusLineText(report.outcome, report.pending));
  if (report.errors != shownErrors_) {
    shownErrors_ = report.errors;
    view_.SetText({Control::lbl_dbg}, QString::number(report.errors));
  }
}

void ExchangePresenter::ShowTick(int portNumber, const QString& portSettings,
                                 std::int32_t transactionCode) {
  view_.SetCaption(kCaptionHead + QString::number(portNumber) + QStringLiteral("  ") + portSettings);
  if (transactionCode != shownCode_) {
    shownCode_ = transactionCode;
    view_.SetText({Control::lbl_tr_id}, QString::number(transactionCode));
  }
}

}  // namespace torvex
