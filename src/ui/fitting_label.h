#pragma once
// A label that never cuts its text: a text wider than the label is drawn narrower (a condensed
// cut), then smaller, until it fits on its one line. The label keeps its designed place and
// font; only the drawing adapts, so a short text looks exactly as designed.
#include <QLabel>

namespace torvex {

class FittingLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

  // The font the text is drawn in: the label's own when the text fits, else the largest
  // narrower or smaller one that fits (never below kMinPixelSize).
  QFont FittedFont() const;

  static constexpr int kMinPixelSize = 7;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace torvex
