#include "platform/qt_serial_port.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <utility>

#include <QFile>
#include <QFileInfo>

#include "platform/port_diagnosis.h"
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
// parity (by us or by a program before us) would send space or mark for even or odd. Nor does
// it clear PARODD when parity goes off or to even: harmless on a UART, but a device that shows
// only the flags (a pseudo-terminal, whose parity bit itself never shows) would report odd.
void ClearStaleParityBits(QSerialPort& port, Parity parity) {
  if (!port.isOpen() || parity == Parity::Mark || parity == Parity::Space) return;
  termios tio{};
  if (::tcgetattr(port.handle(), &tio) != 0) return;
  tcflag_t stale = 0;
#ifdef CMSPAR
  stale |= CMSPAR;
#endif
  if (parity != Parity::Odd) stale |= PARODD;
  if ((tio.c_cflag & stale) == 0) return;
  tio.c_cflag &= ~stale;
  ::tcsetattr(port.handle(), TCSANOW, &tio);
}

// The links from ports/comN to the device, each as it is now, when they end at a
// pseudo-terminal: a dead pseudo-terminal never comes back, and its number may soon belong to
// another program's terminal, so only a way to it in which some link has been made anew (a
// restarted simulator, behind ports/comN directly or behind a by-id name) may be followed again.
std::optional<LinkChain> PtyLinkChain(const QString& programDir, int number) {
  const auto path = PortDevicePath(programDir, number);
  if (!path) return std::nullopt;
  LinkChain chain;
  QString at = *path;
  for (int depth = 0; depth < 16; ++depth) {
    struct stat st {};
    if (::lstat(QFile::encodeName(at).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    chain.push_back(LinkIdentity{static_cast<std::uint64_t>(st.st_ino),
                                 static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                                     st.st_mtim.tv_nsec});
    const QString next = QFileInfo(at).symLinkTarget();
    if (next.isEmpty()) break;
    at = next;
  }
  if (chain.empty() || !at.startsWith(QStringLiteral("/dev/pts/"))) return std::nullopt;
  return chain;
}

// How the operator knows the device of an entry: its real path while it is there, else the
// name the link gives (a by-id name of an unplugged adapter), else the entry itself.
QString ShownDevice(const QString& entry, const QString& real) {
  if (!real.isEmpty()) return real;
  const QString target = QFileInfo(entry).symLinkTarget();
  return target.isEmpty() ? entry : target;
}

PortError::Kind KindOf(PortFault::Reason reason) {
  switch (reason) {
    case PortFault::Reason::InUse:
    case PortFault::Reason::Claimed: return PortError::Kind::InUse;
    case PortFault::Reason::ModeRefused: return PortError::Kind::InvalidValue;
    default: return PortError::Kind::Unavailable;
  }
}

PortError Failure(int number, const PortFault& fault) {
  return PortError(KindOf(fault.reason),
                   QStringLiteral("COM%1: %2").arg(number).arg(PortFaultText(fault)).toStdString(),
                   fault);
}

}  // namespace

QtSerialPort::QtSerialPort(QString programDir, QObject* parent)
    : QObject(parent), programDir_(std::move(programDir)) {
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnPortError);
  connect(&port_, &QSerialPort::readyRead, this, [this] {
    lastArrival_ = std::chrono::steady_clock::now();
    if (onArrival_) onArrival_();
  });
  reopenTimer_.setInterval(kReopenIntervalMs);
  connect(&reopenTimer_, &QTimer::timeout, this, &QtSerialPort::TryReopen);
}

QtSerialPort::~QtSerialPort() {
  // Its last reports must not reach a half-gone object.
  disconnect(&port_, nullptr, this, nullptr);
  CloseDevice();
}

void QtSerialPort::CloseDevice() {
  if (!port_.isOpen()) return;
  // The exclusive claim belongs to the device, not to this descriptor: while another process
  // keeps the device open (a simulator keeps its terminal open, so may a second program) the
  // claim would outlive the close and keep everyone else out. Dropped first, whatever Qt does.
  ::ioctl(port_.handle(), TIOCNXCL);
  port_.close();
}

void QtSerialPort::SetSettings(const QString& mode) {
  const auto parsed = ParsePortMode(mode);
  if (!parsed) throw PortError(PortError::Kind::InvalidValue, "invalid mode string");
  mode_ = parsed;
  modeText_ = mode;
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
  CloseDevice();
}

bool QtSerialPort::IsOpen() const { return port_.isOpen(); }

