#pragma once
// A push button whose caption breaks onto a second line when it does not fit, as the design's
// narrow two-line buttons ("Записать всё в ЭСППЗУ") need.
#include <QPushButton>

namespace torvex {

class WrappingButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace torvex
