// The torvex-sim program as a TCP server (--listen), seen from a master's end of a connection:
// RTU over TCP (the serial bytes, as a device server passes them) and Modbus TCP.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "sim/controller.h"
#include "sim/eeprom.h"
#include "sim/text.h"
#include "sim_process.h"
#include "tcp_client.h"

namespace torvex::sim {
namespace {

using namespace std::chrono_literals;
using testing::Finished;
using testing::FromHex;
using testing::Mbap;
using testing::PortInBanner;
using testing::SimProcess;
using testing::TcpClient;
using testing::WithCrc;
using Clock = std::chrono::steady_clock;

// Registers 3042-3051: the discrete inputs, the board's temperature, engine and shaft speed,
// the status word, the protocol and software versions.
const Bytes kStatusRead = WithCrc({7, 3, 0x0B, 0xE2, 0, 10});
const Bytes kCodeWrite = FromHex("07 06 0B B8 00 01 CA 6D");

Controller Reference(std::uint64_t seed) { return Controller(Eeprom::Defaults(), Plant(seed, true), 7); }

// How a framing carries an RTU request or answer: as it is, or as Modbus TCP with a
// transaction identifier.
struct Framing {
  const char* name;
  bool modbusTcp;
  Bytes Carry(const Bytes& rtu, std::uint16_t transaction) const {
    return modbusTcp ? Mbap(transaction, rtu) : rtu;
  }
  std::vector<std::string> Args(std::vector<std::string> more) const {
    std::vector<std::string> args{"--listen", "127.0.0.1:0"};
    if (modbusTcp) args.push_back("--modbus-tcp");
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
};
const Framing kFramings[] = {{"RTU over TCP", false}, {"Modbus TCP", true}};

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes all = a;
  all.insert(all.end(), b.begin(), b.end());
  return all;
}

TEST(TcpWire, BothFramingsAnswerWhateverTheSegments) {
  for (const Framing& f : kFramings) {
    SCOPED_TRACE(f.name);
    SimProcess sim(f.Args({"--frozen", "--seed", "7"}), false);
    ASSERT_TRUE(sim.Started());
    EXPECT_NE(sim.Banner().find(" on TCP 127.0.0.1:"), std::string::npos) << sim.Banner();
    EXPECT_NE(sim.Banner().find(std::string(" (") + f.name + "), "), std::string::npos) << sim.Banner();
    TcpClient client(PortInBanner(sim.Banner()));
    const Bytes status = Reference(7).Handle(kStatusRead, 0).answer;
    ASSERT_EQ(Bytes(status.end() - 6, status.end() - 2), FromHex("01 05 02 0E")) << "the versions, last";

    EXPECT_EQ(client.Exchange(f.Carry(kStatusRead, 1), f.Carry(status, 1).size()), f.Carry(status, 1));
    // One request in two segments 200 ms apart: still one request.
    const Bytes request = f.Carry(kStatusRead, 2);
    client.Send(Bytes(request.begin(), request.begin() + 5));
    std::this_thread::sleep_for(200ms);
    client.Send(Bytes(request.begin() + 5, request.end()));
    EXPECT_EQ(client.Receive(f.Carry(status, 2).size()), f.Carry(status, 2));
    // Two requests in one segment: two answers.
    const Bytes both = Join(f.Carry(kCodeWrite, 3), f.Carry(kStatusRead, 4));
    const Bytes answers = Join(f.Carry(kCodeWrite, 3), f.Carry(status, 4));
    EXPECT_EQ(client.Exchange(both, answers.size()), answers);
    EXPECT_EQ(client.Receive(1, 100ms), Bytes{}) << "nothing beyond the answers";

    const Finished end = sim.Stop(SIGINT);
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.out.find("torvex-sim: 4 frames received, 4 answered"), 0u) << end.out;
  }
}

// As a serial device server: one client at a time; a second one is turned away while the
// first stays served; after the first has gone, even in the middle of a frame, the next one
// starts afresh.
TEST(TcpWire, OneClientAtATimeAndTheNextAfterIt) {
  for (const Framing& f : kFramings) {
    SCOPED_TRACE(f.name);
    SimProcess sim(f.Args({}), false);
    ASSERT_TRUE(sim.Started());
    const std::uint16_t port = PortInBanner(sim.Banner());
    auto first = std::make_unique<TcpClient>(port);
    EXPECT_EQ(first->Exchange(f.Carry(kCodeWrite, 1), f.Carry(kCodeWrite, 1).size()), f.Carry(kCodeWrite, 1));

    TcpClient second(port);
    EXPECT_TRUE(second.ClosedBySimulator());
    EXPECT_TRUE(sim.WaitForError("torvex-sim: refused a second client from 127.0.0.1:"));
    EXPECT_EQ(first->Exchange(f.Carry(kCodeWrite, 2), f.Carry(kCodeWrite, 2).size()), f.Carry(kCodeWrite, 2));

    const Bytes half = f.Carry(kStatusRead, 3);
    first->Send(Bytes(half.begin(), half.begin() + 4));
    first.reset();
    EXPECT_TRUE(sim.WaitForError("disconnected"));

    TcpClient third(port);
    EXPECT_EQ(third.Exchange(f.Carry(kCodeWrite, 4), f.Carry(kCodeWrite, 4).size()), f.Carry(kCodeWrite, 4));
    const Finished end = sim.Stop();
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.out.find("torvex-sim: 3 frames received, 3 answered"), 0u) << end.out;
  }
}

