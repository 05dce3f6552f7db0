#include "engine/modbus_engine.h"

#include <algorithm>
#include <span>

#include "modbus/adu.h"
#include "modbus/answer_length.h"
#include "modbus/mbap.h"

namespace torvex {
namespace {

constexpr std::size_t kMaxStored = 260;
// Received bytes kept for one exchange: room for a whole frame behind a whole frame of junk.
// Beyond it the oldest half is dropped.
constexpr std::size_t kMaxReceived = 2 * 260;
// A line that never falls silent after an exchange counts as no answer once this often.
constexpr std::chrono::seconds kHoldLimit{1};
// Requests remembered at most, to know a late answer to one of them (those within the wait's
// bound are kept; this many cover it even polling continuously on a fast line).
constexpr std::size_t kCopiesKept = 256;

// The code of an exception answer cut from the received bytes: behind the address and the
// function on a line, behind the header and the function over Modbus TCP.
int ExceptionCodeOf(std::span<const std::uint8_t> received, const ScanPiece& piece, LinkFraming framing) {
  const std::size_t at = piece.offset + (framing == LinkFraming::kMbap ? modbus::kMbapHeaderSize + 1 : 2);
  return at < received.size() ? received[at] : 0;
}

// The transaction of a Modbus TCP frame cut from the received bytes.
std::uint16_t TransactionOf(std::span<const std::uint8_t> received, const ScanPiece& piece) {
  return static_cast<std::uint16_t>(received[piece.offset] << 8 | received[piece.offset + 1]);
}

}  // namespace

std::optional<ExchangeOutcome> ModbusEngine::Tick(const QString& portSettings) {
  SetLineMode(portSettings);
  const std::optional<ExchangeOutcome> outcome = ReceiveAnswer();
  HoldWakeForAnswer();
  lastTick_ = outcome;
  return outcome;
}

std::chrono::steady_clock::time_point ModbusEngine::NextWake() const {
  const auto lastArrival = link_->LastArrival();
  switch (phase_) {
    case Phase::kAwaiting:
      // Past the deadline an answer still arriving is waited for until the line falls silent.
      if (now_ < deadline_ || !lastArrival) return deadline_;
      return std::max(deadline_, *lastArrival + timing_.frameGap);
    case Phase::kHolding:
      return std::max(lastArrival ? *lastArrival + timing_.frameGap : now_, sendAfter_);
    case Phase::kIdle:
      break;
  }
  return now_ + kTick;  // nothing of ours on the line: try again as the timer always did
}

// Polling continuously on a serial line, the answer awaited is let gather in the port before
// the loop wakes, so that it wakes once an answer rather than once a character. An operator's
// request may be refused: first as many bytes as an exception answer has, so that one is taken
// at once, then the rest of the whole answer. A background poll, which a controller does not
// refuse, waits for its whole answer; should it be refused after all, the refusal is taken at
// the deadline. Past the deadline, and in every other state, every byte wakes it. A line that
// ticks on its timer keeps every byte waking it, as it always has.
void ModbusEngine::HoldWakeForAnswer() {
  std::size_t count = 1;
  if (Continuous() && phase_ == Phase::kAwaiting && framing_ == LinkFraming::kRtuLine &&
      now_ < deadline_ && expected_ && expected_->Length() > modbus::kExceptionAnswerSize) {
    const std::size_t echo = echoPending_ ? txFrame_.size() : 0;
    const std::size_t first = echo + modbus::kExceptionAnswerSize;
    const std::size_t whole = echo + expected_->Length();
    const std::size_t target = received_.size() < first && !headIsPoll_ ? first : whole;
    if (target > received_.size()) count = target - received_.size();
  }
  link_->SetWakeThreshold(count);
}

void ModbusEngine::SetLineMode(const QString& portSettings) {
  if (portSettings == lineSettings_) return;
  lineSettings_ = portSettings;
  timing_ = TimingOf(ParsePortMode(portSettings));
}

void ModbusEngine::SetLink(ByteLink& link) {
  if (&link == link_) return;
  link_->SetWakeThreshold(1);
  link_ = &link;
  received_.clear();
  sent_.clear();
  staleTail_ = 0;
  sendAfter_ = {};
  lastLatency_ = {};
  pastBound_ = 0;
  tooLate_.reset();
  phase_ = Phase::kIdle;
}

void ModbusEngine::SetResponseTimeout(std::optional<std::chrono::milliseconds> timeout) {
  if (timeout == responseTimeout_) return;
  responseTimeout_ = timeout;
  pastBound_ = 0;  // what was told was about the wait before
  tooLate_.reset();
}

bool ModbusEngine::QueueRequest(const modbus::Pdu& request) {
  // A full ring refuses below: its slot to fill is then the free one that stays free.
  queue_.SlotToFill() = request;
  if (queue_.CommitRequest()) return true;
  Report(ExchangeOutcome::kQueueFull);
  return false;
}

std::optional<ExchangeOutcome> ModbusEngine::ReceiveAnswer() {
  now_ = clock_();
  rxCount_ = 0;
  while (link_->BytesWaiting() > 0) {
    if (received_.size() >= kMaxReceived) {
      ReportRx(FrameOutcome::Dropped, 0, kMaxReceived / 2);
      ++droppedFrames_;
      received_.erase(received_.begin(), received_.begin() + kMaxReceived / 2);
    }
    received_.push_back(link_->ReadByte());
  }
  DropStaleTail();
  // Modbus TCP frames carry their length: there is no line of ours to wait for.
  const auto lastArrival = link_->LastArrival();
  const bool silent = link_->Framing() == LinkFraming::kMbap || !lastArrival ||
                      now_ - *lastArrival >= timing_.frameGap;

  switch (phase_) {
    case Phase::kAwaiting:
      return Await(silent);
    case Phase::kHolding:
      // The rest of a failed answer, or a stale frame: it answers nothing.
      DropReceived();
      if (silent && now_ >= sendAfter_) {
        SendNextRequest();
      } else if (!silent && now_ - holdingSince_ >= kHoldLimit) {
        holdingSince_ = now_;
        CountExchangeError(ExchangeOutcome::kNoAnswer);
        return ExchangeOutcome::kNoAnswer;
      }
      return std::nullopt;
    case Phase::kIdle:
      break;
  }
  DropReceived();
  if (std::exchange(idleForReconnect_, false)) {
    // The server closed a connection after serving on it, as it may after every answer: the
    // request goes on the next one, and nothing has failed.
    SendWhenSilent(silent);
    return std::nullopt;
  }
  // Nothing of ours was on the line (the first tick, a closed port, a held sender): no answer.
  CountExchangeError(ExchangeOutcome::kNoAnswer);
  SendWhenSilent(silent);
  return ExchangeOutcome::kNoAnswer;
}

// The rest of a Modbus TCP answer judged incomplete comes ahead of anything else on its
// connection: it is dropped as what it is, and tells how late that answer was.
void ModbusEngine::DropStaleTail() {
  if (staleTail_ == 0) return;
  if (link_->Connection() != staleConnection_) {
    staleTail_ = 0;
    return;
  }
  const std::size_t count = std::min(staleTail_, received_.size());
  if (count == 0) return;
  ReportRx(FrameOutcome::Dropped, 0, count);
  ++droppedFrames_;
  received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(count));
  staleTail_ -= count;
  if (staleTail_ == 0) {
    if (const auto arrival = link_->LastArrival()) Learn(*arrival - staleSentAt_);
  }
}