void QtSerialPort::Write(std::span<const std::uint8_t> bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  // A request fits in the device's buffer: written to it directly, it leaves at once, and Qt's
  // write notifier is not armed and disarmed for it (each of which wakes the event loop).
  if (port_.bytesToWrite() == 0) {
    const ssize_t n = ::write(port_.handle(), bytes.data(), bytes.size());
    if (n == static_cast<ssize_t>(bytes.size())) return;
    if (n > 0) bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  // Qt hands queued bytes to the device only from the event loop; push them out now so the
  // request leaves within this tick. Whatever the device does not take yet follows from the loop.
  port_.flush();
}

int QtSerialPort::BytesWaiting() {
  if (!port_.isOpen()) return 0;
  if (port_.bytesAvailable() == 0) TakeFromDevice();
  return static_cast<int>(std::min<qint64>(port_.bytesAvailable(), INT_MAX));
}

// Qt takes bytes from the device only as the event loop passes. A tick that comes late (the
// window busy redrawing) may run before that pass, with the answer already in the device:
// take it now, so that an exchange is never judged on bytes the port has not handed over.
void QtSerialPort::TakeFromDevice() {
  int pending = 0;
  if (::ioctl(port_.handle(), FIONREAD, &pending) != 0 || pending <= 0) return;
  // Fewer bytes than a wake threshold asks for do not make the device readable to Qt's poll.
  ApplyWakeThreshold(0);
  port_.waitForReadyRead(0);  // reads what the device holds, without waiting
}

void QtSerialPort::SetWakeThreshold(std::size_t count) {
  ApplyWakeThreshold(count <= 1 ? 0 : std::min<std::size_t>(count, UCHAR_MAX));
}

void QtSerialPort::ApplyWakeThreshold(std::size_t count) {
  if (!port_.isOpen() || count == wakeThreshold_) return;
  termios tio{};
  if (::tcgetattr(port_.handle(), &tio) != 0) return;
  tio.c_cc[VMIN] = static_cast<cc_t>(count);
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(port_.handle(), TCSANOW, &tio) == 0) wakeThreshold_ = count;
}

std::uint8_t QtSerialPort::ReadByte() {
  char byte = 0;
  if (!port_.isOpen() || !port_.getChar(&byte)) return 0;
  return static_cast<std::uint8_t>(byte);
}

void QtSerialPort::OpenDevice() {
  CloseDevice();
  if (!mode_) throw PortError(PortError::Kind::InvalidValue, "no valid mode string set");
  const auto path = PortDevicePath(programDir_, number_);
  if (!path) throw PortError(PortError::Kind::InvalidValue, "no valid port number set");

  // Qt names its lock file after the device path it is given. Open the link's target, so that
  // every program that opens the same device, by whatever link, sees the same lock.
  const QString real = QFileInfo(*path).canonicalFilePath();
  const QString device = real.isEmpty() ? *path : real;
  const QString shown = ShownDevice(*path, real);
  port_.setPortName(device);
  ApplyMode(*mode_);  // on a closed port Qt only keeps the values; open() applies them
  if (port_.open(QIODevice::ReadWrite)) {
    // A program that took no lock and no exclusive claim may still have the device open; it
    // would read the controller's answers. Where that can be seen, the port is not ours.
    if (auto held = HeldElsewhere(device, shown)) {
      CloseDevice();
      throw Failure(number_, *held);
    }
    // Ours alone while open: nothing else may open it and break into an exchange. Qt claims
    // it too; asking again costs nothing and does not depend on Qt's choice.
    ::ioctl(port_.handle(), TIOCEXCL);
    ClearStaleParityBits(port_, mode_->parity);
    wakeThreshold_ = 0;  // as Qt opens it
    openedPath_ = *path;
    openedLink_ = PtyLinkChain(programDir_, number_);
    return;
  }

  const QSerialPort::SerialPortError error = port_.error();
  const QString reason = port_.errorString();
  port_.clearError();
  throw Failure(number_, DiagnoseOpenFailure({.device = device,
                                              .shownAs = shown,
                                              .mode = modeText_,
                                              .refusedAccess = error == QSerialPort::PermissionError,
                                              .systemText = reason}));
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
  ClearStaleParityBits(port_, mode.parity);
}

void QtSerialPort::OnPortError(QSerialPort::SerialPortError error) {
  if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
      error != QSerialPort::ResourceError) {
    return;
  }
  if (!port_.isOpen()) return;
  // Left open, Qt reports the same error again at every pass of the event loop and keeps a
  // core busy. Closing here, inside Qt's own report, is what Qt's examples do too.
  CloseDevice();
  reopenTimer_.start();
}

void QtSerialPort::TryReopen() {
  // Only the same entry: a port opened through ports/comN whose link has gone away must not
  // fall through to /dev/ttyS<N-1>, which may be the console.
  if (PortDevicePath(programDir_, number_) != openedPath_) return;
  if (openedLink_ && PtyLinkChain(programDir_, number_) == openedLink_) return;
  try {
    OpenDevice();
    reopenTimer_.stop();
  } catch (const PortError&) {
    // Still gone; the timer tries again.
  }
}

}  // namespace torvex
