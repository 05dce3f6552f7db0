#include "config/settings_folder.h"

#include <QDir>

namespace torvex {

QString SettingsFolder(const SettingsFolderInputs& inputs,
                       const std::function<bool(const QString&)>& isWritable) {
  if (!inputs.configOption.isEmpty()) return inputs.configOption;
  if (isWritable(inputs.programDir)) return inputs.programDir;
  const QString base = QDir::isAbsolutePath(inputs.xdgConfigHome)
                           ? inputs.xdgConfigHome
                           : QDir(inputs.home).filePath(QStringLiteral(".config"));
  return QDir::cleanPath(QDir(base).filePath(kUserSettingsFolderName));
}

}  // namespace torvex