// While the simulator is busy (stopped here), a client connects, asks, closes, and the next one
// connects: both wait in the listen queue together. The first has gone by then, so the next
// one is served, not refused as a second client.
TEST(TcpWire, AClientThatHasClosedKeepsNobodyOut) {
  SimProcess sim(kFramings[1].Args({}), false);
  ASSERT_TRUE(sim.Started());
  const std::uint16_t port = PortInBanner(sim.Banner());
  ASSERT_EQ(::kill(sim.Pid(), SIGSTOP), 0);
  {
    TcpClient gone(port);
    gone.Send(Mbap(1, kCodeWrite));
  }
  TcpClient next(port);
  ASSERT_EQ(::kill(sim.Pid(), SIGCONT), 0);
  EXPECT_EQ(next.Exchange(Mbap(2, kCodeWrite), 12), Mbap(2, kCodeWrite));
  EXPECT_EQ(sim.Stop().err.find("refused"), std::string::npos);
}

// A Modbus TCP header no frame can have means the stream has lost its step: that connection
// is closed, and the simulator goes on. RTU over TCP has no header to lose: garbage is dropped
// and the connection stays.
TEST(TcpWire, ABadStreamClosesOnlyItsOwnConnection) {
  {
    SimProcess sim(kFramings[1].Args({}), false);
    ASSERT_TRUE(sim.Started());
    const std::uint16_t port = PortInBanner(sim.Banner());
    TcpClient client(port);
    EXPECT_EQ(client.Exchange(Mbap(1, kCodeWrite), 12), Mbap(1, kCodeWrite));
    client.Send(FromHex("00 02 00 01 00 06 07 06 0B B8 00 01"));  // protocol 1
    EXPECT_TRUE(client.ClosedBySimulator());
    EXPECT_TRUE(sim.WaitForError("lost its step")) << "it says why it closed the connection";

    TcpClient next(port);
    EXPECT_EQ(next.Exchange(Mbap(3, kCodeWrite), 12), Mbap(3, kCodeWrite));
  }
  SimProcess sim(kFramings[0].Args({}), false);
  ASSERT_TRUE(sim.Started());
  TcpClient client(PortInBanner(sim.Banner()));
  client.Send(FromHex("FF 00 13 37 0D 0A"));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(client.Exchange(kCodeWrite, 8), kCodeWrite);
}

