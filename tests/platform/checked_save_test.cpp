#include "platform/checked_save.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/child_process.h"
#include "support/file_size_limit.h"
#include "support/files.h"

namespace torvex {
namespace {

QStringList Entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

TEST(SaveWholeFile, ReplacesTheFileWholeAndLeavesNothingElse) {
  QTemporaryDir dir;
  const QString path = dir.filePath("set.txt");
  ASSERT_TRUE(test::WriteFile(path, "old"));
  ASSERT_TRUE(SaveWholeFile(path, "new text\n"));
  EXPECT_EQ(test::ReadFile(path), "new text\n");
  EXPECT_EQ(Entries(dir.path()), QStringList{"set.txt"});
}

// A disk that fills while the file is written: the save fails with the reason, the old file is
// kept whole and no temporary file is left behind. (Buffered writes used to fail unseen, and an
// empty file replaced the old one.)
TEST(SaveWholeFile, AFullDiskKeepsTheOldFileAndSaysWhy) {
  QTemporaryDir dir;
  const QString path = dir.filePath("set.txt");
  const QByteArray good(3000, 'g');
  ASSERT_TRUE(test::WriteFile(path, good));
  Result saved;
  {
    const test::FileSizeLimit full(1000);
    saved = SaveWholeFile(path, QByteArray(3500, 'n'));
  }
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.Why(), "файл превысил допустимый размер");
  EXPECT_EQ(test::ReadFile(path), good);
  EXPECT_EQ(Entries(dir.path()), QStringList{"set.txt"});

  // A disk with no room at all: nothing of the new file reaches it.
  {
    const test::FileSizeLimit full(0);
    saved = SaveWholeFile(path, "n");
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(test::ReadFile(path), good);
  EXPECT_EQ(Entries(dir.path()), QStringList{"set.txt"});
}

TEST(SaveWholeFile, WhatStandsInTheWayIsNamedInRussian) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
  const struct {
    QString path;
    QString reason;
  } cases[] = {
      {dir.filePath("folder"), "это папка, а не файл"},
      {dir.filePath("none/set.txt"), "папки " + dir.filePath("none") + " нет"},
  };
  for (const auto& c : cases) {
    const Result saved = SaveWholeFile(c.path, "text");
    ASSERT_FALSE(saved) << c.path.toStdString();
    EXPECT_EQ(saved.Why(), c.reason);
  }
}

// A file that may be written in a folder that may not: written in place only when asked.
TEST(SaveWholeFile, ALockedFolderIsWrittenInPlaceOnlyWhenAsked) {
  QTemporaryDir dir;
  const QString path = dir.filePath("тп.ini");
  ASSERT_TRUE(test::WriteFile(path, "old"));
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  const int status = test::RunInChild(
      [&] {
        const Result refused = SaveWholeFile(path, "new");
        if (refused || refused.Why() != "нет прав на запись в папку " + dir.path()) return 1;
        if (!SaveWholeFile(path, "new", LockedFolder::kWriteInPlace)) return 2;
        return 0;
      },
      true);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(test::ReadFile(path), "new");
}

}  // namespace
}  // namespace torvex
