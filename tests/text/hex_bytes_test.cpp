#include "text/hex_bytes.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/qt_printers.h"

namespace torvex {
namespace {

TEST(HexBytes, UpperCasePairsAndWhatIsLeftOut) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::size_t shown;
    const char* text;
  };
  const std::size_t all = static_cast<std::size_t>(-1);
  const Case cases[] = {
      {{}, all, "-"},
      {{0x0A}, all, "0A"},
      {{0x07, 0x03, 0x0B, 0xB8, 0xFF, 0x00}, all, "07 03 0B B8 FF 00"},
      {{0x07, 0x03, 0x0B, 0xB8}, 4, "07 03 0B B8"},
      {{0x07, 0x03, 0x0B, 0xB8}, 2, "07 03 …"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexBytes(c.bytes, c.shown), QString::fromUtf8(c.text)) << c.text;
  }
}

}  // namespace
}  // namespace torvex
