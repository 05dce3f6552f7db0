#pragma once
// Cuts a Modbus TCP stream into requests by the length in each MBAP header, and turns a request
// into the frame the controller hears on its line (unit identifier, PDU, CRC) and the
// controller's answer back into an MBAP frame. A header that cannot start a Modbus frame means
// the stream has lost its step: nothing after it can be trusted, so the framer stops there.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/modbus.h"
#include "sim/rtu_framer.h"

namespace torvex::sim {

struct MbapRequest {
  Bytes adu;  // header and PDU, as received
  std::uint16_t transaction = 0;
  std::uint8_t unit = 0;
};

class MbapFramer {
 public:
  struct Result {
    std::vector<MbapRequest> requests;  // completed, in stream order
    // Set when the stream has lost its step: what was wrong with the header.
    std::optional<std::string> lostStep;
  };
  // Bytes as read from the connection; a request may span calls, or a call carry several.
  Result Feed(std::span<const std::uint8_t> bytes);

 private:
  Bytes buffer_;
  bool lost_ = false;
};

// The request as a gateway puts it on the line: the unit identifier as the slave address,
// the PDU, the CRC.
Frame RtuFrame(const MbapRequest& request);

// The controller's answer frame (address, PDU, CRC) behind an MBAP header carrying
// `transaction` and `unit`.
Bytes MbapAnswer(std::uint16_t transaction, std::uint8_t unit, std::span<const std::uint8_t> rtuAnswer);

}  // namespace torvex::sim
