#pragma once
// The serial port layer on Qt SerialPort.
#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include "platform/port_mode.h"
#include "platform/serial_port.h"

namespace torvex {

// Identity of a symbolic link entry (inode and modification time), to tell a link made anew
// from the old one.
struct LinkIdentity {
  std::uint64_t inode;
  std::int64_t mtimeNs;
  friend bool operator==(const LinkIdentity&, const LinkIdentity&) = default;
};
// The links from ports/comN to a device, in order.
using LinkChain = std::vector<LinkIdentity>;

// COMn is resolved through PortDevicePath at every opening. Received bytes reach the port's
// buffer while the event loop runs, and LastArrival is the time of the pass of the loop that
// brought the last bytes; BytesWaiting also takes in what the device holds when the buffer is
// empty, so a late tick sees every byte that has arrived.
//
// A port that dies while open (adapter pulled, far end of a pseudo-terminal gone) is closed at
// once; it then reads as closed. Once a second the layer tries to open the same port number
// with the same mode again, resolving ports/comN anew, until it works or the caller calls
// Open, Close or SetCommPort itself. A link to a pseudo-terminal is followed again only once it
// has been made anew (a restarted simulator, directly or behind a by-id name): the old number
// may now be someone's shell. A
// link that has gone is waited for, never replaced by the built-in port of the same number.
class QtSerialPort : public QObject, public SerialPort {
  Q_OBJECT

 public:
  // programDir: the settings folder, which holds ports/comN.
  explicit QtSerialPort(QString programDir, QObject* parent = nullptr);
  ~QtSerialPort() override;

  void SetSettings(const QString& mode) override;
  void SetCommPort(int number) override;
  // On a port that is already open: closes it and opens it anew with the current number.
  void Open() override;
  void Close() override;
  bool IsOpen() const override;
  void Write(std::span<const std::uint8_t> bytes) override;
  int BytesWaiting() override;
  std::uint8_t ReadByte() override;
  std::optional<std::chrono::steady_clock::time_point> LastArrival() const override {
    return lastArrival_;
  }
  void SetArrivalHandler(std::function<void()> handler) override { onArrival_ = std::move(handler); }
  // The terminal's VMIN: poll() reports the device readable only once that many bytes are in
  // (a read still takes whatever is there).
  void SetWakeThreshold(std::size_t count) override;

 private:
  void OpenDevice();
  void TakeFromDevice();
  // Drops the exclusive claim, then closes; nothing when closed.
  void CloseDevice();
  void ApplyMode(const PortMode& mode);
  void OnPortError(QSerialPort::SerialPortError error);
  void TryReopen();
  void ApplyWakeThreshold(std::size_t count);

  QString programDir_;
  std::optional<PortMode> mode_;
  QString modeText_;  // as given, for the message of a device that refuses it
  int number_ = 0;
  QSerialPort port_;
  QTimer reopenTimer_;
  // The entry (ports/comN or /dev/ttyS<N-1>) of the last successful opening.
  QString openedPath_;
  // The links to a pseudo-terminal that the last opening went through, as they were then.
  std::optional<LinkChain> openedLink_;
  // Set as Qt takes bytes from the device, which it does whenever the event loop runs.
  std::optional<std::chrono::steady_clock::time_point> lastArrival_;
  std::function<void()> onArrival_;
  // The VMIN the open device has; Qt opens it with 0 (every byte wakes).
  std::size_t wakeThreshold_ = 0;
};

}  // namespace torvex
