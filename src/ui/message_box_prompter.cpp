#include "ui/message_box_prompter.h"

#include <cstdio>

#include <QMessageBox>

namespace torvex {
namespace {

Prompter::Choice Ask(QWidget* parent, const QString& title, const QString& text,
                     QMessageBox::StandardButton yes) {
  // Also on standard error: a start from a terminal or a script keeps what went wrong, with the
  // file or device it names.
  QString lines = text.trimmed();
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  std::fprintf(stderr, "torvex-tp: %s\n", qUtf8Printable(lines));
  std::fflush(stderr);
  QMessageBox box(QMessageBox::Critical, title, text, yes | QMessageBox::Cancel, parent);
  box.setDefaultButton(yes);
  if (box.exec() != yes) return Prompter::Choice::Cancel;
  return yes == QMessageBox::Ok ? Prompter::Choice::Ok : Prompter::Choice::Retry;
}

}  // namespace

Prompter::Choice MessageBoxPrompter::OkCancel(const QString& title, const QString& text) {
  return Ask(parent_, title, text, QMessageBox::Ok);
}

Prompter::Choice MessageBoxPrompter::RetryCancel(const QString& title, const QString& text) {
  return Ask(parent_, title, text, QMessageBox::Retry);
}

}  // namespace torvex
