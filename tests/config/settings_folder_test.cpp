#include "config/settings_folder.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace torvex {
namespace {

TEST(SettingsFolder, ChoosesTheOptionThenTheProgramFolderThenTheUsersFolder) {
  struct Case {
    const char* what;
    SettingsFolderInputs inputs;
    bool programDirWritable;
    QString expected;
  };
  const Case cases[] = {
      {"--config wins over a writable program folder",
       {"/srv/bench", "/home/u/build/bin", "/home/u/.xdg", "/home/u"}, true, "/srv/bench"},
      {"--config wins over the user's folder",
       {"/srv/bench", "/usr/bin", "", "/home/u"}, false, "/srv/bench"},
      {"a build tree or portable copy keeps its files beside the program",
       {"", "/home/u/build/bin", "/home/u/.xdg", "/home/u"}, true, "/home/u/build/bin"},
      {"installed, XDG_CONFIG_HOME set",
       {"", "/usr/bin", "/home/u/.xdg", "/home/u"}, false, "/home/u/.xdg/torvex-tp"},
      {"installed, XDG_CONFIG_HOME with a trailing slash",
       {"", "/usr/bin", "/home/u/.xdg/", "/home/u"}, false, "/home/u/.xdg/torvex-tp"},
      {"installed, XDG_CONFIG_HOME unset",
       {"", "/usr/bin", "", "/home/u"}, false, "/home/u/.config/torvex-tp"},
      {"installed, a relative XDG_CONFIG_HOME is ignored",
       {"", "/usr/bin", "xdg", "/home/u"}, false, "/home/u/.config/torvex-tp"},
  };
  for (const Case& c : cases) {
    QStringList asked;
    const auto isWritable = [&](const QString& dir) {
      asked << dir;
      return c.programDirWritable;
    };
    EXPECT_EQ(SettingsFolder(c.inputs, isWritable), c.expected) << c.what;
    // With --config the program's folder is not even probed.
    EXPECT_EQ(asked, c.inputs.configOption.isEmpty() ? QStringList{c.inputs.programDir}
                                                     : QStringList{})
        << c.what;
  }
}

}  // namespace
}  // namespace torvex
