#pragma once
// Whole-file reads and writes for tests that check files byte for byte.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace torvex::test {

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

}  // namespace torvex::test
