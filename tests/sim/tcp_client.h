#pragma once
// The master's end of a TCP connection to the simulator (torvex-sim --listen), for tests.
#include <chrono>
#include <cstdint>
#include <string>

#include "sim/modbus.h"

namespace torvex::sim::testing {

// The port in a start line such as "... on TCP 127.0.0.1:40123 (Modbus TCP) ..."; 0 if none.
std::uint16_t PortInBanner(const std::string& banner);

// The Modbus TCP frame of an RTU frame: its address as the unit identifier, its PDU behind an
// MBAP header with `transaction`; the CRC dropped.
Bytes Mbap(std::uint16_t transaction, const Bytes& rtuFrame);

class TcpClient {
 public:
  // Connects to 127.0.0.1:`port`; fails the test when it cannot.
  explicit TcpClient(std::uint16_t port);
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  void Send(const Bytes& bytes);
  // Sends `chunk` again and again as long as the connection takes it at once, `limit` bytes at
  // most; returns how many it took.
  std::size_t SendWhileTaken(const Bytes& chunk, std::size_t limit);
  // Collects bytes until `count` have come, `timeout` has passed or the simulator has closed.
  Bytes Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2));
  Bytes Exchange(const Bytes& request, std::size_t count);
  // Whether the simulator closes the connection within `timeout` (bytes before that are
  // dropped).
  bool ClosedBySimulator(std::chrono::milliseconds timeout = std::chrono::seconds(2));
  void Close();

 private:
  int fd_ = -1;
};

}  // namespace torvex::sim::testing
