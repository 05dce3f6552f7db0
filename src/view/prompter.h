#pragma once
// Message boxes that ask the operator something. The core asks through this interface; the
// window answers with real message boxes, tests with a scripted fake.
#include <QString>

namespace torvex {

class Prompter {
 public:
  enum class Choice { Ok, Cancel, Retry };

  virtual ~Prompter() = default;
  // Critical-error box with the buttons OK and Cancel.
  virtual Choice OkCancel(const QString& title, const QString& text) = 0;
  // Critical-error box with the buttons Retry and Cancel.
  virtual Choice RetryCancel(const QString& title, const QString& text) = 0;
};

}  // namespace torvex
