#include "decode/numeric.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <system_error>

#include <QLocale>

namespace torvex {
namespace {

// One cell as a byte; an index outside the buffer throws (std::array::at).
int Cell(const RxBuffer& rx, int i) {
  return static_cast<std::uint8_t>(rx.at(static_cast<std::size_t>(i)));
}

// A finite nonzero number as decimal digits: digits[k] stands at 10^(exp - k).
struct Decimal {
  bool negative = false;
  std::string digits;
  std::int64_t exp = 0;
};

// x with 15 significant digits: the precision of every number text of the tool, and what
// hides the floating-point noise of the last binary digits.
Decimal ToDecimal15(double x) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
  Decimal d;
  const char* p = buf;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; p != res.ptr && *p != 'e'; ++p) {
    if (*p != '.') d.digits.push_back(*p);
  }
  int e = 0;
  if (p != res.ptr) {
    ++p;  // 'e'
    if (*p == '+') ++p;
    std::from_chars(p, res.ptr, e);
  }
  d.exp = e;
  return d;
}

// Keeps the digits at positions >= lastPos, the dropped part rounded with ties to the even
// kept digit; exact, since it works on the decimal digits themselves.
void RoundToPosition(Decimal& d, std::int64_t lastPos) {
  const std::int64_t keep = d.exp - lastPos + 1;
  const auto len = static_cast<std::int64_t>(d.digits.size());
  if (keep >= len) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  const auto k = static_cast<std::size_t>(keep);
  const char firstDropped = d.digits[k];
  const bool restNonzero = d.digits.find_first_not_of('0', k + 1) != std::string::npos;
  const bool lastOdd = k > 0 && ((d.digits[k - 1] - '0') % 2 == 1);
  const bool up = firstDropped > '5' ||
                  (firstDropped == '5' && (restNonzero || lastOdd));
  d.digits.resize(k);
  if (!up) return;
  std::size_t i = k;
  while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
  if (i > 0) {
    ++d.digits[i - 1];
  } else {  // all nines (or nothing kept): carry into a new leading 1
    d.digits.insert(d.digits.begin(), '1');
    ++d.exp;
  }
}

// Plain positional text, never exponent form; digits are ASCII so the tool reads back what
// it wrote (ParseNumber).
std::string PlainText(Decimal d, char separator) {
  const auto last = d.digits.find_last_not_of('0');
  if (last == std::string::npos) return "0";  // never "-0"
  d.digits.resize(last + 1);
  std::string out = d.negative ? "-" : "";
  const auto len = static_cast<std::int64_t>(d.digits.size());
  if (d.exp >= 0) {
    const std::int64_t intLen = d.exp + 1;
    if (len <= intLen) {
      out += d.digits;
      out.append(static_cast<std::size_t>(intLen - len), '0');
    } else {
      const auto n = static_cast<std::size_t>(intLen);
      out += d.digits.substr(0, n);
      out += separator;
      out += d.digits.substr(n);
    }
  } else {
    out += '0';
    out += separator;
    out.append(static_cast<std::size_t>(-d.exp - 1), '0');
    out += d.digits;
  }
  return out;
}

// The locale's decimal separator when the tool can read it back, else the point.
char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  return point == QStringLiteral(",") ? ',' : '.';
}

double Clean15(double x) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
  double out = x;
  std::from_chars(buf, res.ptr, out);
  return out;
}

