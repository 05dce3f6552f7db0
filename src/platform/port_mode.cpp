#include "platform/port_mode.h"

#include <algorithm>
#include <array>

#include <QStringList>

namespace torvex {
namespace {

// The rates Windows serial drivers name, 28800 that the old Windows tool offered too, and the
// three fast rates USB adapters commonly run.
constexpr std::array kSpeeds{110,   300,   600,   1200,   2400,   4800,   9600,   14400,  19200, 28800,
                             38400, 56000, 57600, 115200, 128000, 230400, 256000, 460800, 921600};

std::optional<int> ParseSpeed(QStringView field) {
  if (field.isEmpty()) return std::nullopt;
  // Saturates well above the fastest rate, so any length of digits is safe.
  constexpr int kCap = 10'000'000;
  int value = 0;
  for (QChar c : field) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = std::min(value * 10 + (c.unicode() - u'0'), kCap);
  }
  if (std::find(kSpeeds.begin(), kSpeeds.end(), value) == kSpeeds.end()) return std::nullopt;
  return value;
}

std::optional<Parity> ParseParity(QStringView field) {
  if (field.size() != 1) return std::nullopt;
  char16_t c = field[0].unicode();
  if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  switch (c) {
    case u'n': return Parity::None;
    case u'e': return Parity::Even;
    case u'o': return Parity::Odd;
    case u'm': return Parity::Mark;
    case u's': return Parity::Space;
    default: return std::nullopt;
  }
}

std::optional<int> ParseDataBits(QStringView field) {
  if (field.size() != 1 || field[0] < u'5' || field[0] > u'8') return std::nullopt;
  return field[0].unicode() - u'0';
}

std::optional<StopBits> ParseStopBits(QStringView field) {
  if (field == u"1") return StopBits::One;
  if (field == u"1.5") return StopBits::OneAndHalf;
  if (field == u"2") return StopBits::Two;
  return std::nullopt;
}

}  // namespace

std::optional<PortMode> ParsePortMode(const QString& text) {
  const QStringList fields = text.split(u',');
  if (fields.size() != 4) return std::nullopt;
  const auto speed = ParseSpeed(fields[0].trimmed());
  const auto parity = ParseParity(fields[1].trimmed());
  const auto dataBits = ParseDataBits(fields[2].trimmed());
  const auto stopBits = ParseStopBits(fields[3].trimmed());
  if (!speed || !parity || !dataBits || !stopBits) return std::nullopt;
  const bool five = *dataBits == 5;
  if ((*stopBits == StopBits::OneAndHalf && !five) || (*stopBits == StopBits::Two && five)) {
    return std::nullopt;
  }
  return PortMode{*speed, *parity, *dataBits, *stopBits};
}

}  // namespace torvex
