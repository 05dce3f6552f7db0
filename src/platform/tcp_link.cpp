#include "platform/tcp_link.h"

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <QEventLoop>

#include "platform/system_error_text.h"

namespace torvex {

QString NetworkTarget::HostPort() const {
  const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
  return shownHost + u':' + QString::number(port);
}

QString NetworkFaultText(const NetworkTarget& target, const NetworkFault& fault) {
  const QString server = QStringLiteral("Сервер ") + target.HostPort();
  switch (fault.reason) {
    case NetworkFault::Reason::Refused:
      return server + QStringLiteral(": соединение отвергнуто (на этом порту никто не принимает "
                                     "соединений: проверьте порт и что сервер включён)");
    case NetworkFault::Reason::HostNotFound:
      return server + QStringLiteral(": адрес не найден (проверьте имя или IP-адрес)");
    case NetworkFault::Reason::NoAnswer:
      return server + QStringLiteral(": нет ответа на соединение за ") +
             QString::number(TcpLink::kConnectTimeout.count() / 1000) +
             QStringLiteral(" с (узел выключен, недоступен из этой сети или закрыт сетевым "
                            "экраном)");
    case NetworkFault::Reason::Dropped:
      return server + QStringLiteral(": соединение разорвано") +
             (fault.systemText.isEmpty() ? QString() : QStringLiteral(" (") + fault.systemText + u')');
    case NetworkFault::Reason::Other:
      break;
  }
  return server + QStringLiteral(": ") + fault.systemText;
}

TcpLink::TcpLink(QObject* parent) : QObject(parent) {
  connectTimer_.setSingleShot(true);
  connectTimer_.setInterval(kConnectTimeout);
  retryTimer_.setSingleShot(true);
  retryTimer_.setInterval(kRetryInterval);
  connect(&connectTimer_, &QTimer::timeout, this,
          [this] { Fail({NetworkFault::Reason::NoAnswer, {}}); });
  connect(&retryTimer_, &QTimer::timeout, this, [this] {
    if (wanted_) StartAttempt();
  });
  connect(&socket_, &QTcpSocket::connected, this, [this] {
    attempting_ = false;
    reopening_ = false;
    connectTimer_.stop();
    fault_.reset();
    // A request leaves at once, not when Nagle's algorithm would let it.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit AttemptEnded();
    if (onArrival_) onArrival_();
  });
  connect(&socket_, &QTcpSocket::readyRead, this, [this] {
    TakeBytes();
    if (onArrival_) onArrival_();
  });
  connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    if (!wanted_ || retryTimer_.isActive()) return;
    NetworkFault fault{NetworkFault::Reason::Other, SocketErrorText(error)};
    if (!attempting_) {
      fault.reason = NetworkFault::Reason::Dropped;
      if (error == QAbstractSocket::RemoteHostClosedError) fault.systemText.clear();
      Ended(fault);
      return;
    } else if (error == QAbstractSocket::ConnectionRefusedError) {
      fault.reason = NetworkFault::Reason::Refused;
    } else if (error == QAbstractSocket::HostNotFoundError) {
      fault.reason = NetworkFault::Reason::HostNotFound;
    } else if (error == QAbstractSocket::SocketTimeoutError) {
      fault.reason = NetworkFault::Reason::NoAnswer;
    }
    Fail(fault);
  });
  connect(&socket_, &QTcpSocket::disconnected, this, [this] {
    if (wanted_ && !attempting_ && !retryTimer_.isActive()) Ended({NetworkFault::Reason::Dropped, {}});
  });
}

TcpLink::~TcpLink() {
  // The socket's end, as it goes, must not start the timers that go before it.
  wanted_ = false;
  socket_.disconnect(this);
  socket_.abort();
}

void TcpLink::Connect(const NetworkTarget& target) {
  target_ = target;
  wanted_ = true;
  retryTimer_.stop();
  fault_.reset();
  received_.clear();
  readPos_ = 0;
  StartAttempt();
}

