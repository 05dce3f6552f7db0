#include "platform/system_error_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include <QFile>
#include <QFileInfo>

namespace torvex {
namespace {

QByteArray Local(const QString& path) { return QFile::encodeName(path); }

// What is wrong with the folder that should hold a file: missing, no folder, or out of reach.
QString FolderFailure(const QString& folder) {
  struct stat st {};
  if (::stat(Local(folder).constData(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT) return QStringLiteral("папки ") + folder + QStringLiteral(" нет");
    if (error == ENOTDIR) {
      // A file somewhere on the way: name it.
      for (QString at = QFileInfo(folder).path(); at.size() > 1; at = QFileInfo(at).path()) {
        struct stat above {};
        if (::stat(Local(at).constData(), &above) == 0 && !S_ISDIR(above.st_mode)) {
          return at + QStringLiteral(" не является папкой");
        }
      }
    }
    return QStringLiteral("папка ") + folder + QStringLiteral(": ") + SystemErrorText(error);
  }
  if (!S_ISDIR(st.st_mode)) return folder + QStringLiteral(" не является папкой");
  return {};
}

}  // namespace

QString SystemErrorText(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return QStringLiteral("нет прав доступа");
    case ENOENT: return QStringLiteral("нет такого файла или папки");
    case ENOTDIR: return QStringLiteral("часть пути не является папкой");
    case EISDIR: return QStringLiteral("это папка, а не файл");
    case EROFS: return QStringLiteral("файловая система только для чтения");
    case ENOSPC: return QStringLiteral("нет места на диске");
    case EDQUOT: return QStringLiteral("исчерпана дисковая квота");
    case EFBIG: return QStringLiteral("файл превысил допустимый размер");
    case ELOOP: return QStringLiteral("символические ссылки замкнуты в круг");
    case ENAMETOOLONG: return QStringLiteral("слишком длинное имя");
    case EEXIST: return QStringLiteral("уже существует");
    case EBUSY: return QStringLiteral("устройство или файл заняты");
    case EIO: return QStringLiteral("ошибка ввода-вывода");
    case ENXIO:
    case ENODEV: return QStringLiteral("нет такого устройства");
    case EMFILE:
    case ENFILE: return QStringLiteral("открыто слишком много файлов");
    case EINVAL: return QStringLiteral("недопустимый аргумент");
    case ETXTBSY: return QStringLiteral("файл занят: его выполняет программа");
    case EXDEV: return QStringLiteral("файл нельзя перенести на другую файловую систему");
    case ENOMEM: return QStringLiteral("не хватает памяти");
    case EAGAIN: return QStringLiteral("ресурс временно недоступен");
    case EINTR: return QStringLiteral("прервано сигналом");
    case EBADF: return QStringLiteral("файл не открыт для этого действия");
    case ESPIPE: return QStringLiteral("это канал, а не файл");
    case EPIPE: return QStringLiteral("канал закрыт с другой стороны");
    case EOVERFLOW: return QStringLiteral("файл слишком велик");
    case ESTALE: return QStringLiteral("файл на сетевом диске больше недоступен");
    case ENOTEMPTY: return QStringLiteral("папка не пуста");
    case EMLINK: return QStringLiteral("слишком много ссылок");
    case EOPNOTSUPP: return QStringLiteral("действие не поддерживается");
    case ENOSYS: return QStringLiteral("действие не поддерживается системой");
    case ETIMEDOUT: return QStringLiteral("истекло время ожидания");
    case ECONNREFUSED: return QStringLiteral("соединение отвергнуто");
    case ECONNRESET: return QStringLiteral("соединение сброшено другой стороной");
    case ENETUNREACH: return QStringLiteral("сеть недоступна");
    case EHOSTUNREACH: return QStringLiteral("узел недоступен");
    case EADDRINUSE: return QStringLiteral("адрес уже используется");
    case EADDRNOTAVAIL: return QStringLiteral("адрес недоступен на этом компьютере");
    default: break;
  }
  return QStringLiteral("системная ошибка %1").arg(error);
}

QString FileDeviceErrorText(QFileDevice::FileError error) {
  switch (error) {
    case QFileDevice::NoError: return {};
    case QFileDevice::ReadError: return QStringLiteral("ошибка чтения");
    case QFileDevice::WriteError: return QStringLiteral("ошибка записи");
    case QFileDevice::FatalError: return QStringLiteral("неустранимая ошибка");
    case QFileDevice::ResourceError: return QStringLiteral("не хватает ресурсов системы (места, памяти или дескрипторов)");
    case QFileDevice::OpenError: return QStringLiteral("файл не открывается");
    case QFileDevice::AbortError: return QStringLiteral("действие прервано");
    case QFileDevice::TimeOutError: return QStringLiteral("истекло время ожидания");
    case QFileDevice::UnspecifiedError: return QStringLiteral("неизвестная ошибка");
    case QFileDevice::RemoveError: return QStringLiteral("файл не удаляется");
    case QFileDevice::RenameError: return QStringLiteral("файл не переименовывается");
    case QFileDevice::PositionError: return QStringLiteral("ошибка позиционирования в файле");
    case QFileDevice::ResizeError: return QStringLiteral("размер файла не меняется");
    case QFileDevice::PermissionsError: return QStringLiteral("нет прав доступа");
    case QFileDevice::CopyError: return QStringLiteral("файл не копируется");
  }
  return QStringLiteral("ошибка файла %1").arg(static_cast<int>(error));
}

QString SocketErrorText(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return SystemErrorText(ECONNREFUSED);
    case QAbstractSocket::RemoteHostClosedError: return QStringLiteral("соединение закрыто другой стороной");
    case QAbstractSocket::HostNotFoundError: return QStringLiteral("адрес не найден");
    case QAbstractSocket::SocketAccessError: return QStringLiteral("нет прав на это действие с сетью");
    case QAbstractSocket::SocketResourceError: return QStringLiteral("не хватает ресурсов системы для соединения");
    case QAbstractSocket::SocketTimeoutError: return SystemErrorText(ETIMEDOUT);
    case QAbstractSocket::DatagramTooLargeError: return QStringLiteral("слишком большая датаграмма");
    case QAbstractSocket::NetworkError: return QStringLiteral("ошибка сети (сеть недоступна или соединение сброшено)");
    case QAbstractSocket::AddressInUseError: return SystemErrorText(EADDRINUSE);
    case QAbstractSocket::SocketAddressNotAvailableError: return SystemErrorText(EADDRNOTAVAIL);
    case QAbstractSocket::UnsupportedSocketOperationError: return QStringLiteral("действие не поддерживается системой (нет IPv6?)");
    case QAbstractSocket::ProxyAuthenticationRequiredError:
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError: return QStringLiteral("ошибка прокси-сервера");
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError: return QStringLiteral("ошибка SSL");
    case QAbstractSocket::OperationError: return QStringLiteral("действие невозможно в этом состоянии соединения");
    case QAbstractSocket::TemporaryError: return SystemErrorText(EAGAIN);
    case QAbstractSocket::UnfinishedSocketOperationError:
    case QAbstractSocket::UnknownSocketError: break;
  }
  return QStringLiteral("неизвестная ошибка сети");
}

