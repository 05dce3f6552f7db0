#pragma once
// The simulator as a TCP server (--listen): the listening socket and the connections it
// accepts, non-blocking, their bytes sent at once (no Nagle delay), since a Modbus master
// waits for each answer before it asks again.
#include <optional>
#include <stdexcept>
#include <string>

#include "sim/options.h"

namespace torvex::sim {

class ListenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An accepted connection, closed when it goes.
class TcpConnection {
 public:
  TcpConnection(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {}
  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&& other) noexcept;
  TcpConnection(const TcpConnection&) = delete;
  ~TcpConnection();

  int Fd() const { return fd_; }
  const std::string& Peer() const { return peer_; }  // "127.0.0.1:50312"

 private:
  int fd_ = -1;
  std::string peer_;
};

class TcpListener {
 public:
  // Binds and listens; throws ListenError. An empty host means every IPv4 address; a name is
  // resolved and the first of its addresses that can be bound is taken.
  static TcpListener Open(const ListenAddress& address);

  TcpListener(TcpListener&& other) noexcept;
  TcpListener& operator=(TcpListener&&) = delete;
  TcpListener(const TcpListener&) = delete;
  ~TcpListener();

  int Fd() const { return fd_; }
  // The address and port as bound, the port chosen when 0 was asked: "127.0.0.1:40123",
  // "[::1]:40123", "0.0.0.0:5020".
  const std::string& Address() const { return address_; }

  // A connection waiting to be accepted; nothing when none waits (or it went before it was
  // taken).
  std::optional<TcpConnection> Accept() const;

 private:
  TcpListener() = default;

  int fd_ = -1;
  std::string address_;
};

}  // namespace torvex::sim
