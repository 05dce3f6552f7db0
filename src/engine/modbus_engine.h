#pragma once
// The Modbus RTU master's exchange cycle. Every 100 ms tick takes what arrived since the last
// tick as the answer to the frame sent then, validates it, reports the outcome, hands a valid
// answer to the decoder, and sends the next request (or a background poll).
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "decode/rx_buffer.h"
#include "engine/exchange_observer.h"
#include "engine/exchange_outcome.h"
#include "engine/request_queue.h"
#include "modbus/pdu.h"
#include "platform/serial_port.h"
#include "view/main_view.h"

namespace torvex {

class ModbusEngine {
 public:
  // Receives every answer whose CRC matched, after its request has left the queue.
  using Decoder = std::function<void(const RxAnswer&)>;

  ModbusEngine(SerialPort& port, MainView& view) : port_(port), view_(view) {}

  void SetDecoder(Decoder decoder) { decoder_ = std::move(decoder); }
  // Told of every frame on the line (nullptr: nobody). Not owned.
  void SetObserver(ExchangeObserver* observer) { observer_ = observer; }

  // One tick of the exchange timer; the port number and mode string go into the caption.
  // Returns the outcome of the exchange that the tick closed.
  ExchangeOutcome Tick(std::uint8_t portNumber, const QString& portSettings);

  // Queues a request behind those pending; the address and the CRC are added at sending.
  // Refused, reported as kQueueFull, on a full ring.
  bool QueueRequest(const modbus::Pdu& request);

  // While held, the sender writes nothing, as if the port were closed: the settings dialog
  // holds it while it opens ports only to see whether they can be opened.
  void SetSendingHeld(bool held) { sendingHeld_ = held; }

  // The last outcome reported: of the last tick, or a refused command since.
  ExchangeOutcome LastOutcome() const { return lastOutcome_; }
  const RequestQueue& Queue() const { return queue_; }
  const RxBuffer& Rx() const { return rxBuffer_; }
  int RxCount() const { return rxCount_; }
  std::int64_t ExchangeErrors() const { return exchangeErrors_; }
  std::int32_t TransactionCode() const { return transactionCode_; }

 private:
  ExchangeOutcome ReceiveAnswer();
  void SendNextRequest();
  void QueueBackgroundPoll();
  void CountExchangeError(ExchangeOutcome outcome);
  void Report(ExchangeOutcome outcome);
  void ReportAnswer(FrameOutcome outcome);

  SerialPort& port_;
  MainView& view_;
  Decoder decoder_;
  ExchangeObserver* observer_ = nullptr;

  RequestQueue queue_;
  std::vector<std::uint8_t> txFrame_;
  RxBuffer rxBuffer_{};
  int rxCount_ = 0;
  std::int64_t exchangeErrors_ = 0;
  bool pollPhase_ = false;
  bool blockPhase_ = false;
  std::int32_t transactionCode_ = 0;
  bool sendingHeld_ = false;
  ExchangeOutcome lastOutcome_ = ExchangeOutcome::kNoAnswer;
  // For the observer: whether a frame went out at the last send, when, and whether the
  // request at the head has been on the line before.
  bool inFlight_ = false;
  bool headSent_ = false;
  std::chrono::steady_clock::time_point sentAt_;
  std::array<std::uint8_t, 260> observedRx_{};
};

}  // namespace torvex
