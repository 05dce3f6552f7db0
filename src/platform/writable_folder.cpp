#include "platform/writable_folder.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace torvex {
namespace {

bool IsUnderUsr(const QString& absolutePath) {
  return absolutePath == QLatin1String("/usr") || absolutePath.startsWith(QLatin1String("/usr/"));
}

bool IsWriteProtected(const QString& dir) {
  struct stat info {};
  if (::stat(QFile::encodeName(dir).constData(), &info) != 0) return true;
  return !S_ISDIR(info.st_mode) || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool IsWritableFolder(const QString& dir) {
  // The real path: a link from elsewhere to a program under /usr is still a program under /usr.
  if (dir.isEmpty()) return false;  // not "the current folder"
  const QString canonical = QDir(dir).canonicalPath();
  if (canonical.isEmpty() || IsUnderUsr(canonical) || IsWriteProtected(canonical)) return false;
  QTemporaryFile probe(canonical + QStringLiteral("/.torvex-tp-probe-XXXXXX"));
  return probe.open();  // removed again when probe goes
}

}  // namespace torvex
