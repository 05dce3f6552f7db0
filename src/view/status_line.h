#pragma once
// What the core has to say in the main window's status line beside the exchange's own words: a
// step of file work, a port that could not be opened, a recording that could not start. The
// status line has one writer, the exchange presenter beside the window; it takes these too.
#include <QString>

namespace torvex {

class StatusLine {
 public:
  virtual ~StatusLine() = default;
  // Shown in place of everything the line says, painted at once (the window is not serviced
  // while a file is read or written), until the exchange's next outcome.
  virtual void ShowMessage(const QString& text) = 0;
};

}  // namespace torvex