TEST(TcpWireFaults, WrongTransactionAndSplitOnModbusTcp) {
  SimProcess sim(kFramings[1].Args({"--wrong-transaction-every", "2", "--split-every", "3"}), false);
  ASSERT_TRUE(sim.Started());
  EXPECT_NE(sim.Banner().find(", split every 3, wrong transaction every 2"), std::string::npos) << sim.Banner();
  TcpClient client(PortInBanner(sim.Banner()));
  EXPECT_EQ(client.Exchange(Mbap(0x0010, kCodeWrite), 12), Mbap(0x0010, kCodeWrite));
  const Bytes wrong = client.Exchange(Mbap(0x0011, kCodeWrite), 12);
  ASSERT_EQ(wrong.size(), 12u);
  EXPECT_NE(Bytes(wrong.begin(), wrong.begin() + 2), FromHex("00 11")) << "answer 2: another transaction";
  const Bytes right = Mbap(0x0011, kCodeWrite);
  EXPECT_EQ(Bytes(wrong.begin() + 2, wrong.end()), Bytes(right.begin() + 2, right.end())) << "the rest as it was";

  // Answer 3 in two parts, the tail more than a 100 ms tick after the request.
  const auto sent = Clock::now();
  client.Send(Mbap(0x0012, kCodeWrite));
  const Bytes head = client.Receive(6);
  const Bytes tail = client.Receive(6);
  EXPECT_GE(Clock::now() - sent, 100ms);
  EXPECT_EQ(Join(head, tail), Mbap(0x0012, kCodeWrite));
}

// Behind a gateway at 9600 baud, 8N2 (1.146 ms a character), the status block's request (8
// bytes) and answer (185 bytes) cross the line before the answer can come back.
TEST(TcpWire, LineTimingHoldsAModbusTcpAnswerForTheLineBehindTheGateway) {
  SimProcess sim(kFramings[1].Args({"--frozen", "--seed", "5", "--mode", "9600,n,8,2", "--line-timing"}), false);
  ASSERT_TRUE(sim.Started());
  TcpClient client(PortInBanner(sim.Banner()));
  const Bytes request = WithCrc({7, 3, 0x0B, 0xB8, 0, 90});
  const Bytes expected = Mbap(9, Reference(5).Handle(request, 0).answer);
  const auto sent = Clock::now();
  EXPECT_EQ(client.Exchange(Mbap(9, request), expected.size()), expected);
  EXPECT_GE(Clock::now() - sent, 215ms) << "193 characters of 1.146 ms";
  const Finished end = sim.Stop();
  EXPECT_EQ(end.out.find("bytes over an answer"), std::string::npos) << "a gateway talks over nobody";
}

// A timed line at 1200 baud takes 109 bytes a second. A master that sends far more is held back
// by TCP, as by a device server, instead of piling its bytes up in the simulator.
TEST(TcpWire, ATimedLineHoldsBackAMasterThatFloods) {
  for (const Framing& f : kFramings) {
    SCOPED_TRACE(f.name);
    SimProcess sim(f.Args({"--mode", "1200,n,8,2", "--line-timing"}), false);
    ASSERT_TRUE(sim.Started());
    TcpClient client(PortInBanner(sim.Banner()));
    Bytes flood;
    for (int k = 0; k < 4096; ++k) {
      const Bytes request = f.Carry(kCodeWrite, static_cast<std::uint16_t>(k));
      flood.insert(flood.end(), request.begin(), request.end());
    }
    constexpr std::size_t kLimit = 256u << 20;
    std::size_t taken = client.SendWhileTaken(flood, kLimit);
    std::this_thread::sleep_for(300ms);
    taken += client.SendWhileTaken(flood, kLimit);
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(client.SendWhileTaken(flood, kLimit), flood.size()) << "taken in all: " << taken;
    EXPECT_LT(taken, kLimit);
    const Finished end = sim.Stop();
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.out.find("torvex-sim: "), 0u) << end.out;
  }
}

