#pragma once
// What became of an exchange, as a value. The engine reports it; the exchange presenter's
// status words (ui/status_words.h) turn it into the status line's text.
#include <cstdint>
#include <optional>

namespace torvex {

enum class ExchangeOutcome {
  kLinkUp,            // a valid answer arrived
  kNoAnswer,          // fewer than 3 bytes arrived
  kChecksumMismatch,  // the answer's CRC did not match, or it came cut short
  kNotThisAnswer,     // only a well-formed frame that does not answer the request arrived
  kOwnRequest,        // the request itself came back: an echoing adapter the settings omit
  // A Modbus TCP gateway answered for the controller: exception 11, the controller behind it
  // did not answer; exception 10, it has no path to the unit. No answer, as silence is.
  kGatewayNoAnswer,
  kGatewayNoPath,
  kQueueFull,         // a command was refused: 511 requests already wait
};

// What the engine reports of an exchange or a refused command, for whoever shows it.
struct ExchangeReport {
  ExchangeOutcome outcome;
  int pending;          // requests in the ring after it
  std::int64_t errors;  // failed exchanges so far
  // The code of the controller's exception answer, when the valid answer was one.
  std::optional<int> exception = std::nullopt;
};

}  // namespace torvex
