#pragma once
// How each register value of the controller is shown in the main window: one rule per
// display control, written through the view. The rules take register values; which answer
// carries them is the decoder's business.
#include <QString>

#include "decode/readings.h"
#include "view/main_view.h"

namespace torvex {

// lbl_u(channel) from the sensor value, lbl_u(32+channel) from the input value.
void ShowSensorValue(MainView& view, int channel, SensorType type, int value);
void ShowInputValue(MainView& view, int channel, SensorType type, int value);

// lbl_u(index), 0-63, a converter reading in 0.1 mV; the unit stands in the frame caption.
void ShowConverterReading(MainView& view, int index, int raw);

// chk_out(first .. first+15) from bits 0-15 of a discrete outputs register.
void ShowOutputsReadBack(MainView& view, int first, int bits);
// lbl_eds(first .. first+15) from bits 0-15 of a discrete inputs register: a set input shows
// its green background, a clear one the frame's.
void ShowDiscreteInputs(MainView& view, int first, int bits);

// "major .minor " with the minor in two digits at least, e.g. "1 .09 ".
void ShowVersion(MainView& view, ControlRef label, int word);
// A version register as lbl_sw_ver and lbl_pr_ver show it: "2 .14 ", "1 .05 ".
QString VersionText(int word);
// The same without the blanks, as files, reports and scripts write it: "2.14", "1.05".
QString PlainVersionText(int word);
// lbl_ds18b20: half degrees, or "Не подключен" when the status word says the sensor is absent.
void ShowTemperature(MainView& view, int raw, int statusWord);
void ShowSpeed(MainView& view, ControlRef label, double hertz);
// lbl_dir: an invalid direction wins over forward, forward over backward.
void ShowDirection(MainView& view, int statusWord);
// lbl_st_flt: "ST_FLT  " and the four hexadecimal digits.
void ShowStatusWord(MainView& view, int statusWord);

}  // namespace torvex
