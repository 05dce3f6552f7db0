// The numeric routines on anything: an operator's text through ParseNumber and the entry
// routines with the bounds the tool uses, RoundHalfAway on any double, the display texts of
// FormatReading read back, and FormatHex.
//
// Input:
//   byte 0   bits 0-1: 0 an entry text, 1 RoundHalfAway, 2 FormatReading, 3 FormatHex;
//            bit 2: Russian number format (decimal comma); bit 3: the text as UTF-16
//   then the routine's arguments (below)
#include <cmath>
#include <cstdint>
#include <limits>

#include <QLocale>
#include <QString>

#include "decode/numeric.h"
#include "fuzz/fuzz_input.h"

namespace torvex {
namespace {

using Limits = std::numeric_limits<std::int32_t>;

struct EntryBounds {
  std::int32_t min;
  std::int32_t max;
  double offset;
  double scale;
};

// The parameter boxes (slave address, calibration points, sensor types) and the analog
// outputs (4-20 mA and 0-10 V).
constexpr EntryBounds kEntries[] = {
    {0, 255, 0, 1},          {-32768, 32767, 0, 0.1},   {-32768, 32767, 0, 1},
    {0, 65535, 4, 0.00024414}, {0, 4095, 0, 0.002442},
};

constexpr double kScales[] = {1, 0.1, 0.01, 0.001, 0.002, 0.5, 0.00024414, 0.002442};

// Rest of the input: the text.
void EntryText(const QString& text) {
  const double v = ParseNumber(text);
  FUZZ_CHECK(!std::isnan(v));

  // A point and a comma mean the same.
  if (!text.contains(u',') && text.contains(u'.')) {
    QString comma = text;
    comma[comma.indexOf(u'.')] = u',';
    FUZZ_CHECK(ParseNumber(comma) == v);
  }

  for (const EntryBounds& e : kEntries) {
    const std::int32_t r = TextToRawOffset(text, e.min, e.max, e.offset, e.scale);
    FUZZ_CHECK(r >= e.min && r <= e.max);
    const double q = (v - e.offset) / e.scale;
    if (q > e.max + 0.5) FUZZ_CHECK(r == e.max);
    if (q < e.min - 0.5) FUZZ_CHECK(r == e.min);
    if (q >= e.min && q <= e.max) FUZZ_CHECK(std::fabs(r - q) <= 0.5 + 1e-9);
  }
}

// Input: the 8 bytes of a double.
void Rounding(double x) {
  const std::int32_t r = RoundHalfAway(x);
  if (std::isnan(x)) {
    FUZZ_CHECK(r == 0);
  } else if (x >= Limits::max() + 0.5) {
    FUZZ_CHECK(r == Limits::max());
  } else if (x <= Limits::min() - 0.5) {
    FUZZ_CHECK(r == Limits::min());
  } else {
    // Within a half, after the 15-digit cleaning; never across zero.
    FUZZ_CHECK(std::fabs(r - x) <= 0.5 + 1e-13 * std::fmax(1.0, std::fabs(x)));
    FUZZ_CHECK(!(x > 0 && r < 0) && !(x < 0 && r > 0));
    if (x == std::trunc(x)) FUZZ_CHECK(r == x);
  }
}

// Input: byte 0 bit 0 the value is a double (else a 32-bit integer), bit 1 the unit is empty;
// byte 1 decimals (mod 16); byte 2 the scale (from the tool's, or a double of the input when
// 8 or above); then the value and, when asked for, the scale.
void Reading(fuzz::Input& in) {
  const std::uint8_t form = in.Byte();
  const int decimals = in.Byte() % 16;
  const std::uint8_t scaleChoice = in.Byte();
  const double value = form & 1 ? in.Double() : static_cast<std::int32_t>(in.U32());
  const double scale = scaleChoice < 8 ? kScales[scaleChoice] : in.Double();
  const QString unit = form & 2 ? QString() : QStringLiteral("мВ");

  const QString text = FormatReading(value, decimals, scale, unit);
  FUZZ_CHECK(text.endsWith(u' ' + unit));
  const QString number = text.chopped(unit.size() + 1);
  const double p = value * scale;
  if (!std::isfinite(p)) return;

  // Plain digits: a minus sign first, at most one decimal separator, never "-0".
  const QChar separator = QLocale().decimalPoint().at(0);
  int separators = 0;
  for (qsizetype i = 0; i < number.size(); ++i) {
    const QChar c = number[i];
    if (c == separator) ++separators;
    else FUZZ_CHECK((c >= u'0' && c <= u'9') || (c == u'-' && i == 0));
  }
  FUZZ_CHECK(separators <= 1 && number != QStringLiteral("-0"));

  // Reads back as what it shows, within its rounding. (Near the largest double the 15 digits
  // shown may round beyond it, and read back as infinity; no reading comes near.)
  const double shown = ParseNumber(number);
  if (std::fabs(p) < 1e300) {
    FUZZ_CHECK(std::fabs(shown - p) <=
               0.5 * std::pow(10.0, -decimals) * (1 + 1e-9) + 1e-14 * std::fabs(p));
  }

  // A parameter box shows raw x scale with 2 decimals; writing the box sends the same raw.
  const bool paramScale = scaleChoice <= 1;  // 1 or 0.1
  if (!(form & 1) && paramScale && decimals == 2 && value >= -32768 && value <= 32767) {
    FUZZ_CHECK(TextToRaw(text, -32768, 32767, scale) == value);
  }
}

// Input: the 8 bytes of the value, then the digits (mod 20).
void Hex(fuzz::Input& in) {
  const std::uint64_t low = in.U32();
  const auto value = static_cast<std::int64_t>(low | static_cast<std::uint64_t>(in.U32()) << 32);
  const int digits = in.Byte() % 20;
  const QString text = FormatHex(value, digits);
  bool ok = false;
  const qulonglong back = text.toULongLong(&ok, 16);
  FUZZ_CHECK(ok && text == text.toUpper());
  if (value >= 0) {
    FUZZ_CHECK(back == static_cast<qulonglong>(value) && text.size() >= digits);
  } else if (value >= Limits::min()) {
    FUZZ_CHECK(back == static_cast<std::uint32_t>(value));
  } else {
    FUZZ_CHECK(back == static_cast<std::uint64_t>(value));
  }
}

}  // namespace
}  // namespace torvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  fuzz::Input in(data, size);
  const std::uint8_t choice = in.Byte();
  QLocale::setDefault(choice & 4 ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c());
  switch (choice & 3) {
    case 0: EntryText(choice & 8 ? fuzz::Utf16(in.Rest()) : fuzz::Utf8(in.Rest())); break;
    case 1: Rounding(in.Double()); break;
    case 2: Reading(in); break;
    case 3: Hex(in); break;
  }
  return 0;
}
