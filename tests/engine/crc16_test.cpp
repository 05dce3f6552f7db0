#include <gtest/gtest.h>

#include <string_view>

#include "engine/crc16.h"

namespace torvex {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(Crc16, CheckValueAndRequestExample) {
  EXPECT_EQ(Crc16(Bytes("123456789")), 0x4B37);
  const std::vector<std::uint8_t> frame{0x07, 0x03, 0x0C, 0x0C, 0x00, 0x40};
  EXPECT_EQ(TxCrc(frame, 5), 0x0F87);
}

TEST(Crc16, TxAndRxAgreeOnTheSameBytes) {
  const std::vector<std::uint8_t> frame{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01};
  RxBuffer rx{};
  for (std::size_t i = 0; i < frame.size(); ++i) rx[i] = frame[i];
  EXPECT_EQ(RxCrc(rx, 5), TxCrc(frame, 5));
  EXPECT_EQ(TxCrc(frame, 5), 0x6DCA);
}

TEST(Crc16, CoversOnlyCellsUpToN) {
  RxBuffer rx{};
  rx[0] = 0x07;
  rx[1] = 0xAA;  // beyond n = 0: must not count
  const std::vector<std::uint8_t> one{0x07};
  EXPECT_EQ(RxCrc(rx, 0), Crc16(one));
}

}  // namespace
}  // namespace torvex
