#pragma once
// A serial port in memory: records every write, hands out bytes a test puts in; it can frame
// as a TCP link does.
#include <deque>
#include <optional>
#include <vector>

#include "platform/serial_port.h"

namespace torvex::test {

class FakeSerialPort : public SerialPort {
 public:
  void SetSettings(const QString& mode) override { settings = mode; }
  void SetCommPort(int number) override { portNumber = number; }
  void Open() override {
    if (openError) throw PortError(*openError, "refused by the test");
    open = true;
  }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  void Write(std::span<const std::uint8_t> bytes) override {
    written.emplace_back(bytes.begin(), bytes.end());
  }
  int BytesWaiting() override { return open ? static_cast<int>(incoming.size()) : 0; }
  std::uint8_t ReadByte() override {
    if (incoming.empty()) return 0;
    std::uint8_t b = incoming.front();
    incoming.pop_front();
    return b;
  }

  std::optional<std::chrono::steady_clock::time_point> LastArrival() const override {
    return lastArrival;
  }
  LinkFraming Framing() const override { return framing; }
  void SetWakeThreshold(std::size_t count) override { wakeThreshold = count; }

  // Queues bytes as if they had arrived on the line, the last of them at `at` when given.
  void Receive(const std::vector<std::uint8_t>& bytes,
               std::optional<std::chrono::steady_clock::time_point> at = std::nullopt) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    if (at) lastArrival = at;
  }

  QString settings;
  int portNumber = 0;
  bool open = true;
  std::optional<PortError::Kind> openError;  // Open throws this when set
  std::deque<std::uint8_t> incoming;
  std::vector<std::vector<std::uint8_t>> written;
  std::optional<std::chrono::steady_clock::time_point> lastArrival;
  LinkFraming framing = LinkFraming::kRtuLine;  // as a TCP link would frame, when set
  std::size_t wakeThreshold = 1;  // the bytes the engine last let gather before a wake
};

}  // namespace torvex::test
