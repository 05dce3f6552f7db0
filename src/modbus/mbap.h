#pragma once
// A Modbus TCP application data unit: the MBAP header in place of the serial line's address
// and CRC, then the PDU. The header is the transaction identifier (the master's count, which
// its answer repeats), the protocol identifier (0 for Modbus), the length of what follows it
// (the unit identifier and the PDU) and the unit identifier (the slave address behind a
// gateway). TCP carries a byte stream, so a frame is cut from it by that length.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "modbus/pdu.h"

namespace torvex::modbus {

// Transaction, protocol, length (2 bytes each, high byte first) and the unit identifier.
inline constexpr std::size_t kMbapHeaderSize = 7;
inline constexpr std::uint16_t kModbusProtocol = 0;
// The longest PDU the standard allows; a header claiming more is not Modbus.
inline constexpr std::size_t kMaxTcpPduSize = 253;

struct MbapHeader {
  std::uint16_t transaction = 0;
  std::uint16_t protocol = kModbusProtocol;
  std::uint16_t length = 0;  // the unit identifier and the PDU
  std::uint8_t unit = 0;
  friend bool operator==(const MbapHeader&, const MbapHeader&) = default;
};

// The request as it goes on the connection: the header, then function code and data.
std::vector<std::uint8_t> MbapFrame(std::uint16_t transaction, std::uint8_t unit, const Pdu& pdu);

// The header at the start of the bytes; none before all 7 bytes are there.
std::optional<MbapHeader> ParseMbapHeader(std::span<const std::uint8_t> bytes);

// How long the frame that starts here is, header included: 0 while its header has not all
// arrived; none when the header cannot start a Modbus frame (another protocol, a length that
// carries no function code or more than a PDU can hold), so the stream has lost its step.
std::optional<std::size_t> MbapFrameLength(std::span<const std::uint8_t> bytes);

// A whole Modbus TCP frame as the serial line would carry it: the unit identifier as the
// address, the PDU, the CRC. What reads RTU frames (the decoder, the monitor's meanings) reads
// it unchanged. Empty for fewer bytes than a header and a function code.
std::vector<std::uint8_t> RtuOfMbap(std::span<const std::uint8_t> frame);

}  // namespace torvex::modbus
