#pragma once
// Recording and trends in the tool: the value samples taken from every decoded answer feed
// the history and, while a recording runs, the CSV file. The main window gets two menu items
// of its own, "Запись в файл..." (then "Остановить запись") and "Графики"; the window is
// otherwise unchanged.
#include <QObject>
#include <QPointer>

#include "decode/readings.h"
#include "engine/rx_buffer.h"
#include "record/csv_recorder.h"
#include "record/history.h"

class QAction;

namespace torvex {

class MainWindow;
class TrendsWindow;

class RecordingMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu items to the window's menu bar, after those already there.
  explicit RecordingMenu(MainWindow& window);
  ~RecordingMenu() override;

  // Called for every answer after it has been decoded into the window, with the sensor types
  // the window showed it with.
  void OnAnswer(const RxAnswer& answer, const ChannelTypes& types);

  // Starts recording into path; a file that cannot be written is reported in the status line
  // and a message box. A file already there is replaced (the menu's file dialog has asked) or,
  // with kKeep (the command line), kept: the recording then goes into a free numbered name,
  // said on standard error and by StatusNote. Returns whether the recording runs.
  bool StartRecording(const QString& path,
                      record::ExistingFile existing = record::ExistingFile::kReplace);
  void StopRecording();
  bool Recording() const { return recorder_.Recording(); }
  // The file being recorded into, or last recorded into.
  const QString& FileName() const { return recorder_.FileName(); }
  // What the status line says after every exchange tick about the recording: the file it goes
  // into when that is not the one asked for, or that it stopped on its own and why; empty
  // otherwise. A stop is said until a recording is started again.
  QString StatusNote() const;

  // Shows the trends window, made at its first opening; it keeps its choices when closed.
  TrendsWindow& ShowTrends();

  const record::History& History() const { return history_; }

 private:
  void mnu_record_Click();
  void Report(const QString& message);
  void ShowMessageBox(const QString& message);
  void ShowState();

  MainWindow& window_;
  record::History history_;
  record::CsvRecorder recorder_;
  QString asked_;  // the path the recording was asked for
  QAction* mnu_record_ = nullptr;
  QAction* mnu_trends_ = nullptr;
  QPointer<TrendsWindow> trends_;
};

}  // namespace torvex
