#pragma once
// Answers message boxes from a script and remembers what was asked.
#include <deque>
#include <functional>
#include <vector>

#include "support/qt_printers.h"
#include "view/prompter.h"

namespace torvex::test {

class FakePrompter : public Prompter {
 public:
  struct Asked {
    QString title;
    QString text;
  };

  Choice OkCancel(const QString& title, const QString& text) override {
    return Answer(title, text);
  }
  Choice RetryCancel(const QString& title, const QString& text) override {
    return Answer(title, text);
  }

  // Answers in order; Cancel once the script has run out, so a test never loops forever.
  std::deque<Choice> answers;
  // Runs before each answer, e.g. to correct a file before a Retry.
  std::function<void()> onAsk;
  std::vector<Asked> asked;

 private:
  Choice Answer(const QString& title, const QString& text) {
    asked.push_back({title, text});
    if (onAsk) onAsk();
    if (answers.empty()) return Choice::Cancel;
    const Choice choice = answers.front();
    answers.pop_front();
    return choice;
  }
};

}  // namespace torvex::test
