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

std::optional<ProbeReply> Reply(std::span<const std::uint8_t> received, int address,
                                LinkFraming framing = LinkFraming::kRtuLine,
                                std::uint16_t transaction = 0,
                                const modbus::Pdu& request = ProbeRequest()) {
  return ReplyOf(ScanReply(received, address, request, framing, transaction), received, framing);
}

TEST(Probe, OnlyAWholeMatchedAnswerIsAReply) {
  const Bytes versions = WithCrc({12, 3, 4, 0x01, 0x05, 0x02, 0x0E});
  const Bytes refused = WithCrc({12, 0x83, 2});
  Bytes badCrc = versions;
  badCrc.back() ^= 1;
  Bytes noise{0xFF, 0x00};
  noise.insert(noise.end(), versions.begin(), versions.end());
  const ProbeReply answer{ProbeReply::Kind::kAnswer, 0, {4, 0x01, 0x05, 0x02, 0x0E}};
  const struct {
    const char* name;
    Bytes received;
    int address;
    std::optional<ProbeReply> reply;
  } cases[] = {
      {"versions", versions, 12, answer},
      {"behind noise", noise, 12, answer},
      {"refused", refused, 12, ProbeReply{ProbeReply::Kind::kException, 2, {}}},
      {"a gateway without a path", WithCrc({12, 0x83, 0x0A}), 12,
       ProbeReply{ProbeReply::Kind::kGatewayNoPath, 0x0A, {}}},
      {"a gateway whose unit is silent", WithCrc({12, 0x83, 0x0B}), 12,
       ProbeReply{ProbeReply::Kind::kGatewayNoResponse, 0x0B, {}}},
      {"another address", versions, 13, std::nullopt},
      {"a wrong CRC", badCrc, 12, std::nullopt},
      {"cut short", Bytes(versions.begin(), versions.end() - 1), 12, std::nullopt},
      {"nothing", {}, 12, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(Reply(c.received, c.address), c.reply) << c.name;

  // Over Modbus TCP the answer carries the request's transaction.
  const Bytes mbap{0, 9, 0, 0, 0, 7, 200, 3, 4, 0x01, 0x05, 0x02, 0x0E};
  EXPECT_EQ(Reply(mbap, 200, LinkFraming::kMbap, 9), answer);
  EXPECT_FALSE(Reply(mbap, 200, LinkFraming::kMbap, 8));
  const Bytes gateway{0, 9, 0, 0, 0, 3, 200, 0x83, 0x0B};
  EXPECT_EQ(Reply(gateway, 200, LinkFraming::kMbap, 9)->kind, ProbeReply::Kind::kGatewayNoResponse);
  // The identity read's answer: the EEPROM byte asked for, echoed with its address and count.
  const Bytes identity = WithCrc({12, 100, 0x00, 0x60, 1, 12});
  EXPECT_EQ(Reply(identity, 12, LinkFraming::kRtuLine, 0, IdentityRequest()),
            (ProbeReply{ProbeReply::Kind::kAnswer, 0, {0x00, 0x60, 1, 12}}));
  EXPECT_FALSE(Reply(WithCrc({12, 100, 0x00, 0x00, 1, 12}), 12, LinkFraming::kRtuLine, 0,
                     IdentityRequest()))
      << "another EEPROM address";
}

// A TORVEX-CPU is a device that gives its versions and answers the identity read as asked; one
// that gives the versions alone is another Modbus device; a gateway's word that nothing
// answered behind it is no device at all.
TEST(Probe, TheVerdictNamesATorvexOnlyWhenItAlsoAnswersAsOne) {
  using Kind = ProbeReply::Kind;
  const ProbeReply versions{Kind::kAnswer, 0, {4, 0x01, 0x05, 0x02, 0x0E}};
  const ProbeReply identity{Kind::kAnswer, 0, {0x00, 0x60, 1, 12}};
  const ProbeFind other{ProbeFind::Kind::kOtherDevice, 0, 0, 0};
  const struct {
    const char* name;
    std::optional<ProbeReply> versions;
    std::optional<ProbeReply> identity;
    std::optional<ProbeFind> find;
  } cases[] = {
      {"the controller", versions, identity, ProbeFind{ProbeFind::Kind::kTorvex, 0x0105, 0x020E, 0}},
      {"function 100 refused", versions, ProbeReply{Kind::kException, 1, {}}, other},
      {"function 100 unanswered", versions, std::nullopt, other},
      {"function 100 unanswered behind a gateway", versions,
       ProbeReply{Kind::kGatewayNoResponse, 0x0B, {}}, other},
      {"the version read refused", ProbeReply{Kind::kException, 2, {}}, std::nullopt,
       ProbeFind{ProbeFind::Kind::kOtherDevice, 0, 0, 2}},
      {"a gateway without a path", ProbeReply{Kind::kGatewayNoPath, 0x0A, {}}, std::nullopt,
       std::nullopt},
      {"a gateway whose unit is silent", ProbeReply{Kind::kGatewayNoResponse, 0x0B, {}},
       std::nullopt, std::nullopt},
      {"silence", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(Verdict(c.versions, c.identity), c.find) << c.name;
  EXPECT_TRUE(NeedsIdentity(versions));
  EXPECT_FALSE(NeedsIdentity(ProbeReply{Kind::kException, 2, {}}));
  EXPECT_FALSE(NeedsIdentity(std::nullopt));
  EXPECT_EQ(VersionText(0x020E), "2.14");
  EXPECT_EQ(VersionText(0x0105), "1.05");
}

}  // namespace
}  // namespace torvex::search
