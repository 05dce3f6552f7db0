#include "platform/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <QFile>
#include <QFileInfo>

#include "platform/system_error_text.h"

namespace torvex {
namespace {

QString KindText(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return SystemErrorText(EISDIR);
  if (S_ISFIFO(mode)) return QStringLiteral("это канал (FIFO), а не файл");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("это устройство, а не файл");
  if (S_ISSOCK(mode)) return QStringLiteral("это сокет, а не файл");
  return QStringLiteral("это не обычный файл");
}

}  // namespace

QString NotAFileText(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return KindText(st.st_mode);
}

QString NotUtf8TextReason(const QByteArray& bytes) {
  if (!bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) return {};
  // UTF-16 starts with its byte-order mark, or has a NUL beside each Latin letter.
  const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
                     (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0'));
  return utf16 ? QStringLiteral("это не текст в кодировке UTF-8 (похоже, UTF-16): сохраните файл в UTF-8")
               : QStringLiteral("это не текст в кодировке UTF-8 (в файле нулевые байты)");
}

FileBytes ReadFileBytes(const QString& path, qint64 limit) {
  FileBytes result;
  // Without blocking: opening a FIFO for reading would wait for a writer.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    result.failure = FileBytes::Failure::kOpen;
    result.reason = ReadFailureText(path);
    if (result.reason.isEmpty()) result.reason = SystemErrorText(error);
    return result;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = errno;
    ::close(fd);
    result.failure = FileBytes::Failure::kOpen;
    result.reason = S_ISREG(st.st_mode) ? SystemErrorText(error) : KindText(st.st_mode);
    return result;
  }
  // One byte past the limit is enough to refuse a longer file without reading it all.
  result.bytes.resize(std::min<qint64>(limit + 1, std::max<qint64>(st.st_size + 1, 4096)));
  qint64 have = 0;
  while (have <= limit) {
    if (have == result.bytes.size()) result.bytes.resize(std::min<qint64>(limit + 1, have * 2));
    const ssize_t n = ::read(fd, result.bytes.data() + have, static_cast<size_t>(result.bytes.size() - have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.failure = FileBytes::Failure::kRead;
      result.reason = SystemErrorText(errno);
      break;
    }
    if (n == 0) break;
    have += n;
  }
  ::close(fd);
  result.bytes.resize(have);
  if (result.failure == FileBytes::Failure::kNone && have > limit) {
    result.failure = FileBytes::Failure::kTooBig;
    // A file of /proc says 0 for its size: then what was read is all that is known.
    result.size = std::max<qint64>(st.st_size, have);
  }
  if (!result.Ok()) result.bytes.clear();
  return result;
}

}  // namespace torvex
