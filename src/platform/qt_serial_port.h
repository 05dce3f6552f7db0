#pragma once
// The serial port layer on Qt SerialPort.
#include <optional>

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include "platform/port_mode.h"
#include "platform/serial_port.h"

namespace torvex {

// COMn is resolved through PortDevicePath at every opening. Received bytes reach the port's
// buffer while the event loop runs, so BytesWaiting counts what arrived up to the last pass of
// the loop.
//
// A port that dies while open (adapter pulled, far end of a pseudo-terminal gone) is closed at
// once; it then reads as closed. Once a second the layer tries to open the same port number
// with the same mode again, resolving ports/comN anew, until it works or the caller calls
// Open, Close or SetCommPort itself.
class QtSerialPort : public QObject, public SerialPort {
  Q_OBJECT

 public:
  // program_dir: the directory that holds ports/comN.
  explicit QtSerialPort(QString program_dir, QObject* parent = nullptr);
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

 private:
  void OpenDevice();
  void ApplyMode(const PortMode& mode);
  void OnPortError(QSerialPort::SerialPortError error);
  void TryReopen();

  QString program_dir_;
  std::optional<PortMode> mode_;
  int number_ = 0;
  QSerialPort port_;
  QTimer reopen_timer_;
};

}  // namespace torvex