std::optional<ExchangeOutcome> ModbusEngine::Await(bool silent) {
  if (echoPending_ && !DropExpectedEcho(silent)) return std::nullopt;
  const Scan scan = ScanForHead(received_, silent);
  const ScanPiece* answer = scan.Answer();
  if ((!answer || answer->offset != 0) && OwnRequestCameBack()) {
    // What follows the request (its answer, on an echoing line) is let arrive, so that it is
    // not taken for the answer of the next request.
    if (now_ < deadline_) return std::nullopt;
    const ExchangeOutcome outcome = JudgeOwnRequest();
    SendWhenSilent(silent);
    return outcome;
  }
  if (answer) {
    const int code =
        answer->kind == ScanPiece::Kind::kException ? ExceptionCodeOf(received_, *answer, framing_) : 0;
    if (modbus::IsGatewayException(code)) {
      if (framing_ == LinkFraming::kMbap && TransactionOf(received_, *answer) != transaction_) {
        // The gateway's word on an earlier copy: that one is over, the copy in flight may
        // still be answered.
        const std::size_t end = answer->offset + answer->size;
        NoteLateAnswers(std::span<const std::uint8_t>(received_).first(end));
        ReportRx(FrameOutcome::Dropped, 0, end);
        ++droppedFrames_;
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(end));
        return Await(silent);
      }
      const ExchangeOutcome outcome = JudgeGatewayAnswer(scan, *answer, code);
      SendWhenSilent(silent);
      return outcome;
    }
    TakeAnswer(scan, *answer);
    SendWhenSilent(silent);
    return ExchangeOutcome::kLinkUp;
  }
  if (LostWithItsConnection(scan)) {
    // Its answer cannot come on a connection that has ended: it goes again on the next one.
    phase_ = Phase::kIdle;
    SendNextRequest();
    return std::nullopt;
  }
  // The answer may still come: before the deadline, or while its bytes are still arriving.
  const bool arriving =
      !silent && !scan.pieces.empty() && scan.pieces.back().kind == ScanPiece::Kind::kPartial;
  if (now_ < deadline_ || arriving) return std::nullopt;
  const ExchangeOutcome outcome = JudgeFailure(scan);
  SendWhenSilent(silent);
  return outcome;
}

