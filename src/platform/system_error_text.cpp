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
    default: break;
  }
  return QStringLiteral("системная ошибка %1").arg(error);
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
  const int fd = ::open(Local(path).constData(), O_RDONLY | O_CLOEXEC);
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
