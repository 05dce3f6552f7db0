#pragma once
// The Modbus RTU master's exchange cycle. Every 100 ms tick takes what arrived since the last
// tick as the answer to the frame sent then, validates it, reports the link state, hands a
// valid answer to the decoder, and sends the next request (or a background poll).
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "decode/rx_buffer.h"
#include "engine/exchange_observer.h"
#include "engine/request_queue.h"
#include "platform/serial_port.h"
#include "ui/main_view.h"

namespace torvex {

inline const QString kStatusLinkUp = QStringLiteral("Связь с контроллером TORVEX-CPU установлена");
inline const QString kStatusNoAnswer =
    QStringLiteral("Ошибка обмена: Нет ответа от контроллера TORVEX-CPU");
inline const QString kStatusBadCrc = QStringLiteral("Ошибка обмена: Несовпадение КС");
// A command refused because 511 requests already wait behind an unanswered one.
inline const QString kStatusQueueRefused =
    QStringLiteral("Очередь запросов заполнена: команда не принята");
// Appended to the tick's status while the ring stays full, so the refusal stays visible.
inline const QString kStatusQueueFullNote =
    QStringLiteral(" Очередь запросов заполнена: новые команды не принимаются");

// Appended to the tick's status while more than kQueueNoteAbove requests wait (the full ring has
// its own note): " В очереди 25 запросов", so that an operator knows why the measurements stand
// still while a backlog drains at one request a tick.
inline constexpr int kQueueNoteAbove = 20;
QString QueueLengthNote(int pending);

class ModbusEngine {
 public:
  // Receives every answer whose CRC matched, after its request has left the queue.
  using Decoder = std::function<void(const RxAnswer&)>;

  ModbusEngine(SerialPort& port, MainView& view) : port_(port), view_(view) {}

  void SetDecoder(Decoder decoder) { decoder_ = std::move(decoder); }
  // Told of every frame on the line (nullptr: nobody). Not owned.
  void SetObserver(ExchangeObserver* observer) { observer_ = observer; }

  // One tick of the exchange timer; the port number and mode string go into the caption.
  void Tick(std::uint8_t PortNumber, const QString& PortSettings);

  // Queues a request behind those pending: function code and data, that is slot bytes 1..k
  // (the address byte is added at sending). Refused, with a status message, on a full ring.
  bool QueueRequest(std::span<const std::uint8_t> functionAndData);

  // While held, the sender writes nothing, as if the port were closed: the settings dialog
  // holds it while it opens ports only to see whether they can be opened.
  void SetSendingHeld(bool held) { sendingHeld_ = held; }

  const RequestQueue& Queue() const { return queue_; }
  const RxBuffer& Rx() const { return RxBuffer_; }
  int RxCount() const { return RxCount_; }
  std::int64_t ExchangeErrors() const { return ExchangeErrors_; }
  std::int32_t TransactionCode() const { return TransactionCode_; }

 private:
  void ReceiveAnswer();
  void SendNextRequest();
  void QueueBackgroundPoll();
  void CountExchangeError(const QString& status);
  void SetStatus(const QString& status);
  void ReportAnswer(FrameOutcome outcome);

  SerialPort& port_;
  MainView& view_;
  Decoder decoder_;
  ExchangeObserver* observer_ = nullptr;

  RequestQueue queue_;
  std::vector<std::uint8_t> TxFrame_;
  RxBuffer RxBuffer_{};
  int RxCount_ = 0;
  std::int64_t ExchangeErrors_ = 0;
  bool PollPhase_ = false;
  bool BlockPhase_ = false;
  std::int32_t TransactionCode_ = 0;
  bool sendingHeld_ = false;
  // For the observer: whether a frame went out at the last send, when, and whether the
  // request at the head has been on the line before.
  bool inFlight_ = false;
  bool headSent_ = false;
  std::chrono::steady_clock::time_point sentAt_;
  std::array<std::uint8_t, 260> observedRx_{};
};

}  // namespace torvex
