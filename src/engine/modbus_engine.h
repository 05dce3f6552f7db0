#pragma once
// The Modbus master's exchange cycle, one request at a time, on a serial line or over TCP (the
// same RTU bytes, or Modbus TCP frames). It is ticked by the poll period's timer (100 ms unless
// set otherwise) or, polling continuously, whenever bytes arrive and at the moment it names
// (NextWake), so that a request leaves as soon as the exchange before it is over. A tick collects what arrived, takes
// from it the answer of the request in flight (matched by address, function, length and echoed
// fields, and over Modbus TCP by its transaction, wherever it stands among stray bytes and stale
// frames), reports the outcome, hands a valid answer to the decoder, and sends the next request
// (or a background poll). An answer still on its way is waited for as long as the response
// timeout says: set by the user, or the line time of the exchange at the port's speed plus a
// reply allowance (and a network allowance over TCP), at least one tick, grown to cover the
// latency of late answers as far as the link allows (polling continuously, no tick is waited
// for). A request asked again is answered by the answer to any of its copies. A gateway's
// exception answers 10 and 11 mean that no answer came from behind it: the exchange fails as
// for silence. A request leaves only into a line that has been silent for a frame gap, and over
// Modbus TCP only while fewer than two requests wait at the gateway. It exchanges and nothing else:
// what to ask when nothing waits comes from a poll source it is given, and what it reports
// (outcomes and counters) is shown by whoever listens.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "engine/answer_scan.h"
#include "engine/exchange_observer.h"
#include "engine/exchange_outcome.h"
#include "engine/line_timing.h"
#include "engine/request_queue.h"
#include "engine/rx_buffer.h"
#include "modbus/expected_answer.h"
#include "modbus/pdu.h"
#include "platform/byte_link.h"

namespace torvex {

class ModbusEngine {
 public:
  // Receives every valid answer, with the request it answers, after that request has left the
  // queue.
  using Decoder = std::function<void(const RxAnswer&)>;
  // The engine's monotonic clock; the port's arrival times are on the same clock.
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // The request to send when none waits (the background poll).
  using PollSource = std::function<modbus::Pdu()>;
  // Told of every outcome as it is reported: of a tick's exchange (before its answer is
  // decoded) and of a refused command.
  using ReportHandler = std::function<void(const ExchangeReport&)>;

  // The tick of the exchange timer, unless the poll period is set otherwise.
  static constexpr std::chrono::milliseconds kTick{100};
  // The poll period of continuous polling.
  static constexpr std::chrono::milliseconds kContinuous{0};
  // How late a controller may start its answer after the request has ended, beyond the time
  // the bytes take on the line.
  static constexpr std::chrono::milliseconds kReplyAllowance{50};
  // A tick that comes this much early (the timer's own slack, the time its handler took
  // before the request left) still counts as one tick after the request.
  static constexpr std::chrono::milliseconds kTickSlack{20};
  // Over TCP, for the network and the gateway, beyond the line behind it.
  static constexpr std::chrono::milliseconds kNetworkAllowance{100};
  // The automatic wait grows to a late answer's latency and this much more (and a quarter).
  static constexpr std::chrono::milliseconds kLearnMargin{20};
  // Nor does it grow beyond this on a serial line, where a controller answers within
  // milliseconds of the line's time,
  static constexpr std::chrono::milliseconds kMaxLearnedWait{1000};
  // nor beyond this over the network, where a gateway, a radio modem or a queue may stand
  // between: a gateway's serial timeout of a second or two is waited out.
  static constexpr std::chrono::milliseconds kMaxLearnedNetworkWait{3000};
  // Answers this many times later than the wait may grow are told of (AnswersTooLate).
  static constexpr int kTooLateToTell = 3;
  // Requests a Modbus TCP gateway may hold at once, whose answers may still come: beyond them
  // it is not flooded with more, as a gateway queues what it is sent.
  static constexpr int kAtTheGateway = 2;

  // The slave address until told otherwise.
  static constexpr int kDefaultSlaveAddress = 7;

  explicit ModbusEngine(ByteLink& link, Clock clock = std::chrono::steady_clock::now)
      : link_(&link), clock_(std::move(clock)) {}

  // Moves the exchange onto another link. An exchange in flight on the old one is given up;
  // its request stays at the head of the queue and goes out again on the new one.
  void SetLink(ByteLink& link);
  const ByteLink& Link() const { return *link_; }

  void SetDecoder(Decoder decoder) { decoder_ = std::move(decoder); }
  // Without a poll source, an empty queue leaves the line idle.
  void SetPollSource(PollSource source) { pollSource_ = std::move(source); }
  void SetReportHandler(ReportHandler handler) { reportHandler_ = std::move(handler); }
  // The slave address of every frame sent from now on (0-127).
  void SetSlaveAddress(int address) { slaveAddress_ = address; }
  int SlaveAddress() const { return slaveAddress_; }
  // Replaces the clock (tests that tick by hand make their own time).
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Told of every frame on the line (nullptr: nobody). Not owned.
  void SetObserver(ExchangeObserver* observer) { observer_ = observer; }

