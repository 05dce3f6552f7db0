#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/file_size_limit.h"
#include "support/files.h"
#include "support/qt_printers.h"

namespace torvex {
namespace {

class ProfileFileTest : public ::testing::Test {
 protected:
  void Put(const QByteArray& bytes) { ASSERT_TRUE(test::WriteFile(path, bytes)); }
  QByteArray Contents() const { return test::ReadFile(path); }

  QTemporaryDir dir;
  QString path = dir.path() + QStringLiteral("/тп.ini");
};

TEST_F(ProfileFileTest, ReadsAsTheProfileServiceDoes) {
  Put("[PC config]\n"
      "COM = 3 \n"
      "Empty=\n"
      "com=4\n"
      "[other]\n"
      "Long=" + QByteArray(300, 'x') + "\n"
      "[quoted]\n"
      "Double = \"3\"\n"
      "Single='9600,n,8,2'\n"
      "Inner=a \"b\" c\n"
      "Unpaired=\"3'\n"
      "Lone=\"\n");

  struct Case {
    const char* section;
    const char* key;
    QString expected;
  } const cases[] = {
      {"PC config", "COM", "3"},        // blanks around the value go, the first duplicate wins
      {"pc CONFIG", "com", "3"},        // names match without regard to case
      {"PC config", "Empty", ""},       // an empty value is not a missing one
      {"quoted", "Double", "3"},        // quotes around a value go, as the profile service reads it
      {"quoted", "Single", "9600,n,8,2"},
      {"quoted", "Inner", "a \"b\" c"},  // only a pair around the whole value
      {"quoted", "Unpaired", "\"3'"},
      {"quoted", "Lone", "\""},
      {"PC config", "Missing", "dflt"},
      {"No such", "COM", "dflt"},
      {"other", "Long", QString(kIniValueLimit, u'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadIni(path, c.section, c.key, "dflt"), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_EQ(ReadIni(dir.path() + "/none.ini", "PC config", "COM", "1"), "1");
  EXPECT_EQ(ReadIni(dir.path() + "/none.ini", "a", "b", QString(300, u'd')).size(), kIniValueLimit)
      << "the default is cut like a value";
}

TEST_F(ProfileFileTest, AHandEditedFileKeepsItsLayoutAndOnlyTheKeysLineChanges) {
  const QByteArray file =
      "; stand 4, USB adapter\r\n"
      "\r\n"
      "[Notes]\r\n"
      "Who=Петров\r\n"
      "\r\n"
      "[pc CONFIG]\r\n"
      "; the adapter\r\n"
      "  com = \"3\"\r\n"
      "Baud=old\r\n"
      "\r\n"
      "; last words";
  Put(file);

  WriteIni(path, "PC config", "COM", "12");
  WriteIni(path, "PC config", "COMSettings", "9600,n,8,2");  // a new key below the last one
  WriteIni(path, "VEM config", "MBSLAD", "7");               // a new section at the end

  EXPECT_EQ(Contents(),
            "; stand 4, USB adapter\r\n"
            "\r\n"
            "[Notes]\r\n"
            "Who=Петров\r\n"
            "\r\n"
            "[pc CONFIG]\r\n"
            "; the adapter\r\n"
            "  com=12\r\n"
            "Baud=old\r\n"
            "COMSettings=9600,n,8,2\r\n"
            "\r\n"
            "; last words\r\n"
            "[VEM config]\r\n"
            "MBSLAD=7\r\n");
  // Saving the same again changes nothing.
  const QByteArray once = Contents();
  WriteIni(path, "PC config", "COM", "12");
  WriteIni(path, "VEM config", "MBSLAD", "7");
  EXPECT_EQ(Contents(), once);
}

TEST_F(ProfileFileTest, TheFirstSaveWritesNoBlankLines) {
  WriteIni(path, "PC config", "COM", "1");
  WriteIni(path, "PC config", "COMSettings", "");
  WriteIni(path, "VEM config", "MBSLAD", "-1");
  EXPECT_EQ(Contents(), "[PC config]\nCOM=1\nCOMSettings=\n[VEM config]\nMBSLAD=-1\n");
}

TEST_F(ProfileFileTest, ASectionLineWithoutItsBracketOpensNoSection) {
  // The keys after the broken line stay where they were, the line itself stays too, and saving
  // again changes nothing: the file used to grow by a line with every save.
  struct Case {
    QByteArray file;
    const char* section;  // where the key below the broken line is found
    QByteArray saved;
  } const cases[] = {
      {"[Notes]\nWho=x\n[PC config\nCOM=3\n", "Notes",
       "[Notes]\nWho=x\n[PC config\nCOM=3\n[PC config]\nCOM=5\n"},
      {"\xEF\xBB\xBF[PC config\nCOM=3", "", "[PC config\nCOM=3\n[PC config]\nCOM=5\n"},
  };
  for (const Case& c : cases) {
    Put(c.file);
    EXPECT_EQ(ReadIni(path, c.section, "COM", "1"), "3") << c.file.toStdString();
    EXPECT_EQ(ReadIni(path, "PC config", "COM", "1"), "1") << c.file.toStdString();
    WriteIni(path, "PC config", "COM", "5");
    EXPECT_EQ(Contents(), c.saved);
    WriteIni(path, "PC config", "COM", "5");
    EXPECT_EQ(Contents(), c.saved);
  }
}

TEST_F(ProfileFileTest, ASaveRewritesTheLineThatIsRead) {
  // Reading and saving go by one parse: the value read is on the line a save rewrites, however
  // the file is laid out, and no other line changes.
  struct Case {
    QByteArray file;
    const char* section;
    const char* read;  // what COM reads as before the save
    QByteArray saved;  // after COM is saved as 5
  } const cases[] = {
      {"; COM=9\n# COM=8\n[PC config\nCOM=1\n[pc config]\n  Com = 2\nCOM=3\n", "PC config", "2",
       "; COM=9\n# COM=8\n[PC config\nCOM=1\n[pc config]\n  Com=5\nCOM=3\n"},
      // A section in two blocks is one section; a new key goes into its first block.
      {"[PC config]\nBaud=1\n[Notes]\nCOM=0\n[ PC config ]\ncom=4", "PC config", "4",
       "[PC config]\nBaud=1\n[Notes]\nCOM=0\n[ PC config ]\ncom=5"},
      {"[PC config]\nBaud=1\n[Notes]\nCOM=0\n[PC config]\n", "PC config", "dflt",
       "[PC config]\nBaud=1\nCOM=5\n[Notes]\nCOM=0\n[PC config]\n"},
      {"[PC config]\rCOM=6\r", "PC config", "6", "[PC config]\rCOM=5\r"},
      {"=9\nCOM\n[PC config]\n=COM\nCOM=\"8\"\n", "PC config", "8",
       "=9\nCOM\n[PC config]\n=COM\nCOM=5\n"},
      // Keys above the first section line belong to the nameless section, as do those of "[]".
      {"COM=7\n[PC config]\n", "", "7", "COM=5\n[PC config]\n"},
      {"[PC config]\nCOM=1\n[ ]\nCOM=7\n", "", "7", "[PC config]\nCOM=1\n[ ]\nCOM=5\n"},
      {"[PC config]\nCOM=1\n", "", "dflt", "COM=5\n[PC config]\nCOM=1\n"},
  };
  for (const Case& c : cases) {
    Put(c.file);
    EXPECT_EQ(ReadIni(path, c.section, "COM", "dflt"), c.read) << c.file.toStdString();
    WriteIni(path, c.section, "COM", "5");
    EXPECT_EQ(Contents(), c.saved) << c.file.toStdString();
    EXPECT_EQ(ReadIni(path, c.section, "COM", "dflt"), "5") << c.file.toStdString();
  }
}

TEST_F(ProfileFileTest, AValueStaysOnItsLine) {
  WriteIni(path, "PC config", "COMSettings", "9600,n,\r\n8,2\rX\nY");
  EXPECT_EQ(Contents(), "[PC config]\nCOMSettings=9600,n,  8,2 X Y\n");

  // A NUL would leave a file that is no text, refused from then on by every read and save.
  WriteIni(path, "PC config", "COMSettings", QStringLiteral("9600,n,8,2") + QChar(0) + "x");
  EXPECT_EQ(ReadIni(path, "PC config", "COMSettings", "dflt"), "9600,n,8,2 x");
}

TEST_F(ProfileFileTest, AFileThatIsNotTextIsNeitherReadNorWrittenOver) {
  const QByteArray utf16("\xFF\xFE[\0P\0C\0]\0\r\0\n\0", 14);
  Put(utf16);
  EXPECT_THROW(ReadIni(path, "PC config", "COM", "1"), ProfileError);
  EXPECT_THROW(WriteIni(path, "PC config", "COM", "1"), ProfileError);
  EXPECT_EQ(Contents(), utf16);
}

TEST_F(ProfileFileTest, APlaceThatCannotHoldTheFileIsAnErrorNotACrash) {
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("тп.ini")));  // a directory in its place
  EXPECT_THROW(ReadIni(path, "PC config", "COM", "1"), ProfileError);
  EXPECT_THROW(WriteIni(path, "PC config", "COM", "1"), ProfileError);

  // Nothing can be created below a plain file, whoever runs the test (root included).
  const QString plain = dir.path() + QStringLiteral("/plain");
  ASSERT_TRUE(QFile(plain).open(QIODevice::WriteOnly));
  const QString below = plain + QStringLiteral("/тп.ini");
  EXPECT_THROW(WriteIni(below, "PC config", "COM", "1"), ProfileError);
  EXPECT_EQ(ReadIni(below, "PC config", "COM", "1"), "1") << "reads as no file";
}

// The reason the operator reads, for a save that a full disk refuses and for a file that is no
// file: the old file stays as it was, and a FIFO does not hold the program.
TEST_F(ProfileFileTest, AFullDiskOrAFifoIsRefusedWithTheReasonAndTheFileKept) {
  const QByteArray before("[PC config]\nCOM=3\nCOMSettings=9600,n,8,2\n");
  Put(before);
  const auto reasonOf = [](const std::function<void()>& step) {
    try {
      step();
    } catch (const ProfileError& error) {
      return error.reason();
    }
    return QStringLiteral("<no error>");
  };
  {
    const test::FileSizeLimit full(10);
    EXPECT_EQ(reasonOf([&] { WriteIni(path, "PC config", "COMSettings", "115200,n,8,2"); }),
              "файл превысил допустимый размер");
  }
  EXPECT_EQ(Contents(), before);

  ASSERT_TRUE(QFile::remove(path));
  ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  EXPECT_EQ(reasonOf([&] { ReadIni(path, "PC config", "COM", "1"); }), "это канал (FIFO), а не файл");
  EXPECT_EQ(reasonOf([&] { WriteIni(path, "PC config", "COM", "1"); }), "это канал (FIFO), а не файл");
}

}  // namespace
}  // namespace torvex
