#include "tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <charconv>
#include <regex>

#include "modbus/mbap.h"
#include "sim_process.h"

namespace torvex::sim::testing {

std::uint16_t PortInBanner(const std::string& banner) {
  static const std::regex kPort(R"( on TCP \S+:(\d+) )");
  std::smatch m;
  if (!std::regex_search(banner, m, kPort)) return 0;
  const std::string digits = m[1].str();
  unsigned port = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), port);
  return static_cast<std::uint16_t>(port);
}

Bytes Mbap(std::uint16_t transaction, const Bytes& rtuFrame) {
  const std::span<const std::uint8_t> pdu(rtuFrame.data() + 1, rtuFrame.size() - 3);
  return modbus::MbapFrame(transaction, rtuFrame[0], modbus::Pdu::FromBytes(pdu));
}

TcpClient::TcpClient(std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot connect to 127.0.0.1:" << port;
    Close();
    return;
  }
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TcpClient::~TcpClient() { Close(); }

void TcpClient::Send(const Bytes& bytes) {
  ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

std::size_t TcpClient::SendWhileTaken(const Bytes& chunk, std::size_t limit) {
  std::size_t taken = 0;
  while (taken < limit) {
    const ssize_t n = ::send(fd_, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;
    taken += static_cast<std::size_t>(n);
  }
  return taken;
}

Bytes TcpClient::Receive(std::size_t count, std::chrono::milliseconds timeout) {
  return ReadBytes(fd_, count, timeout);
}

Bytes TcpClient::Exchange(const Bytes& request, std::size_t count) {
  Send(request);
  return Receive(count);
}

bool TcpClient::ClosedBySimulator(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint8_t buffer[512];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) return true;  // end of file, or reset
  }
}

void TcpClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace torvex::sim::testing
