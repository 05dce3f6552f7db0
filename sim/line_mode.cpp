#include "sim/line_mode.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "sim/text.h"

namespace torvex::sim {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::optional<int> ParseInt(std::string_view s) {
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
  return value;
}

}  // namespace

double LineMode::CharacterBits() const {
  return 1.0 + dataBits + (parity == 'n' ? 0 : 1) + stopHalfBits / 2.0;
}

std::optional<LineMode> ParseLineMode(std::string_view text) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(Trim(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 4) return std::nullopt;

  LineMode mode;
  const auto baud = ParseInt(fields[0]);
  if (!baud || *baud < 50 || *baud > 4'000'000) return std::nullopt;
  mode.baud = *baud;

  if (fields[1].size() != 1) return std::nullopt;
  const char parity = static_cast<char>(fields[1][0] | 0x20);  // lower case
  if (std::string_view("neoms").find(parity) == std::string_view::npos) return std::nullopt;
  mode.parity = parity;

  const auto data = ParseInt(fields[2]);
  if (!data || *data < 5 || *data > 8) return std::nullopt;
  mode.dataBits = *data;

  if (fields[3] == "1") mode.stopHalfBits = 2;
  else if (fields[3] == "1.5") mode.stopHalfBits = 3;
  else if (fields[3] == "2") mode.stopHalfBits = 4;
  else return std::nullopt;
  return mode;
}

std::string ToString(const LineMode& mode) {
  std::string text = Dec(mode.baud);
  text += ',';
  text += mode.parity;
  text += ',';
  text += Dec(mode.dataBits);
  text += mode.stopHalfBits == 2 ? ",1" : mode.stopHalfBits == 3 ? ",1.5" : ",2";
  return text;
}

std::int64_t FrameGapMicros(const LineMode& mode) {
  if (mode.baud > 19200) return 1750;
  return static_cast<std::int64_t>(std::ceil(3.5 * mode.CharacterBits() * 1e6 / mode.baud));
}

}  // namespace torvex::sim