// Halves away from zero as an integer-valued double (or +-infinity): the entry routines
// compare it with their limits before anything is narrowed to 32 bits.
double RoundHalfAwayWide(double x) {
  if (std::isnan(x)) return 0;
  const double shifted = x > 0 ? x + 0.5 : x - 0.5;
  if (std::fabs(shifted) < 1) return 0;
  return std::trunc(std::isfinite(shifted) ? Clean15(shifted) : shifted);
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Reads a text left to right, skipping blanks, tabs and line feeds wherever they stand.
class Scanner {
 public:
  explicit Scanner(const QString& text) : text_(text) {}
  QChar Peek() {
    while (pos_ < text_.size() &&
           (text_[pos_] == u' ' || text_[pos_] == u'\t' || text_[pos_] == u'\n')) {
      ++pos_;
    }
    return pos_ < text_.size() ? text_[pos_] : QChar();
  }
  void Take() { ++pos_; }
  qsizetype Pos() const { return pos_; }
  void Rewind(qsizetype pos) { pos_ = pos; }

 private:
  const QString& text_;
  qsizetype pos_ = 0;
};

// &H / &O integers (the "&" already taken); their plain non-negative value.
double ParseRadix(Scanner& in) {
  const QChar kind = in.Peek().toUpper();
  const int radix = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
  if (radix == 0) return 0;
  in.Take();
  double value = 0;
  for (;;) {
    const QChar c = in.Peek().toUpper();
    int digit = -1;
    if (IsDigit(c)) digit = c.unicode() - u'0';
    else if (c >= u'A' && c <= u'F') digit = c.unicode() - u'A' + 10;
    if (digit < 0 || digit >= radix) break;
    in.Take();
    value = value * radix + digit;
  }
  return value;
}

double ParseDecimal(Scanner& in) {
  bool negative = false;
  if (in.Peek() == u'+' || in.Peek() == u'-') {
    negative = in.Peek() == u'-';
    in.Take();
  }
  std::string intDigits, fracDigits;
  while (IsDigit(in.Peek())) {
    intDigits.push_back(static_cast<char>(in.Peek().unicode()));
    in.Take();
  }
  if (in.Peek() == u'.') {
    in.Take();
    while (IsDigit(in.Peek())) {
      fracDigits.push_back(static_cast<char>(in.Peek().unicode()));
      in.Take();
    }
  }
  if (intDigits.empty() && fracDigits.empty()) return 0;

  // Exponent, E or D; saturated so that no digit count can overflow it.
  constexpr std::int64_t kExpCap = 1'000'000'000'000;
  std::int64_t exp = 0;
  const QChar e = in.Peek().toUpper();
  if (e == u'E' || e == u'D') {
    const qsizetype mark = in.Pos();
    in.Take();
    bool expNegative = false;
    if (in.Peek() == u'+' || in.Peek() == u'-') {
      expNegative = in.Peek() == u'-';
      in.Take();
    }
    bool any = false;
    while (IsDigit(in.Peek())) {
      exp = std::min(exp * 10 + (in.Peek().unicode() - u'0'), kExpCap);
      in.Take();
      any = true;
    }
    if (!any) {
      in.Rewind(mark);  // "1E" is just 1
      exp = 0;
    }
    if (expNegative) exp = -exp;
  }

  // Normalise to d.ddd e mag so the conversion sees a small exponent whatever the input.
  const std::string all = intDigits + fracDigits;
  const auto first = all.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  const auto sig = all.substr(first);
  const std::int64_t mag =
      static_cast<std::int64_t>(intDigits.size()) - 1 - static_cast<std::int64_t>(first) + exp;
  double value;
  if (mag > 400) {
    value = std::numeric_limits<double>::infinity();
  } else if (mag < -400) {
    value = 0;
  } else {
    std::string norm = sig.substr(0, 1);
    if (sig.size() > 1) norm += "." + sig.substr(1);
    norm += "e" + std::to_string(mag);
    const auto res = std::from_chars(norm.data(), norm.data() + norm.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
      value = mag > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
  }
  return negative ? -value : value;
}

}  // namespace

int RegisterIndex(int n) { return 2 * n + 3; }

int RxWord(const RxBuffer& rx, int i) {
  const int high = Cell(rx, i);
  const int low = Cell(rx, i + 1);
  return high * 256 + low;
}

int RxSignedWord(const RxBuffer& rx, int i) {
  const int w = RxWord(rx, i);
  return w > 0x7FFF ? w - 65536 : w;
}

double RxDWord(const RxBuffer& rx, int i) {
  double sum = 0;
  for (int k = 0; k < 4; ++k) sum = sum * 256 + Cell(rx, i + k);
  return sum;
}

int RxInteger(const RxBuffer& rx, int start, int n) {
  std::uint32_t sum = 0;  // unsigned: wider reads keep their low 32 bits without overflow
  for (int k = 0; k < n; ++k) sum = (sum << 8) | static_cast<std::uint32_t>(Cell(rx, start + k));
  if (n == 2 && sum > 0x7FFF) return static_cast<int>(sum) - 65536;
  return static_cast<int>(static_cast<std::int32_t>(sum));
}

int GetByte(std::int32_t value, int n) {
  if (n < 0 || n > 3) return 0;
  return static_cast<int>((static_cast<std::uint32_t>(value) >> (8 * n)) & 0xFFu);
}

QString FormatReading(double value, int decimals, double scale, const QString& unit) {
  const double p = value * scale;
  std::string text;
  if (std::isnan(p)) {
    text = "nan";
  } else if (std::isinf(p)) {
    text = p > 0 ? "inf" : "-inf";
  } else if (p == 0) {
    text = "0";
  } else {
    Decimal d = ToDecimal15(p);
    RoundToPosition(d, -static_cast<std::int64_t>(decimals));
    text = PlainText(d, DecimalSeparator());
  }
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())) + u' ' + unit;
}

QString FormatHex(std::int64_t value, int digits) {
  if (value >= 0) {
    const QString hex = QString::number(static_cast<qulonglong>(value), 16).toUpper();
    return hex.rightJustified(digits, u'0');  // pads, never cuts
  }
  // Negative: the two's complement of the narrowest of 32 or 64 bits that holds it.
  const qulonglong pattern = value >= std::numeric_limits<std::int32_t>::min()
                                 ? static_cast<std::uint32_t>(value)
                                 : static_cast<std::uint64_t>(value);
  return QString::number(pattern, 16).toUpper();
}

double ParseNumber(const QString& text) {
  // Both positions are taken in the text as typed, before anything is changed.
  const qsizetype comma = text.indexOf(u',');
  const qsizetype percent = text.indexOf(u'%');
  QString work = text;
  if (comma >= 0) work[comma] = u'.';
  if (percent >= 0) work.truncate(percent);

  Scanner in(work);
  if (in.Peek() == u'&') {
    in.Take();
    return ParseRadix(in);
  }
  return ParseDecimal(in);
}

std::int32_t RoundHalfAway(double x) {
  using Limits = std::numeric_limits<std::int32_t>;
  const double r = RoundHalfAwayWide(x);
  if (r >= Limits::max()) return Limits::max();
  if (r <= Limits::min()) return Limits::min();
  return static_cast<std::int32_t>(r);
}

std::int32_t TextToRawOffset(const QString& text, std::int32_t min, std::int32_t max,
                             double offset, double scale) {
  const double r = RoundHalfAwayWide((ParseNumber(text) - offset) / scale);
  if (r < min) return min;
  if (r > max) return max;
  return static_cast<std::int32_t>(r);
}

std::int32_t TextToRaw(const QString& text, std::int32_t min, std::int32_t max, double scale) {
  return TextToRawOffset(text, min, max, 0.0, scale);
}

}  // namespace torvex
