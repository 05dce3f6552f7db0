#pragma once
// The window's stand-in for the commands that run without one (--scan, the parameter
// commands): the configuration is read with nothing to show, and a question about the file is
// answered Cancel after it is printed.
#include <cstdio>

#include <QString>

#include "view/null_view.h"
#include "view/prompter.h"
#include "view/status_line.h"

namespace torvex {

class NoWindow : public NullView, public StatusLine, public Prompter {
 public:
  explicit NoWindow(std::FILE* err) : err_(err) {}
  void ShowMessage(const QString&) override {}
  Choice OkCancel(const QString& title, const QString& text) override { return Say(title, text); }
  Choice RetryCancel(const QString& title, const QString& text) override {
    return Say(title, text);
  }

 private:
  Choice Say(const QString& title, const QString& text) {
    std::fprintf(err_, "torvex-tp: %s: %s\n", qUtf8Printable(title),
                 qUtf8Printable(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("; "))));
    return Choice::Cancel;
  }
  std::FILE* err_;
};

}  // namespace torvex
