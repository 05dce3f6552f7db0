#pragma once
// The shared numeric routines (`Math`): reading quantities out of the receive buffer,
// splitting integers into request bytes, the tool's display texts, and turning an
// operator's text back into a clamped raw integer. All pure; the routines that touch a
// window control live in decode/controls.h.
#include <cstdint>

#include <QString>

#include "engine/rx_buffer.h"

namespace torvex {

// Cell index of the high byte of register n of a function-3 answer: 2n+3.
int RegisterIndex(int n);

// Cell readers, big-endian. Each cell counts as one byte (its low 8 bits). A cell index
// outside 0-260 is a caller's bug and throws std::out_of_range.
int RxWord(const RxBuffer& rx, int i);        // 0-65535
int RxSignedWord(const RxBuffer& rx, int i);  // -32768-32767
double RxDWord(const RxBuffer& rx, int i);    // 0-4294967295, floating so it stays positive
// Cells start..start+n-1; signed only for n = 2. n <= 0 gives 0. For n >= 4 the low 32 bits
// of the value, as a two's-complement integer.
int RxInteger(const RxBuffer& rx, int start, int n);

// Byte n (0 = bits 0-7 ... 3 = bits 24-31) of the two's-complement form of value; other n: 0.
int GetByte(std::int32_t value, int n);

// value x scale rounded to `decimals` (ties to the even digit, judged on 15 significant
// digits), in plain shortest form with the default locale's decimal separator, then one
// blank and the unit. Never grouped, never in exponent form, never "-0".
QString FormatReading(double value, int decimals, double scale, const QString& unit);

// Upper-case hexadecimal. Non-negative values are padded with zeros to `digits` and never
// truncated; a negative value prints as its 32-bit two's complement (64-bit below -2^31).
QString FormatHex(std::int64_t value, int digits);

// The number an operator meant: comma or point as decimal separator, blanks/tabs/line feeds
// ignored, text from the first "%" on ignored, &H/&O integers, no number reads 0. Never
// fails; an overflowing exponent gives +-infinity.
double ParseNumber(const QString& text);

// Halves away from zero, after cleaning x to 15 significant digits (so 123.99999999999999
// counts as 124). Saturates at the 32-bit range; NaN gives 0.
std::int32_t RoundHalfAway(double x);

// (ParseNumber(text) - offset) / scale, rounded half away and limited to [min, max];
// values beyond the 32-bit range end at min or max like any other out-of-range entry.
std::int32_t TextToRawOffset(const QString& text, std::int32_t min, std::int32_t max,
                             double offset, double scale);
std::int32_t TextToRaw(const QString& text, std::int32_t min, std::int32_t max, double scale);

}  // namespace torvex
