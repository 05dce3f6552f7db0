#include "ui/status_words.h"

#include "engine/request_queue.h"

namespace torvex {
namespace {

// " В очереди 21 запрос", "... 22 запроса", "... 25 запросов": the noun agrees with the number.
QString QueueLengthNote(int pending) {
  const int tens = pending % 100;
  const int units = pending % 10;
  const char* word = "запросов";
  if (tens < 11 || tens > 14) {
    if (units == 1) word = "запрос";
    else if (units >= 2 && units <= 4) word = "запроса";
  }
  return QStringLiteral(" В очереди ") + QString::number(pending) + QLatin1Char(' ') +
         QString::fromUtf8(word);
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

}  // namespace torvex