// A gateway answers for the controller whenever the controller does not: exception 11 after
// its serial timeout for another unit, a request the controller leaves unanswered and an
// answer later than the timeout; exception 10 at once for a unit it has no path to.
TEST(TcpWireGateway, AnswersForASilentControllerWithItsExceptions) {
  const Bytes otherUnitRead = WithCrc({9, 3, 0x0B, 0xE2, 0, 10});
  {
    SimProcess sim(kFramings[1].Args({"--gateway", "--gateway-timeout-ms", "200", "--silent-every", "2"}), false);
    ASSERT_TRUE(sim.Started());
    EXPECT_NE(sim.Banner().find(", gateway (timeout 200 ms)"), std::string::npos) << sim.Banner();
    TcpClient client(PortInBanner(sim.Banner()));
    EXPECT_EQ(client.Exchange(Mbap(1, kCodeWrite), 12), Mbap(1, kCodeWrite));
    auto sent = Clock::now();
    EXPECT_EQ(client.Exchange(Mbap(2, kCodeWrite), 9), Mbap(2, WithCrc({7, 0x86, 0x0B})))
        << "the controller kept silent";
    EXPECT_GE(Clock::now() - sent, 200ms);
    sent = Clock::now();
    EXPECT_EQ(client.Exchange(Mbap(3, otherUnitRead), 9), Mbap(3, WithCrc({9, 0x83, 0x0B})));
    EXPECT_GE(Clock::now() - sent, 200ms);
    EXPECT_EQ(client.Exchange(Mbap(4, kCodeWrite), 12), Mbap(4, kCodeWrite)) << "request 3 of the controller";
    EXPECT_EQ(client.Receive(1, 100ms), Bytes{});
    const Finished end = sim.Stop();
    EXPECT_EQ(end.out.find("torvex-sim: 4 frames received, 2 answered (0 exceptions), 0 bad CRC, 1 ignored, "
                           "0 broadcast, 1 kept silent, 2 answered by the gateway"),
              0u)
        << end.out;
  }
  {
    // An answer later than the timeout is dropped by the gateway, which says 11 in its place;
    // the write was carried out all the same.
    SimProcess sim(kFramings[1].Args({"--gateway", "--gateway-timeout-ms", "100", "--delay-ms", "300"}), false);
    ASSERT_TRUE(sim.Started());
    TcpClient client(PortInBanner(sim.Banner()));
    EXPECT_EQ(client.Exchange(Mbap(5, kCodeWrite), 9), Mbap(5, WithCrc({7, 0x86, 0x0B})));
    EXPECT_EQ(client.Receive(1, 500ms), Bytes{}) << "the late answer does not follow";
    const Finished end = sim.Stop();
    EXPECT_NE(end.out.find(" 1 answered (0 exceptions), "), std::string::npos) << end.out;
  }
  SimProcess sim(kFramings[1].Args({"--gateway", "--gateway-no-path", "--gateway-timeout-ms", "60000"}), false);
  ASSERT_TRUE(sim.Started());
  EXPECT_NE(sim.Banner().find(", gateway (timeout 60000 ms, no path to other units)"), std::string::npos)
      << sim.Banner();
  TcpClient client(PortInBanner(sim.Banner()));
  EXPECT_EQ(client.Exchange(Mbap(6, otherUnitRead), 9), Mbap(6, WithCrc({9, 0x83, 0x0A})))
      << "at once, long before the timeout";
  EXPECT_EQ(client.Exchange(Mbap(7, kCodeWrite), 12), Mbap(7, kCodeWrite));
  const Finished end = sim.Stop();
  EXPECT_EQ(end.out.find("torvex-sim: 1 frames received, 1 answered"), 0u) << end.out << " (10 puts nothing on the line)";
  EXPECT_NE(end.out.find(", 1 answered by the gateway"), std::string::npos) << end.out;
}

