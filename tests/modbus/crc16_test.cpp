#include "modbus/crc16.h"

#include <gtest/gtest.h>

#include <string_view>

#include "modbus/hex.h"

namespace torvex::modbus {
namespace {

using test::Hex;

TEST(Crc16, CheckValueAndRequestExample) {
  constexpr std::string_view kDigits = "123456789";
  const std::vector<std::uint8_t> digits(kDigits.begin(), kDigits.end());
  EXPECT_EQ(Crc16(digits), 0x4B37);
  EXPECT_EQ(Crc16(Hex("07 03 0C 0C 00 40")), 0x0F87);
}

TEST(Crc16, AppendsLowByteFirstAndChecksWhatItAppended) {
  std::vector<std::uint8_t> frame = Hex("07 03 0C 0C 00 40");
  AppendCrc(frame);
  EXPECT_EQ(frame, Hex("07 03 0C 0C 00 40 87 0F"));
  EXPECT_TRUE(CrcMatches(frame));
  EXPECT_FALSE(CrcMatches(Hex("07 03 0C 0C 00 40 0F 87"))) << "bytes swapped";
  EXPECT_FALSE(CrcMatches(Hex("07 03 0C 0C 00 41 87 0F"))) << "a data byte changed";
  // One data byte and its CRC is the shortest frame checked; shorter never matches.
  std::vector<std::uint8_t> one = Hex("07");
  AppendCrc(one);
  EXPECT_TRUE(CrcMatches(one));
  EXPECT_FALSE(CrcMatches(std::span(one).first(2)));
  EXPECT_FALSE(CrcMatches({}));
}

}  // namespace
}  // namespace torvex::modbus
