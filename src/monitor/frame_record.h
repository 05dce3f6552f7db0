#pragma once
// One frame on the line as the exchange monitor and the exchange log keep it: a plain value of
// fixed size, so that keeping the last ten thousand costs no allocation per frame.
#include <array>
#include <cstdint>
#include <span>

#include "engine/exchange_observer.h"
#include "monitor/exchange_error.h"

namespace torvex {

struct FrameRecord {
  static constexpr std::size_t kMaxBytes = 261;   // the longest frame the engine keeps
  // Enough of a request to say what answers it, behind a Modbus TCP header too.
  static constexpr std::size_t kRequestHead = 16;

  std::int64_t wallMs;  // local wall clock, milliseconds since the epoch
  FrameDirection direction;
  FrameOutcome outcome;
  bool resend;               // Tx: the same request again after a failed exchange
  bool mbap;                 // a Modbus TCP frame: its header in place of the address and CRC
  std::int16_t exceptionCode;
  std::int32_t sinceRequestMs;  // Rx: time since the request left; -1 when none was in flight
  std::uint16_t size;
  std::uint8_t requestSize;  // Rx: how much of the request in flight is in `request`
  std::uint16_t expectedSize;  // Incomplete: the length the whole answer would have had
  std::array<std::uint8_t, kMaxBytes> bytes;
  std::array<std::uint8_t, kRequestHead> request;

  std::span<const std::uint8_t> Bytes() const { return {bytes.data(), size}; }
  std::span<const std::uint8_t> Request() const { return {request.data(), requestSize}; }
  // The frame ended an exchange that failed.
  bool IsError() const { return torvex::IsError(outcome); }
};

}  // namespace torvex
