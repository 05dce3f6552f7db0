#include "platform/whole_write.h"

#include <cerrno>

#include <QFileDevice>

namespace torvex {

WholeWrite WriteWhole(QIODevice& device, const QByteArray& bytes) {
  WholeWrite result;
  errno = 0;
  while (result.written < bytes.size()) {
    const qint64 n = device.write(bytes.constData() + result.written, bytes.size() - result.written);
    if (n <= 0) break;
    result.written += n;
  }
  if (result.written == bytes.size()) return result;
  result.whole = false;
  result.error = errno;
  auto* file = qobject_cast<QFileDevice*>(&device);
  if (result.written > 0 && file) result.takenBack = file->resize(file->size() - result.written);
  return result;
}

}  // namespace torvex
