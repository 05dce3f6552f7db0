#include "monitor/frame_meaning.h"

#include <algorithm>

#include "modbus/adu.h"
#include "modbus/crc16.h"
#include "modbus/mbap.h"
#include "modbus/function_code.h"
#include "text/counted_noun.h"

namespace torvex {
namespace {

using modbus::Code;
using modbus::FunctionCode;
constexpr std::uint8_t kReadRegisters = Code(FunctionCode::kReadHoldingRegisters);
constexpr std::uint8_t kWriteRegister = Code(FunctionCode::kWriteSingleRegister);
constexpr std::uint8_t kWriteRegisters = Code(FunctionCode::kWriteMultipleRegisters);
constexpr std::uint8_t kReadEeprom = Code(FunctionCode::kReadEeprom);
constexpr std::uint8_t kWriteEeprom = Code(FunctionCode::kWriteEeprom);
constexpr std::uint8_t kExceptionBit = modbus::kExceptionFlag;
constexpr int kListedValues = 8;  // values of a write listed before "…"

using Bytes = std::span<const std::uint8_t>;

// Address and CRC: what a frame has around its function and data.
constexpr std::size_t kFraming = 3;

int Word(Bytes b, std::size_t at) { return b[at] << 8 | b[at + 1]; }

// Data bytes of a frame: after the function code, before the CRC.
Bytes Data(Bytes frame) {
  return frame.size() <= kFraming ? Bytes{} : frame.subspan(2, frame.size() - kFraming - 1);
}

QString Num(int n) { return QString::number(n); }

// "Чтение 1 регистра", "Чтение 90 регистров".
QString RegistersOf(int n) { return CountedNoun(n, {"регистра", "регистров", "регистров"}); }
// "90 регистров".
QString Registers(int n) { return CountedNoun(n, {"регистр", "регистра", "регистров"}); }
// "запись 2 байт", "запись 1 байта".
QString BytesOf(int n) { return CountedNoun(n, {"байта", "байт", "байт"}); }
// "2 байта".
QString ByteCount(int n) { return CountedNoun(n, {"байт", "байта", "байт"}); }

QString EepromAddress(int address) {
  return QStringLiteral("0x") +
         QString::number(address, 16).rightJustified(address > 0xFF ? 4 : 2, QLatin1Char('0')).toUpper();
}

QString Hex16(int value) {
  return QStringLiteral("0x") + QString::number(value, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

QString Function(std::uint8_t code) { return QStringLiteral("Функция ") + Num(code); }

QString Incomplete(std::uint8_t code) { return Function(code) + QStringLiteral(", неполный кадр"); }

QString WriteMany(Bytes data) {
  const int start = Word(data, 0);
  const int count = Word(data, 2);
  if (count == 1 && data.size() >= 7) return QStringLiteral("Запись %1 = %2").arg(start).arg(Word(data, 5));
  QString text = QStringLiteral("Запись ") + RegistersOf(count) + QStringLiteral(" с ") + Num(start);
  const std::size_t values = data.size() >= 5 ? (data.size() - 5) / 2 : 0;
  for (std::size_t i = 0; i < values && i < static_cast<std::size_t>(count); ++i) {
    if (i == kListedValues) {
      text += QStringLiteral(", …");
      break;
    }
    text += (i == 0 ? QStringLiteral(" = ") : QStringLiteral(", ")) + Num(Word(data, 5 + 2 * i));
  }
  return text;
}

QString Answer(Bytes frame, Bytes request) {
  if (frame.size() < 2) return QStringLiteral("Неполный кадр");
  const std::uint8_t code = frame[1];
  const Bytes data = Data(frame);
  switch (code) {
    case kReadRegisters: {
      if (data.empty()) return Incomplete(code);
      QString text = QStringLiteral("Ответ: ") + Registers(data[0] / 2);
      // The request in flight is cut short before its CRC: only its first bytes are kept.
      const Bytes head = request.size() >= 4 && request[1] == code ? request.subspan(2, 2) : Bytes{};
      if (!head.empty()) text += QStringLiteral(" с ") + Num(Word(head, 0));
      return text;
    }
    case kWriteRegister:
      if (data.size() < 4) return Incomplete(code);
      return QStringLiteral("Ответ: %1 = %2 записано").arg(Word(data, 0)).arg(Word(data, 2));
    case kWriteRegisters:
      if (data.size() < 4) return Incomplete(code);
      return QStringLiteral("Ответ: запись ") + RegistersOf(Word(data, 2)) + QStringLiteral(" с ") +
             Num(Word(data, 0)) + QStringLiteral(" выполнена");
    case kReadEeprom:
    case kWriteEeprom:
      if (data.size() < 3) return Incomplete(code);
      return QStringLiteral("ЭСППЗУ: ответ") +
             (code == kWriteEeprom ? QStringLiteral(" на запись, ") : QStringLiteral(", ")) +
             ByteCount(data[2]) + QStringLiteral(" с ") + EepromAddress(Word(data, 0));
    default:
      break;
  }
  if ((code & kExceptionBit) != 0) {
    return data.empty() ? Incomplete(code) : ExceptionMeaning(data[0]);
  }
  return QStringLiteral("Ответ: ") + Function(code).toLower();
}

}  // namespace

QString RequestMeaning(Bytes frame) {
  if (frame.size() < 2) return QStringLiteral("Неполный кадр");
  const std::uint8_t code = frame[1];
  const Bytes data = Data(frame);
  switch (code) {
    case kReadRegisters:
      if (data.size() < 4) return Incomplete(code);
      return QStringLiteral("Чтение ") + RegistersOf(Word(data, 2)) + QStringLiteral(" с ") +
             Num(Word(data, 0));
    case kWriteRegister:
      if (data.size() < 4) return Incomplete(code);
      return QStringLiteral("Запись %1 = %2").arg(Word(data, 0)).arg(Word(data, 2));
    case kWriteRegisters:
      if (data.size() < 4) return Incomplete(code);
      return WriteMany(data);
    case kReadEeprom:
    case kWriteEeprom:
      if (data.size() < 3) return Incomplete(code);
      return QStringLiteral("ЭСППЗУ: ") +
             (code == kReadEeprom ? QStringLiteral("чтение ") : QStringLiteral("запись ")) +
             BytesOf(data[2]) + QStringLiteral(" с ") + EepromAddress(Word(data, 0));
    default:
      return Function(code);
  }
}

QString ReceivedMeaning(Bytes frame, FrameOutcome outcome, Bytes request,
                        std::size_t expectedSize) {
  switch (outcome) {
    case FrameOutcome::NoAnswer:
      return frame.empty() ? QStringLiteral("Нет ответа")
                           : QStringLiteral("Нет ответа (принято байт: %1)").arg(frame.size());
    case FrameOutcome::BadCrc: {
      if (frame.size() < kFraming) return QStringLiteral("Несовпадение КС");
      const int received = frame[frame.size() - 1] << 8 | frame[frame.size() - 2];
      const int computed = modbus::Crc16(frame.first(frame.size() - 2));
      return QStringLiteral("Несовпадение КС: принята %1, вычислена %2")
          .arg(Hex16(received), Hex16(computed));
    }
    case FrameOutcome::Incomplete:
      return QStringLiteral("Неполный ответ: %1 из %2 байт").arg(frame.size()).arg(expectedSize);
    case FrameOutcome::Mismatch:
      return QStringLiteral("Не ответ на этот запрос: ") + Answer(frame, {});
    case FrameOutcome::Dropped:
      // A stale frame (a late answer to an earlier request) says what it was; noise, how much.
      if (frame.size() >= modbus::kMinFrameSize && modbus::CrcMatches(frame)) {
        return QStringLiteral("Отброшено (не ответ на этот запрос): ") + Answer(frame, {});
      }
      return QStringLiteral("Отброшено: ") + ByteCount(static_cast<int>(frame.size()));
    case FrameOutcome::NoEcho:
      return QStringLiteral("Эхо не приходит: ответы идут без эха уже несколько обменов подряд; "
                            "адаптер, похоже, не возвращает отправленное (снимите отметку "
                            "«Адаптер возвращает отправленное (эхо)» в настройке порта)");
    case FrameOutcome::Echo:
      return QStringLiteral("Эхо запроса: ") + RequestMeaning(frame);
    case FrameOutcome::OwnRequest:
      return QStringLiteral("Вернулся сам запрос (эхо адаптера): ") + RequestMeaning(frame);
    case FrameOutcome::GatewayNoAnswer:
    case FrameOutcome::GatewayNoPath: {
      const int code = outcome == FrameOutcome::GatewayNoPath ? modbus::kExceptionGatewayPathUnavailable
                                                              : modbus::kExceptionGatewayTargetFailed;
      QString reason = GatewayReason(code);
      reason[0] = reason[0].toUpper();
      return reason + QStringLiteral(" (исключение ") + Num(code) + u')';
    }
    case FrameOutcome::AnswersTooLate:
      return QStringLiteral("Ответы приходят дольше, чем ждёт программа: задайте ожидание ответа в настройке");
    case FrameOutcome::Exception:
    case FrameOutcome::Answered:
      return Answer(frame, request);
    case FrameOutcome::Request:
      break;
  }
  return RequestMeaning(frame);
}

QString AnswersTooLateText(int ms) {
  return QStringLiteral("ответы приходят через ~%1 мс: задайте ожидание ответа в настройке").arg(std::max(ms, 0));
}

QString ExceptionMeaning(int code) {
  const char* text = nullptr;
  switch (code) {
    case 1: text = "недопустимая функция"; break;
    case 2: text = "недопустимый адрес данных"; break;
    case 3: text = "недопустимое значение данных"; break;
    case 4: text = "отказ устройства"; break;
    case 5: text = "запрос принят, выполняется"; break;
    case 6: text = "устройство занято"; break;
    case 8: text = "ошибка чётности памяти"; break;
    default:
      if (!modbus::IsGatewayException(code)) return QStringLiteral("Исключение ") + Num(code);
      return QStringLiteral("Исключение ") + Num(code) + QStringLiteral(": ") + GatewayReason(code);
  }
  return QStringLiteral("Исключение ") + Num(code) + QStringLiteral(": ") + QString::fromUtf8(text);
}

QString GatewayReason(int exceptionCode) {
  switch (exceptionCode) {
    case modbus::kExceptionGatewayPathUnavailable: return QStringLiteral("шлюз: нет пути к устройству");
    case modbus::kExceptionGatewayTargetFailed: return QStringLiteral("шлюз: нет ответа от контроллера");
    default: return {};
  }
}

QString GatewayReason(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::kGatewayNoPath: return GatewayReason(modbus::kExceptionGatewayPathUnavailable);
    case ExchangeOutcome::kGatewayNoAnswer: return GatewayReason(modbus::kExceptionGatewayTargetFailed);
    default: return {};
  }
}

namespace {

// A Modbus TCP frame means what its RTU equivalent means, with its transaction; a frame its
// header does not cut whole is told by its size.
QString MbapMeaning(const FrameRecord& record) {
  const Bytes bytes = record.Bytes();
  const std::optional<modbus::MbapHeader> header = modbus::ParseMbapHeader(bytes);
  const std::optional<std::size_t> length = modbus::MbapFrameLength(bytes);
  const bool whole = length && *length == bytes.size() && *length > modbus::kMbapHeaderSize;
  const QString transaction =
      header ? QStringLiteral(" [транзакция %1]").arg(header->transaction) : QString();
  const std::vector<std::uint8_t> rtu = whole ? modbus::RtuOfMbap(bytes) : std::vector<std::uint8_t>{};
  if (record.direction == FrameDirection::Tx) {
    return RequestMeaning(rtu) + (record.resend ? QStringLiteral(" (повтор)") : QString()) +
           transaction;
  }
  switch (record.outcome) {
    case FrameOutcome::NoAnswer:
    case FrameOutcome::Incomplete:
    case FrameOutcome::NoEcho:
    case FrameOutcome::AnswersTooLate:
      return ReceivedMeaning(bytes, record.outcome, {}, record.expectedSize);
    case FrameOutcome::BadCrc:
      return whole ? QStringLiteral("Искажённый ответ: ") + Answer(rtu, {}) + transaction
                   : QStringLiteral("Искажённый кадр Modbus TCP: ") +
                         ByteCount(static_cast<int>(bytes.size()));
    case FrameOutcome::Mismatch:
    case FrameOutcome::Dropped:
      if (!whole) {
        return ReceivedMeaning(bytes, FrameOutcome::Dropped, {});
      }
      break;
    default:
      if (!whole) return ByteCount(static_cast<int>(bytes.size()));
      break;
  }
  const std::vector<std::uint8_t> request = modbus::RtuOfMbap(record.Request());
  return ReceivedMeaning(rtu, record.outcome, request, record.expectedSize) + transaction;
}

}  // namespace

QString FrameMeaning(const FrameRecord& record) {
  if (record.outcome == FrameOutcome::AnswersTooLate) {
    const QString text = AnswersTooLateText(record.sinceRequestMs);
    return text.left(1).toUpper() + text.mid(1);
  }
  if (record.mbap) return MbapMeaning(record);
  if (record.direction == FrameDirection::Tx) {
    QString text = RequestMeaning(record.Bytes());
    if (record.resend) text += QStringLiteral(" (повтор)");
    return text;
  }
  return ReceivedMeaning(record.Bytes(), record.outcome, record.Request(), record.expectedSize);
}

const char* OutcomeWord(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::Request: return "-";
    case FrameOutcome::Answered: return "ok";
    case FrameOutcome::NoAnswer: return "no-answer";
    case FrameOutcome::BadCrc: return "bad-crc";
    case FrameOutcome::Incomplete: return "incomplete";
    case FrameOutcome::Mismatch: return "mismatch";
    case FrameOutcome::Dropped: return "dropped";
    case FrameOutcome::Echo: return "echo";
    case FrameOutcome::OwnRequest: return "own-request";
    case FrameOutcome::Exception: return "exception";
    case FrameOutcome::NoEcho: return "no-echo";
    case FrameOutcome::GatewayNoAnswer: return "gateway-no-answer";
    case FrameOutcome::GatewayNoPath: return "gateway-no-path";
    case FrameOutcome::AnswersTooLate: return "too-late";
  }
  return "-";
}

QString OutcomeText(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::Request: return {};
    case FrameOutcome::Answered: return QStringLiteral("ответ");
    case FrameOutcome::NoAnswer: return QStringLiteral("нет ответа");
    case FrameOutcome::BadCrc: return QStringLiteral("ошибка КС");
    case FrameOutcome::Incomplete: return QStringLiteral("неполный ответ");
    case FrameOutcome::Mismatch: return QStringLiteral("не тот ответ");
    case FrameOutcome::Dropped: return QStringLiteral("отброшено");
    case FrameOutcome::Echo: return QStringLiteral("эхо");
    case FrameOutcome::OwnRequest: return QStringLiteral("свой запрос");
    case FrameOutcome::Exception: return QStringLiteral("исключение");
    case FrameOutcome::NoEcho: return QStringLiteral("нет эха");
    case FrameOutcome::GatewayNoAnswer: return QStringLiteral("шлюз: нет ответа");
    case FrameOutcome::GatewayNoPath: return QStringLiteral("шлюз: нет пути");
    case FrameOutcome::AnswersTooLate: return QStringLiteral("поздние ответы");
  }
  return {};
}

}  // namespace torvex
