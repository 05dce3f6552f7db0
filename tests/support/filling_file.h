#pragma once
// A real file on a disk that fills up: it takes `room` more bytes, cuts the write that goes
// past them short, as the system does, and then refuses with ENOSPC until room is made again.
#include <algorithm>
#include <cerrno>
#include <limits>

#include <QFile>

namespace torvex::test {

class FillingFile : public QFile {
 public:
  using QFile::QFile;

  qint64 room = std::numeric_limits<qint64>::max();
  bool shrinkable = true;  // false: a file that cannot be shortened (a pipe, a device)

  bool resize(qint64 size) override { return shrinkable && QFile::resize(size); }

 protected:
  qint64 writeData(const char* data, qint64 size) override {
    if (room == 0) {
      errno = ENOSPC;
      setErrorString(QStringLiteral("No space left on device"));
      return -1;
    }
    const qint64 written = QFile::writeData(data, std::min(size, room));
    if (written > 0) room -= written;
    return written;
  }
};

}  // namespace torvex::test
