#include "platform/qt_serial_port.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <utility>

#include <QFile>
#include <QFileInfo>

#include "platform/port_path.h"

namespace torvex {
namespace {

constexpr int kReopenIntervalMs = 1000;

QSerialPort::Parity ToQt(Parity parity) {
  switch (parity) {
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    case Parity::None: break;
  }
  return QSerialPort::NoParity;
}

// Qt on Unix turns OneAndHalfStop into one stop bit. The UART's "long stop" setting (CSTOPB)
// gives 1.5 stop bits with 5 data bits and 2 otherwise; the mode parser allows 1.5 only with 5
// data bits and 2 only with more, so the long setting serves both.
QSerialPort::StopBits ToQt(StopBits stopBits) {
  return stopBits == StopBits::One ? QSerialPort::OneStop : QSerialPort::TwoStop;
}

// Qt sets CMSPAR for mark and space parity but never clears it, so a port once in mark or space
// parity (by us or by a program before us) would send space or mark for even or odd.
void ClearStickParity(QSerialPort& port, Parity parity) {
#ifdef CMSPAR
  if (!port.isOpen() || parity == Parity::Mark || parity == Parity::Space) return;
  termios tio{};
  if (::tcgetattr(port.handle(), &tio) != 0 || (tio.c_cflag & CMSPAR) == 0) return;
  tio.c_cflag &= ~CMSPAR;
  ::tcsetattr(port.handle(), TCSANOW, &tio);
#else
  (void)port;
  (void)parity;
#endif
}

// The entry ports/comN itself (not its target) when it is a link to a pseudo-terminal: a dead
// pseudo-terminal never comes back, and its number may soon belong to another program's
// terminal, so only a link that has been made anew may be followed again.
std::optional<LinkIdentity> PtyLinkIdentity(const QString& programDir, int number) {
  const auto path = PortDevicePath(programDir, number);
  if (!path) return std::nullopt;
  struct stat st {};
  if (::lstat(QFile::encodeName(*path).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    return std::nullopt;
  }
  if (!QFileInfo(*path).symLinkTarget().startsWith(QStringLiteral("/dev/pts/"))) {
    return std::nullopt;
  }
  return LinkIdentity{static_cast<std::uint64_t>(st.st_ino),
                      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                          st.st_mtim.tv_nsec};
}

std::string Describe(int number, const QString& device, const QString& reason) {
  return QStringLiteral("COM%1 (%2): %3").arg(number).arg(device, reason).toStdString();
}

}  // namespace

QtSerialPort::QtSerialPort(QString programDir, QObject* parent)
    : QObject(parent), programDir_(std::move(programDir)) {
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnPortError);
  connect(&port_, &QSerialPort::readyRead, this,
          [this] { lastArrival_ = std::chrono::steady_clock::now(); });
  reopenTimer_.setInterval(kReopenIntervalMs);
  connect(&reopenTimer_, &QTimer::timeout, this, &QtSerialPort::TryReopen);
}

QtSerialPort::~QtSerialPort() {
  // The port closes as a member after this body; its last reports must not reach a half-gone
  // object.
  disconnect(&port_, nullptr, this, nullptr);
}

void QtSerialPort::SetSettings(const QString& mode) {
  const auto parsed = ParsePortMode(mode);
  if (!parsed) throw PortError(PortError::Kind::InvalidValue, "invalid mode string");
  mode_ = parsed;
  if (port_.isOpen()) ApplyMode(*mode_);
}

void QtSerialPort::SetCommPort(int number) {
  if (!IsValidPortNumber(number)) {
    throw PortError(PortError::Kind::InvalidValue, "port number out of range 1-255");
  }
  reopenTimer_.stop();
  number_ = number;
}

void QtSerialPort::Open() {
  reopenTimer_.stop();
  OpenDevice();
}

void QtSerialPort::Close() {
  reopenTimer_.stop();
  port_.close();
}

bool QtSerialPort::IsOpen() const { return port_.isOpen(); }

void QtSerialPort::Write(std::span<const std::uint8_t> bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  // Qt hands queued bytes to the device only from the event loop; push them out now so the
  // request leaves within this tick. Whatever the device does not take yet follows from the loop.
  port_.flush();
}

int QtSerialPort::BytesWaiting() {
  if (!port_.isOpen()) return 0;
  return static_cast<int>(std::min<qint64>(port_.bytesAvailable(), INT_MAX));
}

std::uint8_t QtSerialPort::ReadByte() {
  char byte = 0;
  if (!port_.isOpen() || !port_.getChar(&byte)) return 0;
  return static_cast<std::uint8_t>(byte);
}

void QtSerialPort::OpenDevice() {
  if (port_.isOpen()) port_.close();
  if (!mode_) throw PortError(PortError::Kind::InvalidValue, "no valid mode string set");
  const auto path = PortDevicePath(programDir_, number_);
  if (!path) throw PortError(PortError::Kind::InvalidValue, "no valid port number set");

  // Qt names its lock file after the device path it is given. Open the link's target, so that
  // every program that opens the same device, by whatever link, sees the same lock.
  const QString target = QFileInfo(*path).canonicalFilePath();
  const QString device = target.isEmpty() ? *path : target;
  port_.setPortName(device);
  ApplyMode(*mode_);  // on a closed port Qt only keeps the values; open() applies them
  if (port_.open(QIODevice::ReadWrite)) {
    ClearStickParity(port_, mode_->parity);
    openedPath_ = *path;
    openedLink_ = PtyLinkIdentity(programDir_, number_);
    return;
  }

  const QSerialPort::SerialPortError error = port_.error();
  const QString reason = port_.errorString();
  port_.clearError();
  // Qt says PermissionError both for a port that another program holds (its lock file or an
  // exclusive open) and for a device we may not open at all; only the first is "in use".
  const bool held = error == QSerialPort::PermissionError &&
                    ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
  throw PortError(held ? PortError::Kind::InUse : PortError::Kind::Unavailable,
                  Describe(number_, device, reason));
}

void QtSerialPort::ApplyMode(const PortMode& mode) {
  // The mode parser is the judge of a mode, here as at opening. Qt's setters are not: on an
  // open pseudo-terminal, which keeps no parity bit, Qt calls even parity unsupported, while
  // the same mode opens without complaint. The device takes what it can, as at opening.
  port_.setBaudRate(mode.speed);
  port_.setParity(ToQt(mode.parity));
  port_.setDataBits(static_cast<QSerialPort::DataBits>(mode.dataBits));
  port_.setStopBits(ToQt(mode.stopBits));
  port_.clearError();
  ClearStickParity(port_, mode.parity);
}

void QtSerialPort::OnPortError(QSerialPort::SerialPortError error) {
  if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
      error != QSerialPort::ResourceError) {
    return;
  }
  if (!port_.isOpen()) return;
  // Left open, Qt reports the same error again at every pass of the event loop and keeps a
  // core busy. Closing here, inside Qt's own report, is what Qt's examples do too.
  port_.close();
  reopenTimer_.start();
}

void QtSerialPort::TryReopen() {
  // Only the same entry: a port opened through ports/comN whose link has gone away must not
  // fall through to /dev/ttyS<N-1>, which may be the console.
  if (PortDevicePath(programDir_, number_) != openedPath_) return;
  if (openedLink_ && PtyLinkIdentity(programDir_, number_) == openedLink_) return;
  try {
    OpenDevice();
    reopenTimer_.stop();
  } catch (const PortError&) {
    // Still gone; the timer tries again.
  }
}

}  // namespace torvex
