#include "engine/modbus_engine.h"

#include <span>

#include "decode/register_map.h"
#include "engine/rx_crc.h"
#include "modbus/adu.h"
#include "modbus/function_code.h"
#include "modbus/requests.h"

namespace torvex {
namespace {

constexpr int kMaxStored = 260;  // answer bytes kept per tick; the rest is read and dropped
constexpr std::int32_t kMaxTransactionCode = 65534;

}  // namespace

ExchangeOutcome ModbusEngine::Tick(std::uint8_t portNumber, const QString& portSettings) {
  const ExchangeOutcome outcome = ReceiveAnswer();
  view_.SetCaption(QStringLiteral("TORVEX-CPU. Тест протокола Modbus. Порт: COM") +
                   QString::number(portNumber) + QStringLiteral("  ") + portSettings);
  return outcome;
}

bool ModbusEngine::QueueRequest(const modbus::Pdu& request) {
  QueueSlot& slot = queue_.SlotToFill();
  slot.bytes.at(0) = 0;
  slot.bytes.at(1) = request.Function();
  for (std::size_t i = 0; i < request.Data().size(); ++i) slot.bytes.at(i + 2) = request.Data()[i];
  slot.lastIndex = static_cast<std::int32_t>(request.Size());
  if (queue_.CommitRequest()) return true;
  Report(ExchangeOutcome::kQueueFull);
  return false;
}

ExchangeOutcome ModbusEngine::ReceiveAnswer() {
  rxCount_ = 0;
  while (port_.BytesWaiting() > 0) {
    const std::uint8_t byte = port_.ReadByte();
    if (rxCount_ < kMaxStored) rxBuffer_[rxCount_++] = byte;
  }

  const int n = rxCount_;
  ExchangeOutcome outcome = ExchangeOutcome::kLinkUp;
  if (n < 3) {
    outcome = ExchangeOutcome::kNoAnswer;
    CountExchangeError(outcome);
    if (observer_) ReportAnswer(FrameOutcome::NoAnswer);
  } else if (rxBuffer_[n - 1] * 256 + rxBuffer_[n - 2] != RxCrc(rxBuffer_, n - 3)) {
    outcome = ExchangeOutcome::kChecksumMismatch;
    CountExchangeError(outcome);
    if (observer_) ReportAnswer(FrameOutcome::BadCrc);
  } else {
    queue_.AdvanceReadIndex();
    headSent_ = false;
    Report(outcome);
    if (observer_) {
      ReportAnswer(modbus::IsException(static_cast<std::uint8_t>(rxBuffer_[1]))
                       ? FrameOutcome::Exception
                       : FrameOutcome::Answered);
    }
    if (decoder_) decoder_(RxAnswer{rxBuffer_, rxCount_});
  }
  SendNextRequest();
  return outcome;
}

// The received frame and the outcome of its exchange. A tick with nothing received after
// nothing was sent (the first tick, a closed port) had no exchange on the line.
void ModbusEngine::ReportAnswer(FrameOutcome outcome) {
  if (outcome == FrameOutcome::NoAnswer && rxCount_ == 0 && !inFlight_) return;
  FrameEvent event;
  event.direction = FrameDirection::Rx;
  event.outcome = outcome;
  for (int i = 0; i < rxCount_; ++i) observedRx_[i] = static_cast<std::uint8_t>(rxBuffer_[i]);
  event.bytes = std::span<const std::uint8_t>(observedRx_.data(), static_cast<std::size_t>(rxCount_));
  event.at = std::chrono::steady_clock::now();
  if (inFlight_) {
    event.sinceRequest = std::chrono::duration_cast<std::chrono::milliseconds>(event.at - sentAt_);
  }
  if (outcome == FrameOutcome::Exception) event.exceptionCode = rxBuffer_[2];
  observer_->OnFrame(event);
}

void ModbusEngine::CountExchangeError(ExchangeOutcome outcome) {
  Report(outcome);
  ++exchangeErrors_;
  view_.SetText({Control::lbl_dbg}, QString::number(exchangeErrors_));
}

void ModbusEngine::Report(ExchangeOutcome outcome) {
  lastOutcome_ = outcome;
  view_.SetText({Control::lbl_sys_mes}, StatusLineText(outcome, queue_.PendingCount()));
}

void ModbusEngine::SendNextRequest() {
  if (queue_.IsEmpty()) QueueBackgroundPoll();

  const QueueSlot& slot = queue_.Head();
  const std::span<const std::uint8_t> request(slot.bytes.data() + 1,
                                              static_cast<std::size_t>(slot.lastIndex));
  txFrame_ = modbus::Adu(static_cast<std::uint8_t>(view_.SlaveAddress()),
                         modbus::Pdu::FromBytes(request))
                 .Bytes();

  inFlight_ = port_.IsOpen() && !sendingHeld_;
  if (!inFlight_) return;
  port_.Write(txFrame_);
  sentAt_ = std::chrono::steady_clock::now();
  if (observer_) {
    FrameEvent event;
    event.bytes = txFrame_;
    event.at = sentAt_;
    event.resend = headSent_;
    observer_->OnFrame(event);
  }
  headSent_ = true;
}

// Keeps the controller's values fresh while nothing else waits: a cycle of converter block
// read, transaction-code write, status block read, transaction-code write.
void ModbusEngine::QueueBackgroundPoll() {
  modbus::Pdu request;
  if (pollPhase_) {
    pollPhase_ = false;
    transactionCode_ = transactionCode_ >= kMaxTransactionCode ? 0 : transactionCode_ + 1;
    view_.SetText({Control::lbl_tr_id}, QString::number(transactionCode_));
    request = modbus::WriteSingleRegister(reg::kTransactionCode,
                                          static_cast<std::uint16_t>(transactionCode_));
  } else {
    pollPhase_ = true;
    blockPhase_ = !blockPhase_;
    const reg::Block block = blockPhase_ ? reg::kAdcBlock : reg::kStatusBlock;
    request = modbus::ReadHoldingRegisters(static_cast<std::uint16_t>(block.start),
                                           static_cast<std::uint16_t>(block.count));
  }
  // Only called on an empty ring, which always has room.
  [[maybe_unused]] const bool queued = QueueRequest(request);
}

}  // namespace torvex
