// The mode-string parser on any text from the file or the operator. A mode it accepts must be
// one a UART can run, and reading it back from its plain form gives the same mode.
//
// Input: byte 0 bit 0: the text as UTF-16 (else UTF-8); then the text.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "fuzz/fuzz_input.h"
#include "platform/port_mode.h"

namespace {

constexpr std::array kSpeeds{110,   300,   600,   1200,   2400,   4800,   9600,
                             14400, 19200, 28800, 38400,  56000,  57600,  115200,
                             128000, 230400, 256000, 460800, 921600};

QString PlainForm(const torvex::PortMode& mode) {
  using torvex::Parity;
  using torvex::StopBits;
  const char parity[] = {'n', 'e', 'o', 'm', 's'};
  const char* stop = mode.stopBits == StopBits::One          ? "1"
                     : mode.stopBits == StopBits::OneAndHalf ? "1.5"
                                                              : "2";
  return QStringLiteral("%1,%2,%3,%4")
      .arg(mode.speed)
      .arg(QChar(parity[static_cast<int>(mode.parity)]))
      .arg(mode.dataBits)
      .arg(QLatin1String(stop));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  fuzz::Input in(data, size);
  const bool utf16 = in.Byte() & 1;
  const QString text = utf16 ? fuzz::Utf16(in.Rest()) : fuzz::Utf8(in.Rest());

  const std::optional<PortMode> mode = ParsePortMode(text);
  if (!mode) return 0;
  FUZZ_CHECK(text.count(u',') == 3);
  FUZZ_CHECK(std::find(kSpeeds.begin(), kSpeeds.end(), mode->speed) != kSpeeds.end());
  FUZZ_CHECK(mode->dataBits >= 5 && mode->dataBits <= 8);
  const bool five = mode->dataBits == 5;
  FUZZ_CHECK(mode->stopBits != StopBits::OneAndHalf || five);
  FUZZ_CHECK(mode->stopBits != StopBits::Two || !five);
  FUZZ_CHECK(ParsePortMode(PlainForm(*mode)) == mode);
  FUZZ_CHECK(ParsePortMode(text.toUpper()) == mode);
  return 0;
}
