#include "decode/controls.h"

#include "decode/numeric.h"

namespace torvex {

void ShowReading(MainView& view, ControlRef control, double value, int decimals, double scale,
                 const QString& unit) {
  view.SetText(control, FormatReading(value, decimals, scale, unit));
}

std::int32_t BoxToRawOffset(const MainView& view, ControlRef control, std::int32_t min,
                            std::int32_t max, double offset, double scale) {
  return TextToRawOffset(view.Text(control), min, max, offset, scale);
}

}  // namespace torvex