void ModbusEngine::SetEchoExpected(bool expected) {
  if (expected == echoExpected_) return;
  echoExpected_ = expected;
  echoesMissing_ = 0;
  echoAbsent_ = false;
}

// An echoing adapter returns the request before its answer: those bytes at the head of what
// arrives are not the answer, and only they are dropped. A copy that could be the answer
// itself is dropped only once something follows it; followed by nothing within the deadline,
// it is the answer (the adapter did not echo, or the echo and the answer are one). False while
// that is still undecided.
bool ModbusEngine::DropExpectedEcho(bool silent) {
  const std::size_t have = std::min(received_.size(), txFrame_.size());
  const auto head = received_.begin() + static_cast<std::ptrdiff_t>(have);
  if (!std::equal(received_.begin(), head, txFrame_.begin())) {
    echoPending_ = false;  // something else came first: there is nothing to drop
    NoteEcho(false);
    return true;
  }
  if (have < txFrame_.size()) return now_ >= deadline_;  // the copy is still on its way
  const bool followed = received_.size() > txFrame_.size();
  if (copyIsAnswer_ && !followed) {
    if (now_ < deadline_ || !silent) return false;
    echoPending_ = false;  // a lone copy: the answer
    return true;
  }
  ReportRx(FrameOutcome::Echo, 0, have);
  received_.erase(received_.begin(), head);
  echoPending_ = false;
  NoteEcho(true);
  return true;
}

// Whether an exchange with the echo expected had it; several answers in a row without it are
// told once, to the observer, and stay visible in EchoSeemsAbsent.
void ModbusEngine::NoteEcho(bool came) {
  if (came) {
    echoesMissing_ = 0;
    echoAbsent_ = false;
    return;
  }
  if (echoAbsent_ || ++echoesMissing_ < kEchoesMissingToTell) return;
  echoAbsent_ = true;
  ReportRx(FrameOutcome::NoEcho, 0, 0);
}

// With the echo setting off: the request's own bytes in front of whatever else arrived. Asked
// only when they are not the request's valid answer, as a one-register write's answer is its
// request byte for byte.
bool ModbusEngine::OwnRequestCameBack() const {
  return !echoExpected_ && received_.size() >= txFrame_.size() &&
         std::equal(txFrame_.begin(), txFrame_.end(), received_.begin());
}

