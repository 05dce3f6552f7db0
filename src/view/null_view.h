#pragma once
// A window that shows nothing and answers every question with nothing: for the core without a
// window (torvex-tp --scan reading the configuration, benchmarks that time the core alone);
// slave address 7, the controller's.
#include "view/main_view.h"

namespace torvex {

class NullView : public MainView {
 public:
  QString Text(ControlRef) const override { return {}; }
  void SetText(ControlRef, const QString&) override {}
  void SetBackColor(ControlRef, std::uint32_t) override {}
  bool IsChecked(ControlRef) const override { return false; }
  void SetChecked(ControlRef, bool) override {}
  void SetOpaque(ControlRef, bool) override {}
  void SetCaption(const QString&) override {}
  int SlaveAddress() const override { return 7; }
};

}  // namespace torvex
