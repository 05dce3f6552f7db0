#pragma once
// The recording of the measured values: every sample goes into the history behind the trends,
// whatever else runs, and, while a recording runs, into its CSV file. It also words what the
// status line says about the recording. The menu items, the file dialog, the message boxes and
// the trends window sit on top of it in the window.
#include <functional>

#include <QString>

#include "platform/result.h"
#include "record/csv_recorder.h"
#include "record/history.h"
#include "record/sample.h"

namespace torvex::record {

class Recording {
 public:
  // Told once when a write fails and the recording stops on its own; the text names the file
  // and the reason.
  using StopHandler = std::function<void(const QString& message)>;

  Recording();
  Recording(const Recording&) = delete;  // the file's stop report comes back to this one
  Recording& operator=(const Recording&) = delete;

  void SetStopHandler(StopHandler handler) { onStopped_ = std::move(handler); }

  // Into the history, and into the file while a recording runs.
  void Add(const Sample& sample);

  // Starts recording into path. A file already there is replaced, or with kKeep kept, the
  // recording then going into a free numbered name (FileName()). A failure says so as the
  // operator reads it: "Запись в файл ... не начата: нет такой папки".
  Result Start(const QString& path, ExistingFile existing = ExistingFile::kReplace);
  void Stop();
  bool Running() const { return file_.Recording(); }
  // The file being recorded into, or last recorded into.
  const QString& FileName() const { return file_.FileName(); }
  // What the status line says after every exchange tick about the recording: the file it goes
  // into when that is not the one asked for, or that it stopped on its own and why; empty
  // otherwise. A stop is said until a recording is started again.
  QString StatusNote() const;

  const record::History& History() const { return history_; }

 private:
  record::History history_;
  CsvRecorder file_;
  QString asked_;  // the path the recording was asked for
  StopHandler onStopped_;
};

}  // namespace torvex::record
