#include "platform/file_bytes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>

#include "support/files.h"

namespace torvex {
namespace {

TEST(ReadFileBytes, ARegularFileIsReadWholeUpToTheLimit) {
  QTemporaryDir dir;
  const QString path = dir.filePath("plan.txt");
  const QByteArray text(10000, 'x');
  ASSERT_TRUE(test::WriteFile(path, text));

  const FileBytes read = ReadFileBytes(path, 10000);
  ASSERT_TRUE(read.Ok()) << read.reason.toStdString();
  EXPECT_EQ(read.bytes, text);

  const FileBytes tooBig = ReadFileBytes(path, 9999);
  EXPECT_EQ(tooBig.failure, FileBytes::Failure::kTooBig);
  EXPECT_EQ(tooBig.size, 10000);
  EXPECT_TRUE(tooBig.bytes.isEmpty());
}

// Anything but a regular file is refused at once, and why: a FIFO would hold the program until
// someone wrote into it, /dev/zero would never end.
TEST(ReadFileBytes, WhatIsNoFileIsRefusedAtOnceWithItsReason) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath("fifo");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
  const struct {
    QString path;
    QString reason;
  } cases[] = {
      {fifo, "это канал (FIFO), а не файл"},
      {"/dev/zero", "это устройство, а не файл"},
      {dir.filePath("folder"), "это папка, а не файл"},
      {dir.filePath("none.txt"), "нет такого файла или папки"},
      {dir.filePath("none/plan.txt"), "папки " + dir.filePath("none") + " нет"},
  };
  for (const auto& c : cases) {
    const FileBytes read = ReadFileBytes(c.path, 1 << 20);
    EXPECT_EQ(read.failure, FileBytes::Failure::kOpen) << c.path.toStdString();
    EXPECT_EQ(read.reason, c.reason) << c.path.toStdString();
  }
}

TEST(NotUtf8TextReason, UTF16AndBinaryAreNotTextOfOurs) {
  const QString utf16 = "это не текст в кодировке UTF-8 (похоже, UTF-16): сохраните файл в UTF-8";
  const QString binary = "это не текст в кодировке UTF-8 (в файле нулевые байты)";
  const struct {
    QByteArray bytes;
    QString reason;
  } cases[] = {
      {QByteArray("\xFF\xFE#\0 \0", 6), utf16},        // as Notepad saves "Unicode"
      {QByteArray("\0#\0 \0\x04\x1F", 8), utf16},      // big-endian, without a mark
      {QByteArray("00: 03 E8\n\0\0\0\0", 14), binary},
      {"# Стенд #2\r\n00: 03 E8\n", {}},
      {"\xEF\xBB\xBF[plan]\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(NotUtf8TextReason(c.bytes), c.reason) << c.bytes.toHex().toStdString();
}

}  // namespace
}  // namespace torvex