// Requests sent together wait in the gateway's queue: each exchange starts when the one before
// has ended on its line.
TEST(TcpWireGateway, QueuesRequestsForItsLine) {
  SimProcess sim(kFramings[1].Args({"--gateway", "--delay-ms", "150"}), false);
  ASSERT_TRUE(sim.Started());
  TcpClient client(PortInBanner(sim.Banner()));
  const auto sent = Clock::now();
  client.Send(Join(Join(Mbap(1, kCodeWrite), Mbap(2, kCodeWrite)), Mbap(3, kCodeWrite)));
  EXPECT_EQ(client.Receive(36, 5s), Join(Join(Mbap(1, kCodeWrite), Mbap(2, kCodeWrite)), Mbap(3, kCodeWrite)));
  EXPECT_GE(Clock::now() - sent, 450ms) << "three exchanges of 150 ms one after the other";
}

// A server that closes the connection right after each answer: the answer comes whole, then
// the end of the connection; the next request comes on a new one. A request left unanswered
// keeps the connection, and a split answer closes only after its tail.
TEST(TcpWire, CloseAfterAnswerEndsTheConnectionBehindEachAnswer) {
  for (const Framing& f : kFramings) {
    SCOPED_TRACE(f.name);
    SimProcess sim(f.Args({"--close-after-answer", "--silent-every", "3", "--split-every", "4"}), false);
    ASSERT_TRUE(sim.Started());
    EXPECT_NE(sim.Banner().find(", close after answer"), std::string::npos) << sim.Banner();
    const std::uint16_t port = PortInBanner(sim.Banner());
    for (std::uint16_t k = 1; k <= 2; ++k) {
      TcpClient client(port);
      EXPECT_EQ(client.Exchange(f.Carry(kCodeWrite, k), f.Carry(kCodeWrite, k).size()), f.Carry(kCodeWrite, k));
      EXPECT_TRUE(client.ClosedBySimulator());
    }
    TcpClient client(port);
    client.Send(f.Carry(kCodeWrite, 3));  // kept silent
    EXPECT_EQ(client.Receive(1, 300ms), Bytes{});
    EXPECT_EQ(client.Exchange(f.Carry(kCodeWrite, 4), f.Carry(kCodeWrite, 4).size()), f.Carry(kCodeWrite, 4))
        << "the same connection, the answer whole though split";
    EXPECT_TRUE(client.ClosedBySimulator());
    const Finished end = sim.Stop();
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(end.err.find("connected"), std::string::npos) << "not said at every exchange: " << end.err;
  }
}

TEST(TcpWire, CommandLineAndAddresses) {
  SimProcess first(kFramings[0].Args({}), false);
  ASSERT_TRUE(first.Started());
  const std::string taken = "127.0.0.1:" + Dec(PortInBanner(first.Banner()));
  const Finished busy = testing::RunToEnd({"--listen", taken});
  EXPECT_EQ(busy.exitCode, 1);
  EXPECT_NE(busy.err.find("cannot listen on " + taken), std::string::npos) << busy.err;

  const Finished both = testing::RunToEnd({"--listen", "0", "--link", "/tmp/x"});
  EXPECT_EQ(both.exitCode, 2);
  EXPECT_NE(both.err.find("--listen excludes"), std::string::npos) << both.err;

  // IPv6 where the machine has its loopback.
  const int probe = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 loopback{};
  loopback.sin6_family = AF_INET6;
  loopback.sin6_addr = in6addr_loopback;
  const bool ipv6 = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
  if (probe >= 0) ::close(probe);
  if (!ipv6) GTEST_SKIP() << "no IPv6 loopback on this machine";
  SimProcess six({"--listen", "[::1]:0"}, false);
  ASSERT_TRUE(six.Started());
  EXPECT_NE(six.Banner().find(" on TCP [::1]:"), std::string::npos) << six.Banner();
}

}  // namespace
}  // namespace torvex::sim
