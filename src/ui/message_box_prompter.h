#pragma once
// Asks the operator with real message boxes (critical-error icon), and writes each message on
// standard error as well.
#include "view/prompter.h"

class QWidget;

namespace torvex {

class MessageBoxPrompter : public Prompter {
 public:
  explicit MessageBoxPrompter(QWidget* parent = nullptr) : parent_(parent) {}
  Choice OkCancel(const QString& title, const QString& text) override;
  Choice RetryCancel(const QString& title, const QString& text) override;

 private:
  QWidget* parent_;
};

}  // namespace torvex
