#pragma once
// Runs a search on the port (or the network link) probe by probe, as fast as each probe's line
// time allows: switches the port's mode and number as the order goes, sends the probe, judges
// what came back when its wait is over (over a network link as soon as its answer is there: a
// gateway answers when its own line is done), asks a device that gave its versions whether it
// is the controller, and after garbage lets the line fall silent before the next. Reports each
// probe tried, each find, and the end; every frame goes to the exchange's observer as the
// engine's do. The exchange must step aside while it runs: the port is the search's.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include <QObject>
#include <QTimer>

#include "engine/exchange_observer.h"
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
  bool linkLost = false;    // the network link went and did not come back
  int probes = 0;           // probes sent
  // The COM ports that did not open (or failed later), with why.
  std::map<int, PortError> failedPorts;
};

class ControllerSearch : public QObject {
  Q_OBJECT

 public:
  // A network link that has dropped is waited for this long before the search gives up.
  static constexpr std::chrono::milliseconds kLinkWait{5000};

  // COM ports are probed through `port`; a network link (port 0 in the order) through
  // `network`, which must be connected (nullptr: none). Every frame is told to `observer`
  // (nullptr: nobody).
  ControllerSearch(SerialPort& port, ByteLink* network, ExchangeObserver* observer = nullptr,
                   QObject* parent = nullptr);

  // `all`: go on after the first TORVEX-CPU. Nothing happens while a search runs.
  void Start(const SearchSpace& space, bool all,
             std::chrono::milliseconds allowance = kDefaultReplyAllowance);
  // Ends the search once the probe on the line has been judged.
  void Stop() { stopping_ = true; }
  bool Running() const { return running_; }
  // Bytes arrived on a link: a network probe whose answer is whole is judged at once. The
  // owner of the link's arrival handler calls it.
  void OnArrival();

 signals:
  // A probe leaves: how many went before it of how many, and the time the rest will take.
  void Trying(const torvex::search::Probe& probe, int done, int total,
              std::chrono::milliseconds left);
  void Found(const torvex::search::SearchFind& find);
  void Finished(const torvex::search::SearchEnd& end);

 private:
  void Next();
  void Judge();
  void JudgeReply();
  bool Prepare(const Probe& probe);
  bool LinkBack(const Probe& probe);
  void Send(const Probe& probe, const modbus::Pdu& request);
  void Collect(ByteLink& link);
  void Finish();
  ByteLink& LinkOf(const Probe& probe);
  void ReportRx(FrameOutcome outcome, std::size_t offset, std::size_t size,
                int exceptionCode = 0, std::size_t expectedSize = 0);
  void ReportReceived(const Scan& scan, const std::optional<ProbeReply>& reply);

  SerialPort& port_;
  ByteLink* network_;
  ExchangeObserver* observer_;
  QTimer timer_;
  QTimer linkTimer_;
  std::vector<Probe> order_;
  std::vector<std::chrono::microseconds> waits_;
  std::vector<std::chrono::microseconds> left_;  // from each probe to the end
  std::size_t index_ = 0;
  bool all_ = false;
  bool running_ = false;
  bool stopping_ = false;
  std::chrono::milliseconds allowance_ = kDefaultReplyAllowance;
  SearchEnd end_;
  int openPort_ = -1;
  QString openMode_;
  std::optional<std::chrono::steady_clock::time_point> linkDownSince_;
  // The request on the line: the version read, or the identity read once the versions came.
  modbus::Pdu request_;
  bool identity_ = false;
  bool identityDue_ = false;
  std::optional<ProbeReply> versions_;
  std::uint16_t transaction_ = 0;
  LinkFraming framing_ = LinkFraming::kRtuLine;
  std::vector<std::uint8_t> txFrame_;
  std::chrono::steady_clock::time_point sentAt_;
  std::vector<std::uint8_t> received_;
  bool awaitingSilence_ = false;
};

}  // namespace torvex::search
