#include "platform/checked_save.h"

#include <unistd.h>

#include <cerrno>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/system_error_text.h"
#include "platform/whole_write.h"

namespace torvex {
namespace {

// The reason for a failure the system gave as `error` (0: none): the errno's text, else what
// asking the file system step by step finds, else the file device's own kind of failure.
QString Reason(int error, const QString& path, const QSaveFile& file) {
  if (error != 0) return SystemErrorText(error);
  if (QString found = WriteFailureText(path); !found.isEmpty()) return found;
  return FileDeviceErrorText(file.error());
}

}  // namespace

Result SaveWholeFile(const QString& path, const QByteArray& bytes, LockedFolder locked) {
  QSaveFile file(path);
  file.setDirectWriteFallback(locked == LockedFolder::kWriteInPlace);
  // Unbuffered, so that every write reaches the system here and its refusal is seen. Buffered
  // bytes would only be written by commit(), which does not check that write: the empty
  // temporary file would replace the old one and commit() would report success.
  errno = 0;
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    const int error = errno;
    // Asking the file system names the folder at fault ("папки … нет").
    if (QString found = WriteFailureText(path); !found.isEmpty()) return Result::Failed(found);
    // The file itself may be writable while no new one can be made beside it.
    const QString folder = QFileInfo(path).absolutePath();
    if ((error == EACCES || error == EPERM) && ::access(QFile::encodeName(folder).constData(), W_OK) != 0) {
      return Result::Failed(QStringLiteral("нет прав на запись в папку ") + folder);
    }
    return Result::Failed(Reason(error, path, file));
  }
  const WholeWrite out = WriteWhole(file, bytes);
  if (!out.whole) {
    file.cancelWriting();
    return Result::Failed(Reason(out.error, path, file));
  }
  // commit() syncs too but ignores a failure, which some file systems report only here (a
  // network one, a thin volume out of space).
  if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
    const int error = errno;
    file.cancelWriting();
    return Result::Failed(SystemErrorText(error));
  }
  errno = 0;
  if (!file.commit()) return Result::Failed(Reason(errno, path, file));
  return {};
}

}  // namespace torvex
