#pragma once
// The window is designed in twips and points. Both convert at a fixed 96 dots per inch, so the
// layout comes out the same whatever the screen's resolution or scaling.
#include <QFont>
#include <QRect>
#include <QString>

namespace torvex {

inline constexpr int kTwipsPerPixel = 15;

inline constexpr int TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }

// A place given as left, top, width, height in twips.
inline QRect Twips(int left, int top, int width, int height) {
  return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

// Type sizes of the design, in points.
inline constexpr double kDefaultPt = 8.25;  // every control not given a size of its own
inline constexpr double kMediumPt = 9.75;
inline constexpr double kLargePt = 12;
inline constexpr double kFramePt = 13.5;  // frame captions and the large value labels

// The design's face (MS Sans Serif) is a Windows font; DejaVu Sans stands in for it. The size
// is set in pixels so that a point of the design is always 96/72 pixels.
inline QFont DesignFont(double points, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(static_cast<int>(points * 96 / 72 + 0.5));
  font.setBold(bold);
  return font;
}

}  // namespace torvex