  // The time from one request to the next: the interval of the timer that ticks the engine (one
  // request a tick at most), or kContinuous, each request as soon as the exchange before it is
  // over and the line silent. The automatic answer wait lasts at least until the next tick.
  void SetPollPeriod(std::chrono::milliseconds period) { pollPeriod_ = period; }
  std::chrono::milliseconds PollPeriod() const { return pollPeriod_; }
  bool Continuous() const { return pollPeriod_ == kContinuous; }
  // Polling continuously: when the engine wants its next tick if no byte arrives before (an
  // answer's deadline, the end of the silence the next request waits for, or a retry while the
  // link is closed).
  std::chrono::steady_clock::time_point NextWake() const;

  // One tick of the exchange timer; the port's mode string sets the line's timing. Returns the
  // outcome of the exchange the tick judged; nothing while an answer is still on its way or a
  // request waits for the line.
  std::optional<ExchangeOutcome> Tick(const QString& portSettings);

  // Queues a request behind those pending; the address and the CRC are added at sending.
  // Refused, reported as kQueueFull, on a full ring.
  bool QueueRequest(const modbus::Pdu& request);

  // While held, the sender writes nothing, as if the port were closed: the settings dialog
  // holds it while it opens ports only to see whether they can be opened.
  void SetSendingHeld(bool held) { sendingHeld_ = held; }

  // How long an answer is waited for after its request: nothing for the automatic wait.
  void SetResponseTimeout(std::optional<std::chrono::milliseconds> timeout);
  // How long the answer of the last request sent is waited for, and why that long.
  std::chrono::milliseconds AnswerWait() const {
    return std::chrono::ceil<std::chrono::milliseconds>(answerWait_);
  }
  AnswerWaitSource WaitSource() const { return waitSource_; }

  // Whether the adapter returns what the tool sends (a 2-wire RS-485 adapter's echo). When it
  // does, the request's own bytes at the head of what arrives are dropped, and only those; a
  // copy that nothing follows within the deadline is the answer itself when it can be (a
  // one-register write's answer is its request byte for byte). When it does not, the request's
  // own bytes at the head of what arrives, unless they are its valid answer, fail the exchange
  // with kOwnRequest, and the answer behind them is not taken.
  void SetEchoExpected(bool expected);
  // With the echo expected: answers have come without it in kEchoesMissingToTell exchanges in
  // a row, so the adapter does not seem to echo. Cleared by an echo or a change of the setting.
  bool EchoSeemsAbsent() const { return echoAbsent_; }
  // Answers keep coming later than the automatic wait may grow: about this late, rounded to
  // 100 ms. Told once; cleared when the link or the wait set changes.
  std::optional<std::chrono::milliseconds> AnswersTooLate() const { return tooLate_; }
  static constexpr int kEchoesMissingToTell = 3;

  // The last outcome reported: of the last tick that judged an exchange, or a refused command.
  ExchangeOutcome LastOutcome() const { return lastOutcome_; }
  // What the last tick judged; nothing when it waited.
  std::optional<ExchangeOutcome> LastTick() const { return lastTick_; }
  const RequestQueue& Queue() const { return queue_; }
  // The last valid answer, from cell 0; RxCount is its length in the tick that took it, 0 in
  // any other tick.
  const RxBuffer& Rx() const { return rxBuffer_; }
  int RxCount() const { return rxCount_; }
  std::int64_t ExchangeErrors() const { return exchangeErrors_; }
  // Stray bytes and frames that answered nothing in flight, dropped (runs of bytes and frames).
  std::int64_t DroppedFrames() const { return droppedFrames_; }
  const LineTiming& Timing() const { return timing_; }

 private:
  // Where the exchange stands between ticks.
  enum class Phase {
    kIdle,      // nothing on the line from us: the first tick, a closed port, a held sender
    kAwaiting,  // a request is on the line; its answer is awaited
    kHolding,   // the exchange is over, but the line is still busy: the next request waits
  };

