#include "engine/modbus_engine.h"

#include <array>

#include "decode/numeric.h"
#include "decode/register_map.h"
#include "engine/crc16.h"

namespace torvex {
namespace {

constexpr int kMaxStored = 260;  // answer bytes kept per tick; the rest is read and dropped
constexpr std::int32_t kMaxTransactionCode = 65534;

// Function code and four data bytes of a read (3) or single-register write (6).
std::array<std::uint8_t, 5> RegisterRequest(std::uint8_t function, int reg, int value) {
  return {function, static_cast<std::uint8_t>(GetByte(reg, 1)),
          static_cast<std::uint8_t>(GetByte(reg, 0)), static_cast<std::uint8_t>(GetByte(value, 1)),
          static_cast<std::uint8_t>(GetByte(value, 0))};
}

}  // namespace

void ModbusEngine::Tick(std::uint8_t PortNumber, const QString& PortSettings) {
  ReceiveAnswer();
  view_.SetCaption(QStringLiteral("TORVEX-CPU. Тест протокола Modbus. Порт: COM") +
                   QString::number(PortNumber) + QStringLiteral("  ") + PortSettings);
}

bool ModbusEngine::QueueRequest(std::span<const std::uint8_t> functionAndData) {
  QueueSlot& slot = queue_.SlotToFill();
  slot.bytes.at(0) = 0;
  for (std::size_t i = 0; i < functionAndData.size(); ++i) slot.bytes.at(i + 1) = functionAndData[i];
  slot.lastIndex = static_cast<std::int32_t>(functionAndData.size());
  if (queue_.CommitRequest()) return true;
  view_.SetText({Control::lbl_sys_mes}, kStatusQueueRefused);
  return false;
}

void ModbusEngine::ReceiveAnswer() {
  RxCount_ = 0;
  while (port_.BytesWaiting() > 0) {
    const std::uint8_t byte = port_.ReadByte();
    if (RxCount_ < kMaxStored) RxBuffer_[RxCount_++] = byte;
  }

  const int n = RxCount_;
  if (n < 3) {
    CountExchangeError(kStatusNoAnswer);
    if (observer_) ReportAnswer(FrameOutcome::NoAnswer);
  } else if (RxBuffer_[n - 1] * 256 + RxBuffer_[n - 2] != RxCrc(RxBuffer_, n - 3)) {
    CountExchangeError(kStatusBadCrc);
    if (observer_) ReportAnswer(FrameOutcome::BadCrc);
  } else {
    queue_.AdvanceReadIndex();
    headSent_ = false;
    SetStatus(kStatusLinkUp);
    if (observer_) {
      ReportAnswer((RxBuffer_[1] & 0x80) != 0 ? FrameOutcome::Exception : FrameOutcome::Answered);
    }
    if (decoder_) decoder_(RxAnswer{RxBuffer_, RxCount_});
  }
  SendNextRequest();
}

// The received frame and the outcome of its exchange. A tick with nothing received after
// nothing was sent (the first tick, a closed port) had no exchange on the line.
void ModbusEngine::ReportAnswer(FrameOutcome outcome) {
  if (outcome == FrameOutcome::NoAnswer && RxCount_ == 0 && !inFlight_) return;
  FrameEvent event;
  event.direction = FrameDirection::Rx;
  event.outcome = outcome;
  for (int i = 0; i < RxCount_; ++i) observedRx_[i] = static_cast<std::uint8_t>(RxBuffer_[i]);
  event.bytes = std::span<const std::uint8_t>(observedRx_.data(), static_cast<std::size_t>(RxCount_));
  event.at = std::chrono::steady_clock::now();
  if (inFlight_) {
    event.sinceRequest = std::chrono::duration_cast<std::chrono::milliseconds>(event.at - sentAt_);
  }
  if (outcome == FrameOutcome::Exception) event.exceptionCode = RxBuffer_[2];
  observer_->OnFrame(event);
}

void ModbusEngine::CountExchangeError(const QString& status) {
  SetStatus(status);
  ++ExchangeErrors_;
  view_.SetText({Control::lbl_dbg}, QString::number(ExchangeErrors_));
}

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

void ModbusEngine::SetStatus(const QString& status) {
  QString text = status;
  if (queue_.IsFull()) {
    text += kStatusQueueFullNote;
  } else if (queue_.PendingCount() > kQueueNoteAbove) {
    text += QueueLengthNote(queue_.PendingCount());
  }
  view_.SetText({Control::lbl_sys_mes}, text);
}

void ModbusEngine::SendNextRequest() {
  if (queue_.IsEmpty()) QueueBackgroundPoll();

  const QueueSlot& slot = queue_.Head();
  const int k = slot.lastIndex;
  TxFrame_.resize(static_cast<std::size_t>(k) + 3);
  TxFrame_[0] = static_cast<std::uint8_t>(view_.SlaveAddress());
  for (int i = 1; i <= k; ++i) TxFrame_[i] = slot.bytes.at(static_cast<std::size_t>(i));
  const std::uint16_t crc = TxCrc(TxFrame_, k);
  TxFrame_[k + 1] = static_cast<std::uint8_t>(crc & 0xFF);
  TxFrame_[k + 2] = static_cast<std::uint8_t>(crc >> 8);

  inFlight_ = port_.IsOpen() && !sendingHeld_;
  if (!inFlight_) return;
  port_.Write(TxFrame_);
  sentAt_ = std::chrono::steady_clock::now();
  if (observer_) {
    FrameEvent event;
    event.bytes = TxFrame_;
    event.at = sentAt_;
    event.resend = headSent_;
    observer_->OnFrame(event);
  }
  headSent_ = true;
}

// Keeps the controller's values fresh while nothing else waits: a cycle of converter block
// read, transaction-code write, status block read, transaction-code write.
void ModbusEngine::QueueBackgroundPoll() {
  std::array<std::uint8_t, 5> request;
  if (PollPhase_) {
    PollPhase_ = false;
    TransactionCode_ = TransactionCode_ >= kMaxTransactionCode ? 0 : TransactionCode_ + 1;
    view_.SetText({Control::lbl_tr_id}, QString::number(TransactionCode_));
    request = RegisterRequest(6, reg::kTransactionCode, TransactionCode_);
  } else {
    PollPhase_ = true;
    BlockPhase_ = !BlockPhase_;
    const reg::Block block = BlockPhase_ ? reg::kAdcBlock : reg::kStatusBlock;
    request = RegisterRequest(3, block.start, block.count);
  }
  // Only called on an empty ring, which always has room.
  [[maybe_unused]] const bool queued = QueueRequest(request);
}

}  // namespace torvex
