#pragma once
// Runs a search on the port (or the network link) probe by probe, as fast as each probe's line
// time allows: switches the port's mode and number as the order goes, sends the probe, judges
// what came back when its wait is over, and after garbage lets the line fall silent before the
// next. Reports each probe tried, each find, and the end. The exchange must step aside while it
// runs: the port is the search's.
#include <chrono>
#include <cstdint>
#include <set>
#include <vector>

#include <QObject>
#include <QTimer>

#include "platform/serial_port.h"
#include "search/probe.h"
#include "search/search_space.h"

namespace torvex::search {

struct SearchFind {
  Probe probe;
  ProbeFind find;
};

struct SearchEnd {
  bool foundTorvex = false;
  bool portOpened = false;  // at least one port (or the network link) could be used
  bool stopped = false;     // Stop ended it before the order did
};

class ControllerSearch : public QObject {
  Q_OBJECT

 public:
  // COM ports are probed through `port`; a network link (port 0 in the order) through
  // `network`, which must be connected (nullptr: none).
  ControllerSearch(SerialPort& port, ByteLink* network, QObject* parent = nullptr);

  // `all`: go on after the first TORVEX-CPU. Nothing happens while a search runs.
  void Start(const SearchSpace& space, bool all,
             std::chrono::milliseconds allowance = kDefaultReplyAllowance);
  // Ends the search once the probe on the line has been judged.
  void Stop() { stopping_ = true; }
  bool Running() const { return running_; }

 signals:
  // A probe leaves: how many went before it of how many, and the time the rest will take.
  void Trying(const torvex::search::Probe& probe, int done, int total,
              std::chrono::milliseconds left);
  void Found(const torvex::search::SearchFind& find);
  void Finished(const torvex::search::SearchEnd& end);

 private:
  void Next();
  void Judge();
  bool Prepare(const Probe& probe);
  void Finish();
  ByteLink& LinkOf(const Probe& probe);

  SerialPort& port_;
  ByteLink* network_;
  QTimer timer_;
  std::vector<Probe> order_;
  std::vector<std::chrono::microseconds> waits_;
  std::vector<std::chrono::microseconds> left_;  // from each probe to the end
  std::size_t index_ = 0;
  bool all_ = false;
  bool running_ = false;
  bool stopping_ = false;
  std::chrono::milliseconds allowance_ = kDefaultReplyAllowance;
  SearchEnd end_;
  std::set<int> failedPorts_;
  int openPort_ = -1;
  QString openMode_;
  std::uint16_t transaction_ = 0;
  std::vector<std::uint8_t> received_;
  bool awaitingSilence_ = false;
};

}  // namespace torvex::search
