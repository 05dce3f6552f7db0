#include "platform/writable_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace torvex {
namespace {

bool IsEmpty(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
      .isEmpty();
}

TEST(IsWritableFolder, AnOrdinaryFolderIsWritableAndKeepsNoProbe) {
  QTemporaryDir dir;
  EXPECT_TRUE(IsWritableFolder(dir.path()));
  EXPECT_TRUE(IsEmpty(dir.path()));
}

// Root may write into a read-only folder; the tool still treats it as read-only, which is
// what lets a test run as root see the installed layout.
TEST(IsWritableFolder, AWriteProtectedFolderIsNotWritableEvenForRoot) {
  QTemporaryDir dir;
  const QByteArray path = QFile::encodeName(dir.path());
  ASSERT_EQ(::chmod(path.constData(), 0555), 0);
  EXPECT_FALSE(IsWritableFolder(dir.path()));
  EXPECT_TRUE(IsEmpty(dir.path()));
  ::chmod(path.constData(), 0700);
}

TEST(IsWritableFolder, SystemFoldersAndNonFoldersAreNot) {
  QTemporaryDir dir;
  QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
  std::filesystem::create_directory_symlink("/usr/bin", dir.filePath("bin").toStdString());

  for (const QString& path : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
                              QStringLiteral("/usr"), dir.filePath("bin"), dir.filePath("file"),
                              dir.filePath("missing"), QString()}) {
    EXPECT_FALSE(IsWritableFolder(path)) << path.toStdString();
  }
}

}  // namespace
}  // namespace torvex
