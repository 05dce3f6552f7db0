#include "sim/tcp_listener.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "sim/text.h"

namespace torvex::sim {
namespace {

// "1.2.3.4:502" or "[::1]:502".
std::string Describe(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (address.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &a.sin6_addr, host, sizeof host);
    return "[" + std::string(host) + "]:" + Dec(ntohs(a.sin6_port));
  }
  const auto& a = reinterpret_cast<const sockaddr_in&>(address);
  ::inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
  return std::string(host) + ":" + Dec(ntohs(a.sin_port));
}

std::string Shown(const ListenAddress& address) {
  const std::string host = address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
  return (host.empty() ? "0.0.0.0" : host) + ":" + Dec(address.port);
}

}  // namespace

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), peer_(std::move(other.peer_)) {}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    peer_ = std::move(other.peer_);
  }
  return *this;
}

TcpConnection::~TcpConnection() {
  if (fd_ >= 0) ::close(fd_);
}

TcpListener TcpListener::Open(const ListenAddress& address) {
  addrinfo hints{};
  hints.ai_family = address.host.empty() ? AF_INET : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = Dec(address.port);
  if (const int rc = ::getaddrinfo(address.host.empty() ? nullptr : address.host.c_str(), port.c_str(), &hints, &found);
      rc != 0) {
    throw ListenError("cannot listen on " + Shown(address) + ": " + ::gai_strerror(rc));
  }
  // A name's IPv4 address first: "localhost" is 127.0.0.1 then, wherever ::1 comes first
  // among its addresses, and many Modbus masters connect over IPv4 only.
  std::vector<const addrinfo*> candidates;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) candidates.push_back(a);
  std::stable_partition(candidates.begin(), candidates.end(),
                        [](const addrinfo* a) { return a->ai_family == AF_INET; });
  std::string failure = "no address to bind";
  TcpListener listener;
  for (const addrinfo* a : candidates) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      failure = std::strerror(errno);
      continue;
    }
    // A restarted simulator takes its port back while the last run's connections linger.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
      failure = std::strerror(errno);
      ::close(fd);
      continue;
    }
    listener.fd_ = fd;
    break;
  }
  ::freeaddrinfo(found);
  if (listener.fd_ < 0) throw ListenError("cannot listen on " + Shown(address) + ": " + failure);

  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(listener.fd_, reinterpret_cast<sockaddr*>(&bound), &length);
  listener.address_ = Describe(bound);
  return listener;
}

TcpListener::TcpListener(TcpListener&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), address_(std::move(other.address_)) {}

TcpListener::~TcpListener() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<TcpConnection> TcpListener::Accept() const {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return TcpConnection(fd, Describe(peer));
}

}  // namespace torvex::sim