// The request came back in place of an answer: the exchange fails, and whatever followed it
// is dropped, as taking it would hide an adapter the settings do not describe.
ExchangeOutcome ModbusEngine::JudgeOwnRequest() {
  CountExchangeError(ExchangeOutcome::kOwnRequest);
  ReportRx(FrameOutcome::OwnRequest, 0, txFrame_.size());
  ++droppedFrames_;
  if (received_.size() > txFrame_.size()) {
    ReportRx(FrameOutcome::Dropped, txFrame_.size(), received_.size() - txFrame_.size());
    ++droppedFrames_;
  }
  received_.clear();
  return ExchangeOutcome::kOwnRequest;
}

// The request in flight, or an earlier copy of it, is answered: over Modbus TCP each copy has
// its transaction, and the answer of any of them is the request's (a late answer to the first
// copy is as good as the resend's). A copy sent at another slave address is not asked for.
Scan ModbusEngine::ScanForHead(std::span<const std::uint8_t> bytes, bool silent) const {
  if (framing_ != LinkFraming::kMbap) return ScanReceived(bytes, *expected_, transaction_, silent);
  std::vector<std::uint16_t> transactions;
  const std::uint64_t head = queue_.Answered() + 1;
  for (const SentCopy& copy : sent_) {
    if (copy.serial == head && copy.awaited && copy.connection == sentConnection_ &&
        copy.expected.Address() == expected_->Address()) {
      transactions.push_back(copy.transaction);
    }
  }
  if (std::find(transactions.begin(), transactions.end(), transaction_) == transactions.end()) {
    transactions.push_back(transaction_);
  }
  return ScanMbapAnswer(bytes, *expected_, transactions);
}

// Nothing has come for the request in flight, and the connection it went on has ended with the
// server closing it after serving (or a new one is up): its answer will not come.
bool ModbusEngine::LostWithItsConnection(const Scan& scan) const {
  return OnNetwork() && scan.pieces.empty() && link_->Connection() != sentConnection_ &&
         (link_->Reopening() || link_->IsOpen());
}

// What came with an answer that is taken: its latency is noted, and the noise and stale frames
// in front of it and the bytes behind it are dropped; the exchange itself is fine.
void ModbusEngine::SettleAround(const Scan& scan, const ScanPiece& answer) {
  NoteLateAnswers(std::span<const std::uint8_t>(received_).first(answer.offset));
  NoteAnswerLatency(answer);
  for (const ScanPiece& piece : scan.pieces) {
    if (&piece == &answer) break;
    ReportRx(FrameOutcome::Dropped, piece.offset, piece.size);
    ++droppedFrames_;
  }
  const std::size_t end = answer.offset + answer.size;
  if (end < received_.size()) {
    ReportRx(FrameOutcome::Dropped, end, received_.size() - end);
    ++droppedFrames_;
  }
}

// A gateway answered for the controller: it failed to answer (11), or the gateway has no path
// to it (10). The exchange fails as for silence; the request stays at the head and goes again
// when its wait is over, as it would have after silence, so a gateway that answers at once is
// not asked again at once.
ExchangeOutcome ModbusEngine::JudgeGatewayAnswer(const Scan& scan, const ScanPiece& answer, int code) {
  SettleAround(scan, answer);
  const bool noPath = code == modbus::kExceptionGatewayPathUnavailable;
  CountExchangeError(noPath ? ExchangeOutcome::kGatewayNoPath : ExchangeOutcome::kGatewayNoAnswer);
  ReportRx(noPath ? FrameOutcome::GatewayNoPath : FrameOutcome::GatewayNoAnswer, answer.offset, answer.size,
           code);
  received_.clear();
  sendAfter_ = std::max(sendAfter_, deadline_);
  return noPath ? ExchangeOutcome::kGatewayNoPath : ExchangeOutcome::kGatewayNoAnswer;
}

