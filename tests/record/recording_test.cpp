// The recording of the values: where each sample goes, and what is said about the file.
#include "record/recording.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "samples.h"
#include "support/files.h"
#include "support/result_printer.h"

namespace torvex::record {
namespace {

// The rows after the header.
qsizetype Rows(const QString& path) { return test::ReadFile(path).count("\r\n") - 1; }

TEST(RecordingTest, EverySampleGoesToTheHistoryAndToTheFileOnlyWhileItRuns) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.csv");
  const Sample sample = test::ConverterSampleAt(0, std::vector<int>(test::kConverterRegisters, 0));
  Recording recording;
  recording.Add(sample);
  ASSERT_EQ(recording.Start(path), Result());
  recording.Add(sample);
  recording.Add(sample);
  recording.Stop();
  recording.Add(sample);
  EXPECT_EQ(recording.History().Size(), 4u);
  EXPECT_EQ(Rows(path), 2);
  EXPECT_FALSE(recording.Running());
}

TEST(RecordingTest, SaysWhyAFileDoesNotStartAndWhereAKeptOneGoes) {
  QTemporaryDir dir;
  Recording recording;
  const QString missing = dir.filePath("missing/run.csv");
  EXPECT_EQ(recording.Start(missing),
            Result::Failed("Запись в файл " + missing + " не начата: нет такой папки"));
  EXPECT_EQ(recording.StatusNote(), "");

  const QString asked = dir.filePath("run.csv");
  ASSERT_TRUE(test::WriteFile(asked, "an earlier run"));
  ASSERT_EQ(recording.Start(asked, ExistingFile::kKeep), Result());
  EXPECT_EQ(recording.FileName(), dir.filePath("run-2.csv"));
  EXPECT_EQ(recording.StatusNote(), " Запись в файл run-2.csv (run.csv уже есть)");
  recording.Stop();
  EXPECT_EQ(recording.StatusNote(), "") << "stopped by the operator: nothing to say";
}

}  // namespace
}  // namespace torvex::record
