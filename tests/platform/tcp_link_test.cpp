// The network link against a real TCP server on loopback: bytes both ways, the reasons a
// connection fails, a dropped connection tried again each second until it is back.
#include "platform/tcp_link.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include <thread>

#include "support/wait_for.h"

namespace torvex {
namespace {

using namespace std::chrono_literals;
using test::WaitFor;
using Bytes = std::vector<std::uint8_t>;

class TcpLinkTest : public ::testing::Test {
 protected:
  TcpLinkTest() {
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* next = server.nextPendingConnection()) peer = next;
    });
  }
  NetworkTarget Target(LinkFraming framing = LinkFraming::kMbap) const {
    return {framing, QStringLiteral("127.0.0.1"), server.serverPort()};
  }
  Bytes Take(int count) {
    Bytes bytes;
    while (link.BytesWaiting() > 0 && static_cast<int>(bytes.size()) < count) {
      bytes.push_back(link.ReadByte());
    }
    return bytes;
  }

  QTcpServer server;
  QTcpSocket* peer = nullptr;
  TcpLink link;
};

TEST_F(TcpLinkTest, CarriesBytesBothWaysAndFramesAsItsTargetSays) {
  link.Connect(Target(LinkFraming::kRtuStream));
  ASSERT_TRUE(link.WaitConnected());
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(link.Framing(), LinkFraming::kRtuStream);
  ASSERT_TRUE(WaitFor([&] { return peer != nullptr; }));

  const Bytes request{0x07, 0x03, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
  link.Write(request);
  ASSERT_TRUE(WaitFor([&] { return peer->bytesAvailable() >= 8; }));
  const QByteArray got = peer->readAll();
  EXPECT_EQ(Bytes(got.begin(), got.end()), request);

  EXPECT_FALSE(link.LastArrival());
  peer->write("\x07\x06", 2);  // a frame split by the network: the halves join
  ASSERT_TRUE(WaitFor([&] { return link.BytesWaiting() == 2; }));
  peer->write("\x0B\xB8", 2);
  ASSERT_TRUE(WaitFor([&] { return link.BytesWaiting() == 4; }));
  EXPECT_EQ(Take(4), (Bytes{0x07, 0x06, 0x0B, 0xB8}));
  EXPECT_TRUE(link.LastArrival());
}

TEST_F(TcpLinkTest, AFailedConnectionSaysWhyAndNamesTheServer) {
  const quint16 nobody = server.serverPort();
  server.close();  // nothing listens there now
  struct Case {
    QString host;
    NetworkFault::Reason reason;
    const char* words;
  } const cases[] = {
      {QStringLiteral("127.0.0.1"), NetworkFault::Reason::Refused, "соединение отвергнуто"},
      {QStringLiteral("no-such-host.invalid"), NetworkFault::Reason::HostNotFound,
       "адрес не найден"},
  };
  for (const Case& c : cases) {
    const NetworkTarget target{LinkFraming::kMbap, c.host, nobody};
    link.Connect(target);
    const BasicResult<NetworkFault> connected = link.WaitConnected();
    ASSERT_FALSE(connected) << c.host.toStdString();
    EXPECT_EQ(connected.Why().reason, c.reason) << c.host.toStdString();
    EXPECT_FALSE(link.IsOpen());
    const QString text = NetworkFaultText(target, connected.Why());
    EXPECT_TRUE(text.startsWith(QStringLiteral("Сервер ") + target.HostPort() + ": "))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.words))) << text.toStdString();
  }
}

TEST_F(TcpLinkTest, ADroppedConnectionIsTriedAgainEachSecondUntilTheServerIsBack) {
  link.Connect(Target());
  ASSERT_TRUE(link.WaitConnected());
  ASSERT_TRUE(WaitFor([&] { return peer != nullptr; }));
  const quint16 port = server.serverPort();

  // The server goes: the connection drops; what it sent before stays to be read.
  peer->write("\x01\x02", 2);
  peer->flush();
  ASSERT_TRUE(WaitFor([&] { return link.BytesWaiting() == 2; }));
  server.close();
  peer->abort();
  peer = nullptr;
  ASSERT_TRUE(WaitFor([&] { return !link.IsOpen(); }));
  EXPECT_EQ(Take(2), (Bytes{0x01, 0x02}));
  EXPECT_EQ(link.BytesWaiting(), 0);
  ASSERT_TRUE(link.Fault());
  EXPECT_TRUE(link.Fault()->reason == NetworkFault::Reason::Dropped ||
              link.Fault()->reason == NetworkFault::Reason::Refused);

  // Back on the same port: connected again without being asked, within two seconds.
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
  EXPECT_TRUE(WaitFor([&] { return link.IsOpen(); }, 2000));
  EXPECT_FALSE(link.Fault());

  // Closed by its user, it stays closed, and keeps nothing.
  peer->write("\x03", 1);
  peer->flush();
  ASSERT_TRUE(WaitFor([&] { return link.BytesWaiting() == 1; }));
  link.Close();
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.BytesWaiting(), 0);
  link.Write(Bytes{1, 2, 3});  // nothing happens on a closed link
  QTest::qWait(1500);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(link.Wanted());
}

// Qt takes bytes from a socket only as its event loop passes; an exchange judged before that
// (the program held up) must still see them.
TEST_F(TcpLinkTest, BytesThatHaveArrivedAreTakenWithoutWaitingForTheEventLoop) {
  link.Connect(Target());
  ASSERT_TRUE(link.WaitConnected());
  ASSERT_TRUE(WaitFor([&] { return peer != nullptr; }));
  QTcpSocket* far = peer;
  far->write("\x00\x01\x00", 3);
  ASSERT_TRUE(far->waitForBytesWritten(1000));
  // No event loop from here on: only the socket holds the bytes.
  int waiting = 0;
  for (int i = 0; i < 100 && (waiting = link.BytesWaiting()) < 3; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(waiting, 3);
}

// Some servers close the connection after every answer. What came before the close is read,
// and the link connects again at once, as nothing has failed.
TEST_F(TcpLinkTest, AServerThatClosesAfterAnsweringIsConnectedToAgainAtOnce) {
  link.Connect(Target(LinkFraming::kRtuStream));
  ASSERT_TRUE(link.WaitConnected());
  ASSERT_TRUE(WaitFor([&] { return peer != nullptr; }));
  const std::uint64_t first = link.Connection();
  QTcpSocket* far = peer;
  peer = nullptr;
  link.Write(Bytes{0x07, 0x06, 0x0B, 0xB8, 0x00, 0x01, 0xCA, 0x6D});
  ASSERT_TRUE(WaitFor([&] { return far->bytesAvailable() == 8; }));
  far->write(far->readAll());  // the answer of a one-register write is its request
  far->disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return link.Connection() != first; }));
  EXPECT_EQ(link.BytesWaiting(), 8) << "the answer that came before the close";
  ASSERT_TRUE(WaitFor([&] { return link.IsOpen() && peer != nullptr; }));
  EXPECT_FALSE(link.Fault()) << "not a failure";
  EXPECT_FALSE(link.Reopening());

  // A server that closes a connection that has served nothing is tried again as after a drop.
  const std::uint64_t second = link.Connection();
  peer->disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return link.Connection() != second || link.Fault(); }));
  EXPECT_TRUE(link.Fault());
  EXPECT_FALSE(link.Reopening());
}

}  // namespace
}  // namespace torvex