Scan ModbusEngine::ScanReceived(std::span<const std::uint8_t> bytes,
                                const modbus::ExpectedAnswer& expected, std::uint16_t transaction,
                                bool silent) const {
  return framing_ == LinkFraming::kMbap ? ScanMbapAnswer(bytes, expected, transaction)
                                        : ScanAnswer(bytes, expected, silent);
}

void ModbusEngine::TakeAnswer(const Scan& scan, const ScanPiece& answer) {
  SettleAround(scan, answer);
  // The decoder reads RTU frames: a Modbus TCP answer is given to it as the line carries it.
  std::span<const std::uint8_t> frame =
      std::span<const std::uint8_t>(received_).subspan(answer.offset, answer.size);
  std::vector<std::uint8_t> rtu;
  if (framing_ == LinkFraming::kMbap) {
    rtu = modbus::RtuOfMbap(frame);
    frame = rtu;
  }
  // No answer of a request the tool sends is longer than a frame; the buffer keeps 260 bytes.
  const std::size_t stored = std::min(frame.size(), kMaxStored);
  std::copy_n(frame.begin(), stored, rxBuffer_.begin());
  rxCount_ = static_cast<int>(stored);

  queue_.AdvanceReadIndex();
  headSent_ = false;
  headIsPoll_ = false;
  if (answer.kind == ScanPiece::Kind::kException) {
    const int code = frame[2];
    Report(ExchangeOutcome::kLinkUp, code);
    ReportRx(FrameOutcome::Exception, answer.offset, answer.size, code);
  } else {
    Report(ExchangeOutcome::kLinkUp);
    ReportRx(FrameOutcome::Answered, answer.offset, answer.size);
  }
  received_.clear();
  if (decoder_) decoder_(RxAnswer{rxBuffer_, rxCount_, inFlight_, queue_.Answered()});
}

// As the exchange has always been judged: fewer than 3 bytes are no answer; an answer with a
// wrong CRC or cut short is a checksum mismatch, and so is any other junk of 3 bytes or more;
// only a well-formed frame that answers something else is not this request's answer. An answer
// cut short is told as such to the observer, apart from the bytes in front of it.
ExchangeOutcome ModbusEngine::JudgeFailure(const Scan& scan) {
  NoteLateAnswers(received_);
  const std::size_t count = received_.size();
  const ScanPiece* cut = scan.pieces.empty() ? nullptr : &scan.pieces.back();
  if (count >= 3 && cut && cut->kind == ScanPiece::Kind::kPartial && cut->size >= 3 &&
      cut->whole > cut->size && !scan.crcBroken) {
    CountExchangeError(ExchangeOutcome::kChecksumMismatch);
    for (const ScanPiece& piece : scan.pieces) {
      if (&piece == cut) break;
      ReportRx(FrameOutcome::Dropped, piece.offset, piece.size);
      ++droppedFrames_;
    }
    ReportRx(FrameOutcome::Incomplete, cut->offset, cut->size, 0, cut->whole);
    if (framing_ == LinkFraming::kMbap) {
      // Its rest still comes on this connection, ahead of the next answer.
      staleTail_ = cut->whole - cut->size;
      staleConnection_ = link_->Connection();
      const SentCopy* copy = CopyOf(*cut);
      staleSentAt_ = copy ? copy->sentAt : sentAt_;
    }
    received_.clear();
    return ExchangeOutcome::kChecksumMismatch;
  }
  ExchangeOutcome outcome = ExchangeOutcome::kChecksumMismatch;
  FrameOutcome frame = FrameOutcome::BadCrc;
  if (count < 3) {
    outcome = ExchangeOutcome::kNoAnswer;
    frame = FrameOutcome::NoAnswer;
  } else if (!scan.brokenAnswer && scan.HasOtherFrame()) {
    outcome = ExchangeOutcome::kNotThisAnswer;
    frame = FrameOutcome::Mismatch;
  }
  CountExchangeError(outcome);
  ReportRx(frame, 0, count);
  received_.clear();
  return outcome;
}

