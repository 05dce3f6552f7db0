// What the monitor and the log say about each frame the tool sends and receives.
#include "monitor/frame_meaning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/frames.h"
#include "support/qt_printers.h"

namespace torvex {
namespace {

using test::Bytes;
using test::WithCrc;


struct RequestCase {
  Bytes frame;
  const char* meaning;
};

TEST(FrameMeaning, EveryRequestTheToolSends) {
  const std::vector<RequestCase> cases{
      {WithCrc({7, 3, 0x0B, 0xB8, 0x00, 0x5A}), "Чтение 90 регистров с 3000"},
      {WithCrc({7, 3, 0x0C, 0x0C, 0x00, 0x40}), "Чтение 64 регистров с 3084"},
      {WithCrc({7, 3, 0x0B, 0xB9, 0x00, 0x01}), "Чтение 1 регистра с 3001"},
      {WithCrc({7, 3, 0x0B, 0xB9, 0x00, 0x15}), "Чтение 21 регистра с 3001"},
      {WithCrc({7, 3, 0x0B, 0xB9, 0x00, 0x0B}), "Чтение 11 регистров с 3001"},
      {WithCrc({7, 6, 0x0B, 0xB8, 0x00, 0x11}), "Запись 3000 = 17"},
      {WithCrc({7, 6, 0x0B, 0xB8, 0xFF, 0xFE}), "Запись 3000 = 65534"},
      // An analog output: one register by function 16.
      {WithCrc({7, 0x10, 0x0B, 0xBC, 0x00, 0x01, 0x02, 0x0F, 0xFF}), "Запись 3004 = 4095"},
      // The discrete outputs: two registers.
      {WithCrc({7, 0x10, 0x0B, 0xB9, 0x00, 0x02, 0x04, 0x00, 0x01, 0x80, 0x00}),
       "Запись 2 регистров с 3001 = 1, 32768"},
      {WithCrc({7, 0x10, 0x0B, 0xB8, 0x00, 0x0A, 0x14, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7,
                0, 8, 0, 9, 0, 10}),
       "Запись 10 регистров с 3000 = 1, 2, 3, 4, 5, 6, 7, 8, …"},
      {WithCrc({1, 0x64, 0x00, 0x00, 0x28}), "ЭСППЗУ: чтение 40 байт с 0x00"},
      {WithCrc({1, 0x64, 0x00, 0x50, 0x11}), "ЭСППЗУ: чтение 17 байт с 0x50"},
      {WithCrc({1, 0x65, 0x00, 0x00, 0x02, 0x00, 0x7B}), "ЭСППЗУ: запись 2 байт с 0x00"},
      {WithCrc({1, 0x65, 0x00, 0x60, 0x01, 0x05}), "ЭСППЗУ: запись 1 байта с 0x60"},
      {WithCrc({7, 0x17, 0x00}), "Функция 23"},
      // Frames too short for their function never read past their end.
      {WithCrc({7, 3, 0x0B}), "Функция 3, неполный кадр"},
      {{7}, "Неполный кадр"},
      {{}, "Неполный кадр"},
  };
  for (const RequestCase& c : cases) {
    EXPECT_EQ(RequestMeaning(c.frame), QString::fromUtf8(c.meaning));
  }
}

struct AnswerCase {
  Bytes frame;
  FrameOutcome outcome;
  Bytes request;  // the first bytes of the request in flight
  const char* meaning;
};

TEST(FrameMeaning, AnswersAreToldWithTheRequestTheyAnswer) {
  const Bytes statusRead{7, 3, 0x0B, 0xB8, 0x00, 0x5A, 0x47, 0x96};
  Bytes block{7, 3, 180};
  block.resize(3 + 180);
  const std::vector<AnswerCase> cases{
      {WithCrc(block), FrameOutcome::Answered, statusRead, "Ответ: 90 регистров с 3000"},
      {WithCrc(block), FrameOutcome::Answered, {}, "Ответ: 90 регистров"},
      {WithCrc({7, 3, 2, 0, 5}), FrameOutcome::Answered, {7, 3, 0x0B, 0xB9}, "Ответ: 1 регистр с 3001"},
      {WithCrc({7, 6, 0x0B, 0xB8, 0x00, 0x11}), FrameOutcome::Answered, {}, "Ответ: 3000 = 17 записано"},
      {WithCrc({7, 0x10, 0x0B, 0xB9, 0x00, 0x02}), FrameOutcome::Answered, {},
       "Ответ: запись 2 регистров с 3001 выполнена"},
      {WithCrc({1, 0x64, 0x00, 0x28, 0x02, 0x01, 0x02}), FrameOutcome::Answered, {},
       "ЭСППЗУ: ответ, 2 байта с 0x28"},
      {WithCrc({1, 0x65, 0x00, 0x60, 0x01, 0x05}), FrameOutcome::Answered, {},
       "ЭСППЗУ: ответ на запись, 1 байт с 0x60"},
      {WithCrc({7, 0x83, 0x01}), FrameOutcome::Exception, {}, "Исключение 1: недопустимая функция"},
      {WithCrc({7, 0x83, 0x02}), FrameOutcome::Exception, {}, "Исключение 2: недопустимый адрес данных"},
      {WithCrc({7, 0x90, 0x03}), FrameOutcome::Exception, {}, "Исключение 3: недопустимое значение данных"},
      {WithCrc({7, 0xE5, 0x04}), FrameOutcome::Exception, {}, "Исключение 4: отказ устройства"},
      {WithCrc({7, 0x83, 0x06}), FrameOutcome::Exception, {}, "Исключение 6: устройство занято"},
      {WithCrc({7, 0x83, 0x0B}), FrameOutcome::Exception, {}, "Исключение 11: шлюз: нет ответа от контроллера"},
      {WithCrc({7, 0x83, 0x2A}), FrameOutcome::Exception, {}, "Исключение 42"},
      {WithCrc({7, 0x83, 0x0B}), FrameOutcome::GatewayNoAnswer, {}, "Шлюз: нет ответа от контроллера (исключение 11)"},
      {WithCrc({7, 0x90, 0x0A}), FrameOutcome::GatewayNoPath, {}, "Шлюз: нет пути к устройству (исключение 10)"},
      {{}, FrameOutcome::NoAnswer, statusRead, "Нет ответа"},
      {{7, 3}, FrameOutcome::NoAnswer, statusRead, "Нет ответа (принято байт: 2)"},
      {{7, 6, 0x0B, 0xB8, 0x00, 0x01, 0x6D, 0xCA}, FrameOutcome::BadCrc, {},
       "Несовпадение КС: принята 0xCA6D, вычислена 0x6DCA"},
      {WithCrc({7, 6, 0x0B, 0xB8, 0x00, 0x02}), FrameOutcome::Mismatch, {},
       "Не ответ на этот запрос: Ответ: 3000 = 2 записано"},
      {{0x55, 0xAA, 0x00}, FrameOutcome::Dropped, {}, "Отброшено: 3 байта"},
      {statusRead, FrameOutcome::Echo, statusRead, "Эхо запроса: Чтение 90 регистров с 3000"},
      {statusRead, FrameOutcome::OwnRequest, statusRead,
       "Вернулся сам запрос (эхо адаптера): Чтение 90 регистров с 3000"},
      {WithCrc({7, 3}), FrameOutcome::Answered, {}, "Функция 3, неполный кадр"},
      {WithCrc({7, 0x2B, 0x0E}), FrameOutcome::Answered, {}, "Ответ: функция 43"},
  };
  for (const AnswerCase& c : cases) {
    EXPECT_EQ(ReceivedMeaning(c.frame, c.outcome, c.request), QString::fromUtf8(c.meaning));
  }
}

// Over Modbus TCP the gateway's answer carries its transaction; the note that answers come too
// late says how late, and the log names each.
TEST(FrameMeaning, AGatewaysAnswerAndAnswersTooLate) {
  FrameRecord gateway{};
  gateway.direction = FrameDirection::Rx;
  gateway.outcome = FrameOutcome::GatewayNoAnswer;
  gateway.mbap = true;
  const Bytes mbap{0x00, 0x2A, 0x00, 0x00, 0x00, 0x03, 0x07, 0x83, 0x0B};
  gateway.size = static_cast<std::uint16_t>(mbap.size());
  std::copy(mbap.begin(), mbap.end(), gateway.bytes.begin());
  EXPECT_EQ(FrameMeaning(gateway), "Шлюз: нет ответа от контроллера (исключение 11) [транзакция 42]");

  FrameRecord late{};
  late.direction = FrameDirection::Rx;
  late.outcome = FrameOutcome::AnswersTooLate;
  late.sinceRequestMs = 3000;
  EXPECT_EQ(FrameMeaning(late), "Ответы приходят через ~3000 мс: задайте ожидание ответа в настройке");

  EXPECT_STREQ(OutcomeWord(FrameOutcome::GatewayNoAnswer), "gateway-no-answer");
  EXPECT_STREQ(OutcomeWord(FrameOutcome::GatewayNoPath), "gateway-no-path");
  EXPECT_STREQ(OutcomeWord(FrameOutcome::AnswersTooLate), "too-late");
}

}  // namespace
}  // namespace torvex
