#pragma once
// Which folder holds "тп.ini" and ports/ for this run.
#include <functional>

#include <QString>

namespace torvex {

// The name of the tool's folder in the user's configuration folder.
inline const QString kUserSettingsFolderName = QStringLiteral("torvex-tp");

struct SettingsFolderInputs {
  QString configOption;   // --config DIR, absolute; empty when not given
  QString programDir;     // the folder of the running program
  QString xdgConfigHome;  // $XDG_CONFIG_HOME; empty when unset
  QString home;           // the user's home folder
};

// --config DIR when given; otherwise the program's folder when files can be written there (a
// build tree, a portable copy), as the tool has always kept them; otherwise (an installed
// program) the user's $XDG_CONFIG_HOME/torvex-tp, or ~/.config/torvex-tp when XDG_CONFIG_HOME
// is unset or not an absolute path (such a value is to be ignored). isWritable is asked about
// the program's folder only when the answer matters.
QString SettingsFolder(const SettingsFolderInputs& inputs,
                       const std::function<bool(const QString&)>& isWritable);

}  // namespace torvex
