// The search's order, its probe's wait and the verdict on what answered a probe.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "modbus/crc16.h"
#include "modbus/mbap.h"
#include "search/probe.h"
#include "search/search_space.h"

namespace torvex::search {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

SearchSpace Everything(std::vector<int> ports = {1}) {
  SearchSpace space;
  space.ports = std::move(ports);
  space.speeds.assign(std::begin(kSpeeds), std::end(kSpeeds));
  space.framings.assign(std::begin(kFramings), std::end(kFramings));
  space.configuredMode = QStringLiteral("19200,e,8,1");
  space.selectedAddress = 12;
  return space;
}

TEST(SearchOrder, TriesTheUsualCasesFirstAndEveryProbeOnce) {
  const std::vector<Probe> order = SearchOrder(Everything());
  ASSERT_EQ(order.size(), 32u * 127u);
  std::set<std::tuple<int, QString, int>> unique;
  for (const Probe& p : order) unique.insert({p.port, p.mode, p.address});
  EXPECT_EQ(unique.size(), order.size());

  // The configured mode with address 7 and the selected address.
  EXPECT_EQ(order[0], (Probe{1, "19200,e,8,1", 7}));
  EXPECT_EQ(order[1], (Probe{1, "19200,e,8,1", 12}));
  // Then address 7 at every other mode: 31 more.
  for (std::size_t i = 2; i < 33; ++i) EXPECT_EQ(order[i].address, 7) << i;
  // Then every address at 9600, 19200 and 115200 baud before any other speed.
  const std::size_t usual = 33 + 3 * 4 * 126 - 1;  // 12 modes, 126 addresses left, one done
  for (std::size_t i = 33; i < usual; ++i) {
    const int speed = order[i].mode.section(u',', 0, 0).toInt();
    EXPECT_TRUE(speed == 9600 || speed == 19200 || speed == 115200) << i << " " << speed;
  }
  EXPECT_EQ(order[usual].mode.section(u',', 0, 0).toInt(), 1200);
}

TEST(SearchOrder, ANetworkLinkTriesItsUnitsAtTheGatewaysModeAlone) {
  SearchSpace space = Everything({0});
  space.lastAddress = 247;
  space.gatewayUnit = true;
  const std::vector<Probe> order = SearchOrder(space);
  ASSERT_EQ(order.size(), 248u);
  EXPECT_EQ(order[0], (Probe{0, "19200,e,8,1", 7}));
  EXPECT_EQ(order[1], (Probe{0, "19200,e,8,1", 12}));
  EXPECT_EQ(order.back().address, 255);

  // Several COM ports: each phase on each port before the next phase; nothing unticked.
  space = Everything({1, 3});
  space.speeds = {9600};
  space.framings = {kFramings[0]};
  space.configuredMode.clear();
  const std::vector<Probe> two = SearchOrder(space);
  ASSERT_EQ(two.size(), 2u * 127u);
  EXPECT_EQ(two[0], (Probe{1, "9600,n,8,2", 7}));
  EXPECT_EQ(two[1], (Probe{3, "9600,n,8,2", 7}));
}

TEST(Probe, WaitsForItsLineTimeASilenceAndTheReplyAllowance) {
  // 17 characters of 11 bits and 3.5 more: 73.5 ms at 9600 baud, 238 ms at 1200.
  EXPECT_NEAR(ProbeWait("9600,n,8,2", 50ms).count(), 73'500, 100);
  EXPECT_NEAR(ProbeWait("1200,e,8,1", 50ms).count(), 237'900, 100);
  EXPECT_NEAR(ProbeWait("115200,n,8,2", 50ms).count(), 53'370, 100);
  EXPECT_NEAR(ProbeWait("9600,n,8,2", 200ms).count(), 223'500, 100);
  EXPECT_NEAR(ProbeWait("9600,n,8,2", 50ms, true).count(), 173'500, 100);
}

Bytes WithCrc(Bytes bytes) {
  modbus::AppendCrc(bytes);
  return bytes;
}

TEST(Probe, OnlyAWholeMatchedAnswerIsAFind) {
  const Bytes versions = WithCrc({12, 3, 4, 0x01, 0x05, 0x02, 0x0E});
  const Bytes refused = WithCrc({12, 0x83, 2});
  Bytes badCrc = versions;
  badCrc.back() ^= 1;
  Bytes noise{0xFF, 0x00};
  noise.insert(noise.end(), versions.begin(), versions.end());
  const struct {
    const char* name;
    Bytes received;
    int address;
    std::optional<ProbeFind> find;
  } cases[] = {
      {"versions", versions, 12, ProbeFind{ProbeFind::Kind::kTorvex, 0x0105, 0x020E, 0}},
      {"behind noise", noise, 12, ProbeFind{ProbeFind::Kind::kTorvex, 0x0105, 0x020E, 0}},
      {"an exception: another device", refused, 12, ProbeFind{ProbeFind::Kind::kOtherDevice, 0, 0, 2}},
      {"another address", versions, 13, std::nullopt},
      {"a wrong CRC", badCrc, 12, std::nullopt},
      {"cut short", Bytes(versions.begin(), versions.end() - 1), 12, std::nullopt},
      {"nothing", {}, 12, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeProbe(c.received, c.address, LinkFraming::kRtuLine), c.find) << c.name;
  }

  // Over Modbus TCP the answer carries the probe's transaction.
  const Bytes mbap{0, 9, 0, 0, 0, 7, 200, 3, 4, 0x01, 0x05, 0x02, 0x0E};
  EXPECT_TRUE(JudgeProbe(mbap, 200, LinkFraming::kMbap, 9));
  EXPECT_FALSE(JudgeProbe(mbap, 200, LinkFraming::kMbap, 8));
  EXPECT_EQ(VersionText(0x020E), "2.14");
  EXPECT_EQ(VersionText(0x0105), "1.05");
}

}  // namespace
}  // namespace torvex::search
