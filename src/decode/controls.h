#pragma once
// The numeric routines that read or write a window control: display texts go in through
// the view, operator entries come out of it.
#include <cstdint>

#include <QString>

#include "view/main_view.h"

namespace torvex {

// Writes FormatReading(value, decimals, scale, unit) into the control.
void ShowReading(MainView& view, ControlRef control, double value, int decimals, double scale,
                 const QString& unit);

// The raw integer the control's text stands for (TextToRawOffset on its text); the text is not
// changed.
std::int32_t BoxToRawOffset(const MainView& view, ControlRef control, std::int32_t min,
                            std::int32_t max, double offset, double scale);

}  // namespace torvex