QString WriteFailureText(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  if (QString why = FolderFailure(folder); !why.isEmpty()) return why;
  struct stat st {};
  const bool exists = ::stat(Local(path).constData(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return SystemErrorText(EISDIR);
  // A file that is there is written in place; a new one is made in its folder.
  if (exists && ::access(Local(path).constData(), W_OK) != 0) return SystemErrorText(errno);
  if (!exists && ::access(Local(folder).constData(), W_OK) != 0) {
    if (errno == EACCES || errno == EPERM) {
      return QStringLiteral("нет прав на запись в папку ") + folder;
    }
    return SystemErrorText(errno);
  }
  struct statvfs fs {};
  if (::statvfs(Local(folder).constData(), &fs) == 0) {
    if ((fs.f_flag & ST_RDONLY) != 0) return SystemErrorText(EROFS);
    if (fs.f_bavail == 0) return SystemErrorText(ENOSPC);
  }
  return {};
}

QString ReadFailureText(const QString& path) {
  // Without blocking: a FIFO would wait for a writer.
  const int fd = ::open(Local(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      if (QString why = FolderFailure(QFileInfo(path).absolutePath()); !why.isEmpty()) return why;
    }
    return SystemErrorText(error);
  }
  struct stat st {};
  const bool directory = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  return directory ? SystemErrorText(EISDIR) : QString();
}

}  // namespace torvex