// Bytes not yet read stay: they came from the server before its connection ended.
void TcpLink::StartAttempt() {
  attempting_ = true;
  wrote_ = false;
  served_ = false;
  ++connection_;
  socket_.abort();
  connectTimer_.start();
  socket_.connectToHost(target_.host, target_.port);
}

// The attempt or the connection is over; the next attempt follows in a second while the
// connection is wanted.
void TcpLink::Fail(NetworkFault fault) {
  fault_ = std::move(fault);
  attempting_ = false;
  reopening_ = false;
  connectTimer_.stop();
  if (wanted_) retryTimer_.start(kRetryInterval);  // first: aborting a live socket tells of its end again
  socket_.abort();
  emit AttemptEnded();
}

// A connection that was up has ended. One the server closed after serving on it is made anew at
// once (from the event loop, not inside the socket's own signal); any other waits a second.
void TcpLink::Ended(NetworkFault fault) {
  TakeBytes();  // what the server sent before it closed
  if (!served_ || !wanted_) {
    Fail(std::move(fault));
    return;
  }
  reopening_ = true;
  ++connection_;  // a request sent on the old connection gets no answer any more
  retryTimer_.start(0);
  socket_.abort();
}

BasicResult<NetworkFault> TcpLink::WaitConnected() {
  if (attempting_) {
    QEventLoop loop;
    connect(this, &TcpLink::AttemptEnded, &loop, &QEventLoop::quit);
    loop.exec();
  }
  if (IsOpen()) return {};
  return BasicResult<NetworkFault>::Failed(fault_.value_or(NetworkFault{}));
}

void TcpLink::Close() {
  wanted_ = false;
  attempting_ = false;
  reopening_ = false;
  connectTimer_.stop();
  retryTimer_.stop();
  socket_.abort();
  received_.clear();
  readPos_ = 0;
  emit AttemptEnded();
}

// A connection whose server has closed it is not open, though Qt may not have seen the close
// yet: a request written into it would be lost.
bool TcpLink::IsOpen() const {
  return !attempting_ && socket_.state() == QAbstractSocket::ConnectedState && !ServerHasClosed();
}

bool TcpLink::Reopening() const { return reopening_ || (served_ && ServerHasClosed()); }

void TcpLink::Write(std::span<const std::uint8_t> bytes) {
  if (!IsOpen()) return;
  socket_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  socket_.flush();
  wrote_ = true;
}

void TcpLink::TakeBytes() {
  const QByteArray bytes = socket_.readAll();
  if (bytes.isEmpty()) return;
  if (readPos_ == received_.size()) {
    received_.clear();
    readPos_ = 0;
  }
  received_.insert(received_.end(), bytes.begin(), bytes.end());
  lastArrival_ = std::chrono::steady_clock::now();
  served_ = served_ || wrote_;
}

// The end of the stream waits to be read: the server has closed its side.
bool TcpLink::ServerHasClosed() const {
  if (socket_.state() != QAbstractSocket::ConnectedState || socket_.bytesAvailable() > 0) return false;
  char byte = 0;
  return ::recv(static_cast<int>(socket_.socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Qt takes bytes from the socket only as the event loop passes. A tick that comes first (the
// program held up, the loop busy) would judge an exchange without what has already arrived:
// take it now, and see the server's close with it.
void TcpLink::TakeFromSystem() {
  if (socket_.state() != QAbstractSocket::ConnectedState) return;
  if (socket_.bytesAvailable() == 0) {
    int pending = 0;
    const int fd = static_cast<int>(socket_.socketDescriptor());
    if ((::ioctl(fd, FIONREAD, &pending) == 0 && pending > 0) || ServerHasClosed()) {
      socket_.waitForReadyRead(0);  // reads what the socket holds, without waiting
    }
  }
  TakeBytes();
}

int TcpLink::BytesWaiting() {
  if (readPos_ == received_.size()) TakeFromSystem();
  return static_cast<int>(received_.size() - readPos_);
}

std::uint8_t TcpLink::ReadByte() {
  if (readPos_ >= received_.size()) return 0;
  return received_[readPos_++];
}

}  // namespace torvex
