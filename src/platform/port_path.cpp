#include "platform/port_path.h"

#include <QDir>
#include <QFileInfo>

namespace torvex {

std::optional<QString> PortDevicePath(const QString& programDir, int number) {
  if (!IsValidPortNumber(number)) return std::nullopt;
  const QString bound =
      QDir(programDir).filePath(QStringLiteral("ports/com") + QString::number(number));
  // exists() follows the link; isSymLink() also sees one whose target is gone.
  const QFileInfo info(bound);
  if (info.isSymLink() || info.exists()) return bound;
  return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
}

}  // namespace torvex
