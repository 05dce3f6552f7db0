#pragma once
// Recording of the value samples into a CSV file for a spreadsheet in the user's locale.
//
// The file: UTF-8 with a byte-order mark, CRLF line ends, a header row, then one row per
// sample. The separator is ';' when the locale writes numbers with a decimal comma (Russian),
// else ','; numbers use the locale's decimal separator, never grouped, and so does the time
// before its milliseconds (2026-12-10 17:47:55,811 in Russian), the form the locale's
// spreadsheet reads as a date and time. Each quantity whose
// unit depends on the sensor type has one column per unit it can take ("AIN1.1 датчик (°C)",
// "AIN1.1 датчик (%)", ...), beside a column with the channel's type code: a value is written
// only into the column of the unit it has at that moment, so a type changed during a
// recording can never put a number under the wrong unit. An empty cell is no value: the other
// kind of answer, "?" (unknown type), an absent temperature sensor, the other units' columns.
// A discrete sensor is 0 ("Откл") or 1 ("Вкл"); the direction 1 forward, -1 astern, empty
// unknown; the status word in decimal; each discrete input and output 0 or 1.
//
// Every row is written through to the file as it comes, so a killed tool loses nothing
// written, and a failed write (a full disk) is found at once: it is reported once, with its
// reason, and the recording stops; whatever else runs goes on. A row is written in one piece;
// one that a full disk cut is taken back, so the file always ends with a whole row.
#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QFileDevice>
#include <QIODevice>
#include <QString>

#include "platform/result.h"
#include "record/quantity.h"
#include "record/sample.h"

namespace torvex::record {

// The layout of a file: its columns and the separator. Built once per recording from the
// default QLocale, the one the numbers are written in.
class CsvLayout {
 public:
  CsvLayout();

  char Separator() const { return separator_; }
  QByteArray HeaderRow() const;
  QByteArray Row(const Sample& sample) const;

 private:
  struct Column {
    enum Kind { kTime, kType, kValue, kDirection, kStatusWord, kInput, kOutput } kind;
    Quantity quantity{};
    QString unit;
    int index = 0;  // channel of kType, bit of kInput/kOutput
  };
  QString Header(const Column& column) const;
  QString Cell(const Column& column, const Sample& sample) const;

  char separator_;
  QString timeFormat_;
  std::vector<Column> columns_;
};

// What a recording does with a file that is already at its path.
enum class ExistingFile {
  kReplace,  // the operator chose to replace it
  kKeep,     // it is kept; the recording goes into the first free "name-2.csv", "name-3.csv", ...
};

class CsvRecorder {
 public:
  // Told once when a write fails and the recording stops; the text says why.
  using ErrorHandler = std::function<void(const QString& message)>;

  explicit CsvRecorder(ErrorHandler onError = {});
  ~CsvRecorder();

  // Starts a recording into a file at path and writes its header; FileName() is the file
  // taken. A path that is no regular file (a device, a pipe) is written as it is. A failure
  // says why the file cannot be written, in words.
  Result Start(const QString& path, ExistingFile existing = ExistingFile::kReplace);
  // The same into a device already open for writing.
  Result Start(std::unique_ptr<QIODevice> device, const QString& name);
  void Stop();
  bool Recording() const { return device_ != nullptr; }
  const QString& FileName() const { return name_; }
  // Why the last recording stopped on its own, in words ("нет места на диске"); empty while it
  // runs or when the operator stopped it.
  const QString& StopReason() const { return stopReason_; }

  // One row for the sample; nothing when not recording.
  void Add(const Sample& sample);

 private:
  // Writes all of bytes or none (WriteWhole).
  Result Write(const QByteArray& bytes);
  void Fail(const QString& reason);

  ErrorHandler onError_;
  std::unique_ptr<QIODevice> device_;
  std::unique_ptr<CsvLayout> layout_;
  QString name_;
  QString stopReason_;
};

// Why a file could not be opened or written, in words, from the system's error number; from the
// file device's kind of failure when there is none.
QString FileErrorText(int error, QFileDevice::FileError kind);

}  // namespace torvex::record
