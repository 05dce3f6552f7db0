#include "search/controller_search.h"

#include <numeric>

#include "engine/line_timing.h"
#include "modbus/adu.h"
#include "modbus/mbap.h"

namespace torvex::search {

ControllerSearch::ControllerSearch(SerialPort& port, ByteLink* network, QObject* parent)
    : QObject(parent), port_(port), network_(network) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &ControllerSearch::Judge);
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
  failedPorts_.clear();
  openPort_ = -1;
  openMode_.clear();
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
  if (probe.port == 0) return network_ && network_->IsOpen();
  if (failedPorts_.contains(probe.port)) return false;
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
      failedPorts_.insert(probe.port);
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

void ControllerSearch::Next() {
  while (index_ < order_.size() && !stopping_) {
    const Probe& probe = order_[index_];
    if (!Prepare(probe)) {
      ++index_;
      continue;
    }
    end_.portOpened = true;
    ByteLink& link = LinkOf(probe);
    while (link.BytesWaiting() > 0) link.ReadByte();  // whatever came before the probe
    received_.clear();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(left_[index_]);
    emit Trying(probe, static_cast<int>(index_), static_cast<int>(order_.size()), left);
    const auto address = static_cast<std::uint8_t>(probe.address);
    if (link.Framing() == LinkFraming::kMbap) {
      link.Write(modbus::MbapFrame(++transaction_, address, ProbeRequest()));
    } else {
      link.Write(modbus::Adu(address, ProbeRequest()).Bytes());
    }
    awaitingSilence_ = false;
    timer_.start(std::chrono::ceil<std::chrono::milliseconds>(waits_[index_]));
    return;
  }
  Finish();
}

void ControllerSearch::Judge() {
  const Probe& probe = order_[index_];
  ByteLink& link = LinkOf(probe);
  while (link.BytesWaiting() > 0) received_.push_back(link.ReadByte());
  if (!awaitingSilence_) {
    const std::optional<ProbeFind> find =
        JudgeProbe(received_, probe.address, link.Framing(), transaction_);
    if (find) {
      if (find->kind == ProbeFind::Kind::kTorvex) end_.foundTorvex = true;
      emit Found({probe, *find});
      if (find->kind == ProbeFind::Kind::kTorvex && !all_) stopping_ = true;
    }
  }
  // Garbage (a wrong speed, another device's frame): the next probe waits for a silent line.
  const LineTiming timing = TimingOf(ParsePortMode(probe.mode));
  const auto last = link.LastArrival();
  const auto silentFor = last ? std::chrono::steady_clock::now() - *last
                              : std::chrono::steady_clock::duration::max();
  if (!received_.empty() && link.Framing() != LinkFraming::kMbap && silentFor < timing.frameGap) {
    awaitingSilence_ = true;
    timer_.start(std::chrono::ceil<std::chrono::milliseconds>(timing.frameGap));
    return;
  }
  ++index_;
  Next();
}

void ControllerSearch::Finish() {
  running_ = false;
  end_.stopped = stopping_ && !(end_.foundTorvex && !all_) && index_ < order_.size();
  emit Finished(end_);
}

}  // namespace torvex::search
