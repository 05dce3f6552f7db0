#pragma once
// What a frame on the line means, in the operator's words: "Чтение 90 регистров с 3000",
// "Запись 3000 = 17", "ЭСППЗУ: запись 2 байт с 0x00", "Исключение 2: недопустимый адрес
// данных". Frames are whole RTU frames (address, function, data, CRC); nothing here trusts
// their lengths.
#include <cstdint>
#include <span>

#include <QString>

#include "engine/exchange_outcome.h"
#include "monitor/frame_record.h"

namespace torvex {

// A request the master sends.
QString RequestMeaning(std::span<const std::uint8_t> frame);
// A received frame, judged with the outcome of its exchange, against the request in flight
// (its first bytes; may be empty); an answer cut short, against the length it should have had.
QString ReceivedMeaning(std::span<const std::uint8_t> frame, FrameOutcome outcome,
                        std::span<const std::uint8_t> request, std::size_t expectedSize = 0);
// The standard meaning of a Modbus exception code, e.g. "Исключение 2: недопустимый адрес
// данных"; codes without one give "Исключение N".
QString ExceptionMeaning(int code);
// Why a gateway answered for the device: "шлюз: нет пути к устройству" (10) or "шлюз: нет ответа
// от контроллера" (11); empty for any other code, or any other outcome of an exchange.
QString GatewayReason(int exceptionCode);
QString GatewayReason(ExchangeOutcome outcome);

// Answers come later than the wait may grow: "ответы приходят через ~3000 мс: задайте ожидание
// ответа в настройке".
QString AnswersTooLateText(int ms);

// The whole meaning of a kept frame, resends marked.
QString FrameMeaning(const FrameRecord& record);

// The outcome as the exchange log writes it: "-" for a request, then ok, no-answer, bad-crc,
// incomplete, mismatch, dropped, echo, own-request, exception, no-echo, gateway-no-answer,
// gateway-no-path, too-late.
const char* OutcomeWord(FrameOutcome outcome);
// The outcome as the monitor window shows it (empty for a request).
QString OutcomeText(FrameOutcome outcome);

}  // namespace torvex
