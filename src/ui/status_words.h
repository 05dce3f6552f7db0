#pragma once
// The status line's words for each outcome of the exchange: the one place that turns the
// engine's outcomes into text.
#include <chrono>
#include <optional>

#include <QString>

#include "engine/exchange_outcome.h"

namespace torvex {

// The outcome's own words, e.g. "Ошибка обмена: Несовпадение КС".
QString ExchangeOutcomeText(ExchangeOutcome outcome);

// A tick's status line says how many requests wait once more than this many do, so that an
// operator knows why the measurements stand still while a backlog drains.
inline constexpr int kQueueNoteAbove = 20;

// The status line after the outcome, with `pending` requests in the ring. A tick's outcome
// carries a note behind it: " В очереди 25 запросов" above kQueueNoteAbove, and while the ring
// is full that new commands are not taken, so the refusal stays visible.
QString StatusLineText(ExchangeOutcome outcome, int pending);

// The note behind the status line while answers come later than the automatic wait may grow
// (ModbusEngine::AnswersTooLate): " Ответы приходят через ~3000 мс: задайте ожидание ответа в
// настройке"; empty when they do not.
QString AnswersTooLateNote(std::optional<std::chrono::milliseconds> late);

}  // namespace torvex
