#pragma once
// Frames written as engineers read them: "07 03 0B B8".
#include <cstdint>
#include <string_view>
#include <vector>

namespace torvex::test {

inline std::vector<std::uint8_t> Hex(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == ' ') continue;
    bytes.push_back(static_cast<std::uint8_t>(digit(text[i]) << 4 | digit(text[i + 1])));
    ++i;
  }
  return bytes;
}

}  // namespace torvex::test
