#include "ui/status_words.h"

#include "engine/request_queue.h"
#include "monitor/frame_meaning.h"
#include "text/counted_noun.h"

namespace torvex {
namespace {

// " В очереди 21 запрос", "... 22 запроса", "... 25 запросов".
QString QueueLengthNote(int pending) {
  return QStringLiteral(" В очереди ") + CountedNoun(pending, {"запрос", "запроса", "запросов"});
}

}  // namespace

QString ExchangeOutcomeText(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::kLinkUp:
      return QStringLiteral("Связь с контроллером TORVEX-CPU установлена");
    case ExchangeOutcome::kNoAnswer:
      return QStringLiteral("Ошибка обмена: Нет ответа от контроллера TORVEX-CPU");
    case ExchangeOutcome::kChecksumMismatch:
      return QStringLiteral("Ошибка обмена: Несовпадение КС");
    case ExchangeOutcome::kNotThisAnswer:
      return QStringLiteral("Ошибка обмена: Ответ не соответствует запросу");
    case ExchangeOutcome::kOwnRequest:
      return QStringLiteral("Ошибка обмена: Вместо ответа вернулся запрос (эхо адаптера)");
    // A gateway's exception answer: no answer from behind it, and why.
    case ExchangeOutcome::kGatewayNoAnswer:
    case ExchangeOutcome::kGatewayNoPath:
      return QStringLiteral("Ошибка обмена: ") + GatewayReason(outcome);
    case ExchangeOutcome::kQueueFull:
      return QStringLiteral("Очередь запросов заполнена: команда не принята");
  }
  return {};
}

QString StatusLineText(ExchangeOutcome outcome, int pending) {
  QString text = ExchangeOutcomeText(outcome);
  if (outcome == ExchangeOutcome::kQueueFull) return text;  // the refusal says it all
  if (pending >= RequestQueue::kSlots - 1) {
    text += QStringLiteral(" Очередь запросов заполнена: новые команды не принимаются");
  } else if (pending > kQueueNoteAbove) {
    text += QueueLengthNote(pending);
  }
  return text;
}

QString AnswersTooLateNote(std::optional<std::chrono::milliseconds> late) {
  if (!late) return {};
  const QString text = AnswersTooLateText(static_cast<int>(late->count()));
  return u' ' + text.left(1).toUpper() + text.mid(1);
}

}  // namespace torvex