  void SetLineMode(const QString& portSettings);
  std::optional<ExchangeOutcome> ReceiveAnswer();
  std::optional<ExchangeOutcome> Await(bool silent);
  void DropStaleTail();
  void SettleAround(const Scan& scan, const ScanPiece& answer);
  ExchangeOutcome JudgeGatewayAnswer(const Scan& scan, const ScanPiece& answer, int code);
  bool LostWithItsConnection(const Scan& scan) const;
  bool DropExpectedEcho(bool silent);
  void NoteEcho(bool came);
  bool OwnRequestCameBack() const;
  ExchangeOutcome JudgeOwnRequest();
  void TakeAnswer(const Scan& scan, const ScanPiece& answer);
  ExchangeOutcome JudgeFailure(const Scan& scan);
  void SendWhenSilent(bool silent);
  void SendNextRequest();
  void CountExchangeError(ExchangeOutcome outcome);
  void Report(ExchangeOutcome outcome, std::optional<int> exception = std::nullopt);
  void ReportRx(FrameOutcome outcome, std::size_t offset, std::size_t size, int exceptionCode = 0,
                std::size_t expectedSize = 0);
  void DropReceived();
  Scan ScanReceived(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                    std::uint16_t transaction, bool silent) const;
  Scan ScanForHead(std::span<const std::uint8_t> bytes, bool silent) const;
  void SetAnswerWait(std::size_t rtuRequestSize, std::size_t answerSize);
  void HoldWakeForAnswer();
  void NoteLateAnswers(std::span<const std::uint8_t> bytes);
  void NoteAnswerLatency(const ScanPiece& answer);
  void Learn(std::chrono::steady_clock::duration latency);
  std::chrono::steady_clock::duration LearnBound() const;
  std::chrono::steady_clock::duration CopyLifetime() const;
  struct SentCopy;
  SentCopy* CopyOf(const ScanPiece& piece);
  void Answered(SentCopy& copy);
  std::optional<std::chrono::steady_clock::time_point> GatewayFullUntil();
  bool OnNetwork() const { return framing_ != LinkFraming::kRtuLine; }

  ByteLink* link_;
  Clock clock_;
  Decoder decoder_;
  PollSource pollSource_;
  ReportHandler reportHandler_;
  int slaveAddress_ = kDefaultSlaveAddress;
  ExchangeObserver* observer_ = nullptr;

  RequestQueue queue_;
  // The request on the line, and its frame as sent.
  modbus::Pdu inFlight_;
  std::vector<std::uint8_t> txFrame_;
  RxBuffer rxBuffer_{};
  int rxCount_ = 0;
  std::int64_t exchangeErrors_ = 0;
  std::int64_t droppedFrames_ = 0;
  bool sendingHeld_ = false;
  bool echoExpected_ = false;
  // The request on the line may still come back first, as an echoing adapter returns it.
  bool echoPending_ = false;
  // The request's own bytes are also its whole, valid answer (a one-register write).
  bool copyIsAnswer_ = false;
  // Exchanges in a row whose answer came without the expected echo.
  int echoesMissing_ = 0;
  bool echoAbsent_ = false;
  ExchangeOutcome lastOutcome_ = ExchangeOutcome::kNoAnswer;
  std::optional<ExchangeOutcome> lastTick_;

  QString lineSettings_;
  LineTiming timing_;

  Phase phase_ = Phase::kIdle;
  std::chrono::milliseconds pollPeriod_ = kTick;
  std::chrono::steady_clock::time_point now_;
  // Bytes received since the request in flight left (or since the last exchange ended).
  std::vector<std::uint8_t> received_;
  std::optional<modbus::ExpectedAnswer> expected_;
  std::chrono::steady_clock::time_point sentAt_;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::steady_clock::time_point holdingSince_;
  // Whether the request at the head has been on the line before (a resend), and whether it is
  // a background poll.
  bool headSent_ = false;
  bool headIsPoll_ = false;

  // How the request in flight was framed, and its Modbus TCP transaction.
  LinkFraming framing_ = LinkFraming::kRtuLine;
  std::uint16_t transaction_ = 0;
  std::optional<std::chrono::milliseconds> responseTimeout_;
  std::chrono::steady_clock::duration answerWait_{0};
  AnswerWaitSource waitSource_ = AnswerWaitSource::kAutomatic;
  // What the latency of late answers taught the automatic wait; zero until one came.
  std::chrono::steady_clock::duration learnedWait_{0};
  // The latency of the last answer that came late.
  std::chrono::steady_clock::duration lastLatency_{0};
  // Late answers beyond what the wait may grow to, and how late they come once told.
  int pastBound_ = 0;
  std::chrono::steady_clock::duration leastPastBound_{0};
  std::optional<std::chrono::milliseconds> tooLate_;
  // The requests sent lately, newest last, to know a late answer to one of them and what waits
  // at a gateway. Answers come in the order of their requests: one that comes ends the wait
  // for every copy sent before its own.
  struct SentCopy {
    std::uint16_t transaction;
    modbus::ExpectedAnswer expected;
    std::chrono::steady_clock::time_point sentAt;
    std::uint64_t serial;      // the request's number in the ring: copies of one request share it
    std::uint64_t connection;  // the link's connection it went on
    bool awaited = true;       // its answer may still come
  };
  std::deque<SentCopy> sent_;
  // The connection the request in flight went on.
  std::uint64_t sentConnection_ = 0;
  // Not before then does the next request leave: a gateway's answer for a silent controller is
  // resent as silence would be, and a gateway that holds enough is not sent more.
  std::chrono::steady_clock::time_point sendAfter_{};
  // Idle only while the link makes a new connection after the server closed one that served:
  // not a failed exchange.
  bool idleForReconnect_ = false;
  // Over Modbus TCP: the rest of an answer judged incomplete, still due on its connection, and
  // when its request left.
  std::size_t staleTail_ = 0;
  std::uint64_t staleConnection_ = 0;
  std::chrono::steady_clock::time_point staleSentAt_{};
};

}  // namespace torvex
