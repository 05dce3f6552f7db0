// Parameter files on disk: saved whole or not at all, and read only when they are a parameter
// file's text.
#include "paramset/set_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <numeric>

#include <QFile>
#include <QTemporaryDir>

#include "support/file_size_limit.h"
#include "support/files.h"

namespace torvex::paramset {
namespace {

paramfile::ParamImage Counting() {
  paramfile::ParamImage image{};
  std::iota(image.begin(), image.end(), std::uint8_t{1});
  image[96] = 12;
  return image;
}

// A full disk while saving: "не записан" with the reason, and the good file is still there.
TEST(SetFile, ASaveOnAFullDiskFailsAndKeepsTheOldFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("keep.params");
  ASSERT_FALSE(SaveSetFile(path, Counting(), {}));
  const QByteArray good = test::ReadFile(path);
  ASSERT_GT(good.size(), 2000);

  paramfile::ParamImage other = Counting();
  other[0] = 0x55;
  std::optional<QString> error;
  {
    const test::FileSizeLimit full(1000);
    error = SaveSetFile(path, other, {});
  }
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "Файл «" + path + "» не записан: файл превысил допустимый размер");
  EXPECT_EQ(test::ReadFile(path), good);
  EXPECT_EQ(ReadSetFile(path).image, Counting());
}

TEST(SetFile, ReadsOnlyAParameterFilesTextAndSaysWhyNot) {
  QTemporaryDir dir;
  const QString good = dir.filePath("good.txt");
  ASSERT_FALSE(SaveSetFile(good, Counting(), {}));
  const QByteArray text = test::ReadFile(good);

  // Lines ended by a lone CR are read as lines.
  QByteArray crOnly = text;
  crOnly.replace('\n', '\r');
  ASSERT_TRUE(test::WriteFile(dir.filePath("cr.txt"), crOnly));
  const SetFile cr = ReadSetFile(dir.filePath("cr.txt"));
  EXPECT_EQ(cr.image, Counting()) << cr.error.toStdString();

  const QString utf16 = dir.filePath("utf16.txt");
  const QString unicode = QString::fromUtf8(text);
  ASSERT_TRUE(test::WriteFile(utf16, QByteArray("\xFF\xFE") +
                                         QByteArray(reinterpret_cast<const char*>(unicode.utf16()),
                                                    unicode.size() * 2)));
  const QString fifo = dir.filePath("fifo.txt");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString big = dir.filePath("big.txt");
  ASSERT_TRUE(test::WriteFile(big, QByteArray(2'000'000, '#')));
  const struct {
    QString path;
    QString error;
  } cases[] = {
      {utf16, "Файл «" + utf16 + "»: это не текст в кодировке UTF-8 (похоже, UTF-16): сохраните файл в UTF-8"},
      {fifo, "Файл «" + fifo + "» не открывается: это канал (FIFO), а не файл"},
      {"/dev/zero", "Файл «/dev/zero» не открывается: это устройство, а не файл"},
      {dir.path(), "Файл «" + dir.path() + "» не открывается: это папка, а не файл"},
      {dir.filePath("none.txt"), "Файл «" + dir.filePath("none.txt") + "» не открывается: нет такого файла или папки"},
      {big, "Файл «" + big + "»: файл слишком велик для файла параметров (2000000 байт)"},
  };
  for (const auto& c : cases) {
    const SetFile read = ReadSetFile(c.path);
    EXPECT_FALSE(read.image) << c.path.toStdString();
    EXPECT_EQ(read.error, c.error);
  }
}

}  // namespace
}  // namespace torvex::paramset
