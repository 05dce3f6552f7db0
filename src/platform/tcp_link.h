#pragma once
// The exchange over TCP: to a serial device server that carries the RTU bytes unchanged, or to
// a Modbus TCP gateway. Connects, and once a connection fails or drops, tries again each second
// until told to stop, as a pulled serial adapter is waited for. A server that closes a
// connection it has served on (some close after every answer) is connected to again at once,
// and what it sent before closing stays to be read.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "platform/byte_link.h"
#include "platform/result.h"

namespace torvex {

// Where a network link goes and how its frames travel (kRtuStream or kMbap).
struct NetworkTarget {
  LinkFraming framing = LinkFraming::kMbap;
  QString host;
  std::uint16_t port = 0;

  // "192.168.0.10:502", "[fe80::1]:502".
  QString HostPort() const;
  friend bool operator==(const NetworkTarget&, const NetworkTarget&) = default;
};

// Why a connection did not come about or ended.
struct NetworkFault {
  enum class Reason {
    Refused,       // nothing listens there
    HostNotFound,  // the name does not resolve
    NoAnswer,      // the host did not answer the connection in time
    Dropped,       // the connection was up and ended
    Other,         // in the system's own words
  };
  Reason reason = Reason::Other;
  QString systemText;
  friend bool operator==(const NetworkFault&, const NetworkFault&) = default;
};

// One line that names the server and the reason, in the window's language.
QString NetworkFaultText(const NetworkTarget& target, const NetworkFault& fault);

class TcpLink : public QObject, public ByteLink {
  Q_OBJECT

 public:
  // A connection not up by then counts as unanswered.
  static constexpr std::chrono::milliseconds kConnectTimeout{3000};
  static constexpr std::chrono::milliseconds kRetryInterval{1000};

  explicit TcpLink(QObject* parent = nullptr);
  ~TcpLink() override;
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;

  // Connects to `target` from now on (a connection to another target is closed first).
  void Connect(const NetworkTarget& target);
  // Runs the event loop until the attempt under way has connected or failed.
  BasicResult<NetworkFault> WaitConnected();
  // Ends the connection and stops trying.
  void Close();
  const NetworkTarget& Target() const { return target_; }
  // Whether a connection is wanted (Connect, not Close, was called last).
  bool Wanted() const { return wanted_; }
  // The last failure; none while connected or before the first.
  const std::optional<NetworkFault>& Fault() const { return fault_; }

  bool IsOpen() const override;
  void Write(std::span<const std::uint8_t> bytes) override;
  int BytesWaiting() override;
  std::uint8_t ReadByte() override;
  std::optional<std::chrono::steady_clock::time_point> LastArrival() const override {
    return lastArrival_;
  }
  LinkFraming Framing() const override { return target_.framing; }
  std::uint64_t Connection() const override { return connection_; }
  bool Reopening() const override;
  // Also told when a connection comes up, so that a request waiting for it leaves at once.
  void SetArrivalHandler(std::function<void()> handler) override { onArrival_ = std::move(handler); }

 signals:
  // An attempt ended: connected, or failed (Fault tells why).
  void AttemptEnded();

 private:
  void StartAttempt();
  void Fail(NetworkFault fault);
  void Ended(NetworkFault fault);
  void TakeBytes();
  void TakeFromSystem();
  bool ServerHasClosed() const;

  QTcpSocket socket_;
  QTimer connectTimer_;
  QTimer retryTimer_;
  NetworkTarget target_;
  bool wanted_ = false;
  bool attempting_ = false;
  std::optional<NetworkFault> fault_;
  std::uint64_t connection_ = 0;
  // The connection up now has carried a request and bytes back after it.
  bool wrote_ = false;
  bool served_ = false;
  bool reopening_ = false;
  std::vector<std::uint8_t> received_;
  std::size_t readPos_ = 0;
  std::optional<std::chrono::steady_clock::time_point> lastArrival_;
  std::function<void()> onArrival_;
};

}  // namespace torvex
