#pragma once
// What became of an exchange, as a value. The engine reports it; StatusLineText is the one
// place that turns it into the status line's words.
#include <cstdint>
#include <optional>

#include <QString>

namespace torvex {

enum class ExchangeOutcome {
  kLinkUp,            // a valid answer arrived
  kNoAnswer,          // fewer than 3 bytes arrived
  kChecksumMismatch,  // the answer's CRC did not match, or it came cut short
  kNotThisAnswer,     // only a well-formed frame that does not answer the request arrived
  kOwnRequest,        // the request itself came back: an echoing adapter the settings omit
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

// The outcome's own words, e.g. "Ошибка обмена: Несовпадение КС".
QString ExchangeOutcomeText(ExchangeOutcome outcome);

// A tick's status line says how many requests wait once more than this many do, so that an
// operator knows why the measurements stand still while a backlog drains.
inline constexpr int kQueueNoteAbove = 20;

// The status line after the outcome, with `pending` requests in the ring. A tick's outcome
// carries a note behind it: " В очереди 25 запросов" above kQueueNoteAbove, and while the ring
// is full that new commands are not taken, so the refusal stays visible.
QString StatusLineText(ExchangeOutcome outcome, int pending);

}  // namespace torvex
