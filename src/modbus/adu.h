#pragma once
// An application data unit on a serial line (Modbus RTU): the slave address, the PDU, and the
// CRC-16 over both, low byte first.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "modbus/pdu.h"

namespace torvex::modbus {

// A request to it is carried out by every slave and answered by none.
inline constexpr std::uint8_t kBroadcastAddress = 0;
// Address, function code and CRC: nothing shorter is a frame.
inline constexpr std::size_t kMinFrameSize = 4;
inline constexpr std::size_t kCrcSize = 2;

class Adu {
 public:
  Adu(std::uint8_t address, Pdu pdu) : address_(address), pdu_(std::move(pdu)) {}

  // A received frame of at least kMinFrameSize bytes whose CRC matches; nothing otherwise.
  static std::optional<Adu> Parse(std::span<const std::uint8_t> frame);

  std::uint8_t Address() const { return address_; }
  const Pdu& GetPdu() const { return pdu_; }
  // The frame as it goes on the line: address, function code, data, CRC low, CRC high.
  std::vector<std::uint8_t> Bytes() const;

  friend bool operator==(const Adu&, const Adu&) = default;

 private:
  std::uint8_t address_;
  Pdu pdu_;
};

}  // namespace torvex::modbus
