#include "text/hex_bytes.h"

namespace torvex {

QString HexBytes(std::span<const std::uint8_t> bytes, std::size_t shown) {
  if (bytes.empty()) return QStringLiteral("-");
  if (bytes.size() > shown) return HexBytes(bytes.first(shown), shown) + QStringLiteral(" …");
  static constexpr char kDigits[] = "0123456789ABCDEF";
  // Laid out at once: the monitor writes a row's bytes at every repaint.
  QString text(static_cast<qsizetype>(bytes.size() * 3 - 1), QLatin1Char(' '));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[static_cast<qsizetype>(3 * i)] = QLatin1Char(kDigits[bytes[i] >> 4]);
    text[static_cast<qsizetype>(3 * i + 1)] = QLatin1Char(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace torvex
