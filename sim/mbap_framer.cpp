#include "sim/mbap_framer.h"

#include "modbus/mbap.h"
#include "sim/text.h"

namespace torvex::sim {

using modbus::kMbapHeaderSize;

MbapFramer::Result MbapFramer::Feed(std::span<const std::uint8_t> bytes) {
  Result result;
  if (lost_) {
    result.lostStep = "the stream had already lost its step";
    return result;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  std::size_t at = 0;
  for (;;) {
    const std::span<const std::uint8_t> rest(buffer_.data() + at, buffer_.size() - at);
    const std::optional<std::size_t> length = modbus::MbapFrameLength(rest);
    if (!length) {
      const modbus::MbapHeader header = *modbus::ParseMbapHeader(rest);
      lost_ = true;
      result.lostStep = "a header no Modbus TCP frame can have (" + Hex(rest.first(kMbapHeaderSize)) +
                        ": protocol " + Dec(header.protocol) + ", length " + Dec(header.length) + ")";
      buffer_.clear();
      return result;
    }
    if (*length == 0 || rest.size() < *length) break;
    const modbus::MbapHeader header = *modbus::ParseMbapHeader(rest);
    result.requests.push_back({Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(*length)),
                               header.transaction, header.unit});
    at += *length;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
  return result;
}

Frame RtuFrame(const MbapRequest& request) {
  Bytes frame(request.adu.begin() + kMbapHeaderSize - 1, request.adu.end());  // unit, PDU
  AppendCrc(frame);
  return {std::move(frame), true};
}

Bytes MbapAnswer(std::uint16_t transaction, std::uint8_t unit, std::span<const std::uint8_t> rtuAnswer) {
  const auto pdu = rtuAnswer.subspan(1, rtuAnswer.size() - 3);  // without address and CRC
  return modbus::MbapFrame(transaction, unit, modbus::Pdu::FromBytes(pdu));
}

}  // namespace torvex::sim
