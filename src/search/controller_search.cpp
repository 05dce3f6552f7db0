#include "search/controller_search.h"

#include "engine/line_timing.h"
#include "modbus/adu.h"
#include "modbus/mbap.h"

namespace torvex::search {
namespace {

using Clock = std::chrono::steady_clock;
// How often a dropped network link is looked at while it is waited for.
constexpr std::chrono::milliseconds kLinkPoll{20};

}  // namespace

ControllerSearch::ControllerSearch(SerialPort& port, ByteLink* network, ExchangeObserver* observer,
                                   QObject* parent)
    : QObject(parent), port_(port), network_(network), observer_(observer) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &ControllerSearch::Judge);
  linkTimer_.setSingleShot(true);
  linkTimer_.setInterval(kLinkPoll);
  connect(&linkTimer_, &QTimer::timeout, this, &ControllerSearch::Next);
}

void ControllerSearch::Start(const SearchSpace& space, bool all,
                             std::chrono::milliseconds allowance) {
  if (running_) return;
  order_ = SearchOrder(space);
  all_ = all;
  allowance_ = allowance;
  running_ = true;
  stopping_ = false;
  end_ = {};
  openPort_ = -1;
  openMode_.clear();
  linkDownSince_.reset();
  identityDue_ = false;
  index_ = 0;
  waits_.clear();
  for (const Probe& probe : order_) {
    waits_.push_back(ProbeWait(probe.mode, allowance_, probe.port == 0));
  }
  left_.assign(order_.size() + 1, std::chrono::microseconds{0});
  for (std::size_t i = order_.size(); i-- > 0;) left_[i] = left_[i + 1] + waits_[i];
  QTimer::singleShot(0, this, &ControllerSearch::Next);
}

ByteLink& ControllerSearch::LinkOf(const Probe& probe) {
  if (probe.port == 0 && network_) return *network_;
  return port_;
}

// The port of the probe, open at its mode; false when it cannot be.
bool ControllerSearch::Prepare(const Probe& probe) {
  if (probe.port == 0) return network_ != nullptr;
  if (end_.failedPorts.contains(probe.port)) return false;
  if (probe.port != openPort_ || !port_.IsOpen()) {
    if (port_.IsOpen()) port_.Close();
    openPort_ = probe.port;
    openMode_.clear();
    const auto opened = TryPort([&] {
      port_.SetSettings(probe.mode);
      port_.SetCommPort(probe.port);
      port_.Open();
    });
    if (!opened) {
      end_.failedPorts.insert_or_assign(probe.port, opened.Why());
      openPort_ = -1;
      return false;
    }
    openMode_ = probe.mode;
  } else if (probe.mode != openMode_) {
    if (!TryPort([&] { port_.SetSettings(probe.mode); })) return false;
    openMode_ = probe.mode;
  }
  return true;
}

// A network link that dropped (a server that closes after each answer, a restart) is waited
// for rather than its probes passed over; false while it is still awaited, and once it is
// given up the search ends.
bool ControllerSearch::LinkBack(const Probe& probe) {
  if (probe.port != 0 || network_->IsOpen()) {
    linkDownSince_.reset();
    return true;
  }
  const Clock::time_point now = Clock::now();
  if (!linkDownSince_) linkDownSince_ = now;
  if (now - *linkDownSince_ < kLinkWait) {
    linkTimer_.start();
  } else {
    end_.linkLost = true;
    Finish();
  }
  return false;
}

void ControllerSearch::Next() {
  // A device that gave its versions is asked the identity read before the order goes on.
  if (identityDue_) {
    const Probe& probe = order_[index_];
    if (!LinkBack(probe)) return;
    identityDue_ = false;
    identity_ = true;
    Send(probe, IdentityRequest());
    return;
  }
  while (index_ < order_.size() && !stopping_) {
    const Probe& probe = order_[index_];
    if (!Prepare(probe)) {
      ++index_;
      continue;
    }
    if (!LinkBack(probe)) return;
    end_.portOpened = true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(left_[index_]);
    emit Trying(probe, static_cast<int>(index_), static_cast<int>(order_.size()), left);
    ++end_.probes;
    identity_ = false;
    versions_.reset();
    Send(probe, ProbeRequest());
    return;
  }
  Finish();
}

void ControllerSearch::Send(const Probe& probe, const modbus::Pdu& request) {
  ByteLink& link = LinkOf(probe);
  // Whatever came before the request cannot answer it.
  received_.clear();
  Collect(link);
  if (!received_.empty()) ReportRx(FrameOutcome::Dropped, 0, received_.size());
  received_.clear();

  request_ = request;
  framing_ = link.Framing();
  const auto address = static_cast<std::uint8_t>(probe.address);
  if (framing_ == LinkFraming::kMbap) {
    txFrame_ = modbus::MbapFrame(++transaction_, address, request_);
  } else {
    txFrame_ = modbus::Adu(address, request_).Bytes();
  }
  link.Write(txFrame_);
  sentAt_ = Clock::now();
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
      ProbeWait(probe.mode, allowance_, probe.port == 0, request_));
  if (observer_) {
    FrameEvent event;
    event.bytes = txFrame_;
    event.at = sentAt_;
    event.answerWait = wait;
    event.framing = framing_;
    observer_->OnFrame(event);
  }
  awaitingSilence_ = false;
  timer_.start(wait);
}