void ModbusEngine::SendWhenSilent(bool silent) {
  if (silent && now_ >= sendAfter_) {
    SendNextRequest();
    return;
  }
  // Never talk over the line (nor ask again before a gateway's answer for a silent controller
  // has been waited out as silence would): the request waits for the tick that finds it so.
  phase_ = Phase::kHolding;
  holdingSince_ = now_;
}

void ModbusEngine::DropReceived() {
  if (received_.empty()) return;
  NoteLateAnswers(received_);
  ReportRx(FrameOutcome::Dropped, 0, received_.size());
  ++droppedFrames_;
  received_.clear();
}

// A received frame or run of bytes and what became of it.
void ModbusEngine::ReportRx(FrameOutcome outcome, std::size_t offset, std::size_t size,
                            int exceptionCode, std::size_t expectedSize) {
  if (!observer_) return;
  FrameEvent event;
  event.direction = FrameDirection::Rx;
  event.outcome = outcome;
  event.bytes = std::span<const std::uint8_t>(received_).subspan(offset, size);
  event.at = now_;
  event.request = txFrame_;
  event.framing = framing_;
  if (phase_ != Phase::kIdle) {
    event.sinceRequest = std::chrono::duration_cast<std::chrono::milliseconds>(now_ - sentAt_);
  }
  event.exceptionCode = exceptionCode;
  event.expectedSize = expectedSize;
  observer_->OnFrame(event);
}

void ModbusEngine::CountExchangeError(ExchangeOutcome outcome) {
  ++exchangeErrors_;
  Report(outcome);
}

void ModbusEngine::Report(ExchangeOutcome outcome, std::optional<int> exception) {
  lastOutcome_ = outcome;
  if (reportHandler_) reportHandler_({outcome, queue_.PendingCount(), exchangeErrors_, exception});
}

void ModbusEngine::SendNextRequest() {
  DropReceived();  // whatever came before the request left cannot answer it
  if (queue_.IsEmpty()) {
    if (!pollSource_) {
      phase_ = Phase::kIdle;
      return;
    }
    // An empty ring always has room.
    [[maybe_unused]] const bool queued = QueueRequest(pollSource_());
    headIsPoll_ = true;
  }

  if (!link_->IsOpen() || sendingHeld_) {
    phase_ = Phase::kIdle;
    idleForReconnect_ = !sendingHeld_ && link_->Reopening();
    return;
  }
  if (const auto full = GatewayFullUntil()) {
    // The gateway holds enough: the request waits until one of those is answered or given up.
    phase_ = Phase::kHolding;
    holdingSince_ = now_;
    sendAfter_ = *full;
    return;
  }
  // Kept apart from the ring, whose slot a producer may fill again once the answer took the
  // request off it.
  inFlight_ = queue_.Head();
  const modbus::Adu adu(static_cast<std::uint8_t>(slaveAddress_), inFlight_);
  framing_ = link_->Framing();
  txFrame_ = adu.Bytes();
  const std::size_t rtuRequestSize = txFrame_.size();
  if (framing_ == LinkFraming::kMbap) {
    ++transaction_;  // every copy its own, so that a late answer to an earlier one is told apart
    txFrame_ = modbus::MbapFrame(transaction_, adu.Address(), inFlight_);
  }
  link_->Write(txFrame_);
  sentAt_ = clock_();
  sentConnection_ = link_->Connection();
  echoPending_ = echoExpected_;
  expected_.emplace(adu);
  if (echoPending_) {
    const Scan own = ScanReceived(txFrame_, *expected_, transaction_, true);
    const ScanPiece* answer = own.Answer();
    copyIsAnswer_ = answer && answer->offset == 0 && answer->size == txFrame_.size();
  }
  // Copies whose answer is no longer waited for are of no more use, and the oldest of many.
  const auto kept = 2 * CopyLifetime();
  while (!sent_.empty() && (sent_.size() >= kCopiesKept || sentAt_ - sent_.front().sentAt > kept)) {
    sent_.pop_front();
  }
  sent_.push_back({transaction_, *expected_, sentAt_, queue_.Answered() + 1, sentConnection_});
  const std::size_t answerSize =
      expected_->Length() != 0 ? expected_->Length() : modbus::kExceptionAnswerSize;
  SetAnswerWait(rtuRequestSize, answerSize);
  deadline_ = sentAt_ + answerWait_;
  phase_ = Phase::kAwaiting;

  if (observer_) {
    FrameEvent event;
    event.bytes = txFrame_;
    event.at = sentAt_;
    event.resend = headSent_;
    event.answerWait = AnswerWait();
    event.answerWaitSource = waitSource_;
    event.framing = framing_;
    observer_->OnFrame(event);
  }
  headSent_ = true;
}

