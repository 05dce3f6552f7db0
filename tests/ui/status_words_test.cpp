#include "ui/status_words.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/qt_printers.h"

namespace torvex {
namespace {

using Outcome = ExchangeOutcome;

// The words the window shows for each outcome; everything else asserts the outcome itself.
TEST(StatusLineText, TheWindowsWords) {
  const QString full = " Очередь запросов заполнена: новые команды не принимаются";
  const QString linkUp = "Связь с контроллером TORVEX-CPU установлена";
  const QString noAnswer = "Ошибка обмена: Нет ответа от контроллера TORVEX-CPU";
  const QString badCrc = "Ошибка обмена: Несовпадение КС";
  const QString refused = "Очередь запросов заполнена: команда не принята";
  const std::vector<std::tuple<Outcome, int, QString>> rows{
      {Outcome::kLinkUp, 0, linkUp},
      {Outcome::kNoAnswer, 1, noAnswer},
      {Outcome::kChecksumMismatch, 20, badCrc},
      {Outcome::kQueueFull, 511, refused},  // the refusal says it all
      {Outcome::kNotThisAnswer, 0, "Ошибка обмена: Ответ не соответствует запросу"},
      {Outcome::kOwnRequest, 0, "Ошибка обмена: Вместо ответа вернулся запрос (эхо адаптера)"},
      {Outcome::kGatewayNoAnswer, 0, "Ошибка обмена: шлюз: нет ответа от контроллера"},
      {Outcome::kGatewayNoPath, 22, "Ошибка обмена: шлюз: нет пути к устройству В очереди 22 запроса"},
      {Outcome::kNoAnswer, 21, noAnswer + " В очереди 21 запрос"},
      {Outcome::kNoAnswer, 22, noAnswer + " В очереди 22 запроса"},
      {Outcome::kNoAnswer, 25, noAnswer + " В очереди 25 запросов"},
      {Outcome::kLinkUp, 111, linkUp + " В очереди 111 запросов"},
      {Outcome::kLinkUp, 124, linkUp + " В очереди 124 запроса"},
      {Outcome::kChecksumMismatch, 510, badCrc + " В очереди 510 запросов"},
      {Outcome::kLinkUp, 511, linkUp + full},
      {Outcome::kNoAnswer, 511, noAnswer + full},
      {Outcome::kChecksumMismatch, 511, badCrc + full},
  };
  for (const auto& [outcome, pending, text] : rows) {
    EXPECT_EQ(StatusLineText(outcome, pending), text) << pending;
  }
}

TEST(StatusLineText, AnswersTooLateSayHowLateOnce) {
  EXPECT_EQ(AnswersTooLateNote(std::nullopt), "");
  EXPECT_EQ(AnswersTooLateNote(std::chrono::milliseconds(3000)),
            " Ответы приходят через ~3000 мс: задайте ожидание ответа в настройке");
}

}  // namespace
}  // namespace torvex
