#pragma once
// Reading a file the operator names (a parameter file, a plan, the configuration) whole and
// safely: only a regular file is read, so that a FIFO named by mistake cannot hold the program
// forever and a device (/dev/zero) cannot fill its memory, and no more than a limit.
#include <optional>

#include <QByteArray>
#include <QString>

namespace torvex {

struct FileBytes {
  enum class Failure {
    kNone,
    kOpen,    // not opened, or not a regular file: `reason` says why
    kRead,    // opened, but reading failed: `reason` says why
    kTooBig,  // longer than the limit: `size` is its length
  };
  Failure failure = Failure::kNone;
  QByteArray bytes;  // the whole file, when read
  QString reason;    // in the operator's words, without the file's path
  qint64 size = 0;   // kTooBig: the file's length

  bool Ok() const { return failure == Failure::kNone; }
};

// Reads the regular file at path, at most `limit` bytes long.
FileBytes ReadFileBytes(const QString& path, qint64 limit);

// Why bytes read as a text file are not the UTF-8 text the tool reads ("это не текст в
// кодировке UTF-8 (похоже, UTF-16) …"): a NUL byte is in no text of ours, and UTF-16 is what an
// editor on Windows may save. Empty for bytes that may be such text.
QString NotUtf8TextReason(const QByteArray& bytes);

// Why what is at path is not a file to read ("это канал (FIFO), а не файл"); empty for a
// regular file or nothing there.
QString NotAFileText(const QString& path);

}  // namespace torvex