// The wait set by the user; else the request's bytes, the controller's reply time and its
// answer's bytes on the line (behind the gateway over TCP, and the network's time), at least
// the next tick, as on a fast line the exchange has always been given (polling continuously
// there is no tick to wait for), or what late answers have shown to be needed.
void ModbusEngine::SetAnswerWait(std::size_t rtuRequestSize, std::size_t answerSize) {
  using std::chrono::milliseconds;
  if (responseTimeout_) {
    answerWait_ = *responseTimeout_;
    waitSource_ = AnswerWaitSource::kSet;
    return;
  }
  auto wait = timing_.Bytes(rtuRequestSize + answerSize) + milliseconds(kReplyAllowance);
  if (OnNetwork()) wait += kNetworkAllowance;
  // A tick may come early by its slack, and a short period's by a fifth of it.
  const auto slack = std::min<std::chrono::microseconds>(kTickSlack, pollPeriod_ / 5);
  const auto floor = Continuous() ? std::chrono::microseconds(0) : pollPeriod_ - slack;
  const auto automatic = std::max<std::chrono::microseconds>(floor, wait);
  const auto learned = std::chrono::ceil<std::chrono::microseconds>(learnedWait_);
  waitSource_ = learned > automatic ? AnswerWaitSource::kLearned : AnswerWaitSource::kAutomatic;
  answerWait_ = std::max(automatic, learned);
}

// The longest the automatic wait may grow to on this link, or the wait set.
std::chrono::steady_clock::duration ModbusEngine::LearnBound() const {
  if (responseTimeout_) return *responseTimeout_;
  return OnNetwork() ? kMaxLearnedNetworkWait : kMaxLearnedWait;
}

// Which copy sent a frame answers: over Modbus TCP the one of its transaction, on a line (where
// the copies of a request cannot be told apart) the newest of the request in flight.
ModbusEngine::SentCopy* ModbusEngine::CopyOf(const ScanPiece& piece) {
  if (framing_ == LinkFraming::kMbap) {
    if (piece.size < 2) return nullptr;
    const std::uint16_t transaction = TransactionOf(received_, piece);
    for (auto copy = sent_.rbegin(); copy != sent_.rend(); ++copy) {
      if (copy->transaction == transaction) return &*copy;
    }
    return nullptr;
  }
  return sent_.empty() ? nullptr : &sent_.back();
}

// An answer to `copy` came: answers come in the order of their requests, so none will come
// for it or for any copy sent before it.
void ModbusEngine::Answered(SentCopy& copy) {
  for (SentCopy& earlier : sent_) {
    earlier.awaited = false;
    if (&earlier == &copy) break;
  }
}

// How long the answer of a copy sent may still come: as long as the wait may grow over the
// network, or the wait itself, or twice as long as answers have lately come.
std::chrono::steady_clock::duration ModbusEngine::CopyLifetime() const {
  constexpr std::chrono::seconds kLongest{10};
  return std::max({std::chrono::steady_clock::duration(kMaxLearnedNetworkWait), LearnBound(), answerWait_,
                   std::min<std::chrono::steady_clock::duration>(2 * lastLatency_, kLongest)});
}