void ControllerSearch::Collect(ByteLink& link) {
  while (link.BytesWaiting() > 0) received_.push_back(link.ReadByte());
}

void ControllerSearch::OnArrival() {
  if (!running_ || !timer_.isActive() || awaitingSilence_ || index_ >= order_.size()) return;
  const Probe& probe = order_[index_];
  if (probe.port != 0) return;  // a serial line is judged when its time is over
  Collect(LinkOf(probe));
  const Scan scan = ScanReply(received_, probe.address, request_, framing_, transaction_);
  if (scan.Answer()) timer_.start(0);
}

void ControllerSearch::Judge() {
  const Probe& probe = order_[index_];
  ByteLink& link = LinkOf(probe);
  Collect(link);
  if (!awaitingSilence_) JudgeReply();
  // Garbage (a wrong speed, another device's frame): what comes next waits for a silent line.
  const LineTiming timing = TimingOf(ParsePortMode(probe.mode));
  const auto last = link.LastArrival();
  const auto silentFor = last ? Clock::now() - *last : Clock::duration::max();
  if (!received_.empty() && framing_ != LinkFraming::kMbap && silentFor < timing.frameGap) {
    awaitingSilence_ = true;
    timer_.start(std::chrono::ceil<std::chrono::milliseconds>(timing.frameGap));
    return;
  }
  if (NeedsIdentity(versions_) && !identity_) {
    identityDue_ = true;
  } else {
    ++index_;
  }
  Next();
}

// The reply to the request on the line, told to the observer; a verdict once the probe has all
// it asks for.
void ControllerSearch::JudgeReply() {
  const Probe& probe = order_[index_];
  const Scan scan = ScanReply(received_, probe.address, request_, framing_, transaction_);
  const std::optional<ProbeReply> reply = ReplyOf(scan, received_, framing_);
  ReportReceived(scan, reply);
  if (!identity_) {
    versions_ = reply;
    if (NeedsIdentity(versions_)) return;
  }
  const std::optional<ProbeFind> find = Verdict(versions_, identity_ ? reply : std::nullopt);
  if (!find) return;
  const bool torvex = find->kind == ProbeFind::Kind::kTorvex;
  if (torvex) end_.foundTorvex = true;
  emit Found({probe, *find});
  if (torvex && !all_) stopping_ = true;
}

void ControllerSearch::Finish() {
  running_ = false;
  timer_.stop();
  linkTimer_.stop();
  end_.stopped = stopping_ && !(end_.foundTorvex && !all_) && index_ < order_.size();
  emit Finished(end_);
}

// What came back, as the engine tells its observer: the answer (or the exception), the bytes
// around it dropped; or, without one, the exchange's failure.
void ControllerSearch::ReportReceived(const Scan& scan, const std::optional<ProbeReply>& reply) {
  if (!observer_) return;
  if (const ScanPiece* answer = scan.Answer()) {
    for (const ScanPiece& piece : scan.pieces) {
      if (&piece == answer) break;
      ReportRx(FrameOutcome::Dropped, piece.offset, piece.size);
    }
    if (reply->kind != ProbeReply::Kind::kAnswer) {
      ReportRx(FrameOutcome::Exception, answer->offset, answer->size, reply->exceptionCode);
    } else {
      ReportRx(FrameOutcome::Answered, answer->offset, answer->size);
    }
    const std::size_t end = answer->offset + answer->size;
    if (end < received_.size()) ReportRx(FrameOutcome::Dropped, end, received_.size() - end);
    return;
  }
  const ScanPiece* last = scan.pieces.empty() ? nullptr : &scan.pieces.back();
  if (received_.size() < 3) {
    ReportRx(FrameOutcome::NoAnswer, 0, received_.size());
  } else if (last && last->kind == ScanPiece::Kind::kPartial && last->whole > last->size &&
             !scan.crcBroken) {
    if (last->offset > 0) ReportRx(FrameOutcome::Dropped, 0, last->offset);
    ReportRx(FrameOutcome::Incomplete, last->offset, last->size, 0, last->whole);
  } else if (!scan.brokenAnswer && scan.HasOtherFrame()) {
    ReportRx(FrameOutcome::Mismatch, 0, received_.size());
  } else {
    ReportRx(FrameOutcome::BadCrc, 0, received_.size());
  }
}

void ControllerSearch::ReportRx(FrameOutcome outcome, std::size_t offset, std::size_t size,
                                int exceptionCode, std::size_t expectedSize) {
  if (!observer_) return;
  FrameEvent event;
  event.direction = FrameDirection::Rx;
  event.outcome = outcome;
  event.bytes = std::span<const std::uint8_t>(received_).subspan(offset, size);
  event.at = Clock::now();
  event.request = txFrame_;
  event.sinceRequest = std::chrono::duration_cast<std::chrono::milliseconds>(event.at - sentAt_);
  event.exceptionCode = exceptionCode;
  event.expectedSize = expectedSize;
  event.framing = framing_;
  observer_->OnFrame(event);
}

}  // namespace torvex::search
