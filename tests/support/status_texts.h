#pragma once
// The status line's texts of the exchange, as the window shows them, for tests that watch the
// window. tests/engine pins the words themselves.
#include <QString>

#include "ui/status_words.h"
#include "engine/request_queue.h"

namespace torvex::test {

inline const QString kStatusLinkUp = ExchangeOutcomeText(ExchangeOutcome::kLinkUp);
inline const QString kStatusNoAnswer = ExchangeOutcomeText(ExchangeOutcome::kNoAnswer);
inline const QString kStatusBadCrc = ExchangeOutcomeText(ExchangeOutcome::kChecksumMismatch);
inline const QString kStatusNotThisAnswer = ExchangeOutcomeText(ExchangeOutcome::kNotThisAnswer);
inline const QString kStatusGatewayNoAnswer = ExchangeOutcomeText(ExchangeOutcome::kGatewayNoAnswer);
inline const QString kStatusGatewayNoPath = ExchangeOutcomeText(ExchangeOutcome::kGatewayNoPath);
inline const QString kStatusQueueRefused = ExchangeOutcomeText(ExchangeOutcome::kQueueFull);
// What a tick's status carries behind its own words while the ring stays full.
inline const QString kStatusQueueFullNote =
    StatusLineText(ExchangeOutcome::kLinkUp, RequestQueue::kSlots - 1).sliced(kStatusLinkUp.size());

}  // namespace torvex::test
