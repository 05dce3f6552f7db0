#pragma once
// The recording's place in the main window: two menu items of its own, "Запись в файл..."
// (then "Остановить запись") and "Графики", the file dialog, the message boxes and the trends
// window, over the recording of the values (record::Recording). The window is otherwise
// unchanged.
#include <QObject>
#include <QPointer>

#include "record/csv_recorder.h"
#include "record/recording.h"
#include "view/status_line.h"

class QAction;

namespace torvex {

class MainWindow;
class TrendsWindow;

class RecordingMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu items to the window's menu bar, after those already there.
  // The status line tells a recording that did not start, or went into another file.
  RecordingMenu(MainWindow& window, record::Recording& recording, StatusLine& status);
  ~RecordingMenu() override;

  // Starts recording into path; a file that cannot be written is reported in the status line
  // and a message box. A file already there is replaced (the menu's file dialog has asked) or,
  // with kKeep (the command line), kept: the recording then goes into a free numbered name,
  // said on standard error and in the status line. Returns whether the recording runs.
  bool StartRecording(const QString& path,
                      record::ExistingFile existing = record::ExistingFile::kReplace);
  void StopRecording();

  // Shows the trends window, made at its first opening; it keeps its choices when closed.
  TrendsWindow& ShowTrends();

 private:
  void mnu_record_Click();
  void Report(const QString& message);
  void ShowMessageBox(const QString& message);
  void ShowState();

  MainWindow& window_;
  StatusLine& status_;
  record::Recording& recording_;
  QAction* mnu_record_ = nullptr;
  QAction* mnu_trends_ = nullptr;
  QPointer<TrendsWindow> trends_;
};

}  // namespace torvex