// Over Modbus TCP, while kAtTheGateway requests of this connection are still waited for, the
// moment the oldest of them is given up; nothing when another may go. Without an answer a
// gateway's queue cannot be told from requests lost: it is not sent more all the same.
std::optional<std::chrono::steady_clock::time_point> ModbusEngine::GatewayFullUntil() {
  if (link_->Framing() != LinkFraming::kMbap) return std::nullopt;
  const auto bound = CopyLifetime();
  int waiting = 0;
  std::optional<std::chrono::steady_clock::time_point> oldest;
  for (const SentCopy& copy : sent_) {
    if (!copy.awaited || copy.connection != link_->Connection() || now_ - copy.sentAt >= bound) continue;
    if (!oldest) oldest = copy.sentAt + bound;
    ++waiting;
  }
  if (waiting < kAtTheGateway) return std::nullopt;
  return oldest;
}

// The wait learns a latency: it grows to cover it, as far as the link allows. Answers that keep
// coming later than that are told of once, with how late they come, for the wait to be set.
void ModbusEngine::Learn(std::chrono::steady_clock::duration latency) {
  lastLatency_ = latency;
  const auto wanted = latency + latency / 4 + kLearnMargin;
  const auto bound = LearnBound();
  // A wait set by the user is theirs: it neither learns nor is told about.
  if (responseTimeout_) return;
  learnedWait_ = std::min(bound, std::max(learnedWait_, wanted));
  if (latency <= bound || tooLate_) return;
  // The least of them says it best: a queue behind earlier requests only adds to it.
  leastPastBound_ = pastBound_ == 0 ? latency : std::min(leastPastBound_, latency);
  if (++pastBound_ < kTooLateToTell) return;
  using std::chrono::milliseconds;
  const auto ms = std::chrono::round<milliseconds>(leastPastBound_);
  tooLate_ = std::max(milliseconds(100), (ms + milliseconds(50)) / 100 * 100);
  if (!observer_) return;
  FrameEvent event;
  event.direction = FrameDirection::Rx;
  event.outcome = FrameOutcome::AnswersTooLate;
  event.at = now_;
  event.request = txFrame_;
  event.framing = framing_;
  event.sinceRequest = *tooLate_;
  observer_->OnFrame(event);
}

// Answers to earlier requests that came after their exchange had been judged (or a gateway's
// word on them): the automatic wait was too short for this controller or gateway. It grows to
// cover the latency seen. Each one ends the wait for its copy and those before it.
void ModbusEngine::NoteLateAnswers(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || sent_.empty()) return;
  const auto arrival = link_->LastArrival();
  if (!arrival) return;
  if (framing_ == LinkFraming::kMbap) {
    // Each copy has its transaction: every one answered among the bytes is known.
    for (SentCopy& copy : sent_) {
      if (!copy.awaited || copy.connection != link_->Connection()) continue;
      if (!ScanReceived(bytes, copy.expected, copy.transaction, true).Answer()) continue;
      Answered(copy);
      Learn(*arrival - copy.sentAt);
    }
    return;
  }
  // On a line the copies of a request look alike: the newest that the bytes answer is taken
  // for theirs, as it asks least of the wait.
  for (auto copy = sent_.rbegin(); copy != sent_.rend(); ++copy) {
    if (copy->connection != link_->Connection()) continue;
    if (!ScanReceived(bytes, copy->expected, copy->transaction, true).Answer()) continue;
    Learn(*arrival - copy->sentAt);
    return;
  }
}

// An answer in time to the request in flight: a wait learned from late ones shrinks slowly
// towards what this one needed, so that a controller that has become prompt again is soon
// waited for no longer than before. The answer to an earlier copy came late, and teaches.
void ModbusEngine::NoteAnswerLatency(const ScanPiece& answer) {
  SentCopy* copy = CopyOf(answer);
  const auto arrival = link_->LastArrival();
  if (copy) Answered(*copy);
  if (!arrival) return;
  if (copy && copy->sentAt < sentAt_) {
    Learn(*arrival - copy->sentAt);
    return;
  }
  if (learnedWait_ == std::chrono::steady_clock::duration::zero()) return;
  const auto latency = *arrival - sentAt_;
  const auto needed = latency + latency / 4 + kLearnMargin;
  if (needed < learnedWait_) learnedWait_ -= (learnedWait_ - needed) / 8;
}

}  // namespace torvex
