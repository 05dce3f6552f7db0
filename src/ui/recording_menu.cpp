#include "ui/recording_menu.h"

#include <cstdio>

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>

#include "ui/main_window.h"
#include "ui/trends_window.h"

namespace torvex {
namespace {

const QString kRecordText = QStringLiteral("Запись в файл...");
const QString kStopText = QStringLiteral("Остановить запись");

}  // namespace

RecordingMenu::RecordingMenu(MainWindow& window, record::Recording& recording,
                             StatusLine& status)
    : window_(window), status_(status), recording_(recording) {
  recording_.SetStopHandler([this](const QString& message) {
    // The status line says it from the next exchange tick on (StatusNote), the box at once.
    ShowMessageBox(message);
    ShowState();
  });
  mnu_record_ = window_.menuBar()->addAction(kRecordText);
  mnu_record_->setObjectName(QStringLiteral("mnu_record"));
  connect(mnu_record_, &QAction::triggered, this, &RecordingMenu::mnu_record_Click);
  mnu_trends_ = window_.menuBar()->addAction(QStringLiteral("Графики"));
  mnu_trends_->setObjectName(QStringLiteral("mnu_trends"));
  connect(mnu_trends_, &QAction::triggered, this, [this] { ShowTrends(); });
}

RecordingMenu::~RecordingMenu() {
  recording_.SetStopHandler({});
  delete trends_;
}

bool RecordingMenu::StartRecording(const QString& path, record::ExistingFile existing) {
  const Result started = recording_.Start(path, existing);
  if (!started) {
    Report(started.Why());
  } else if (recording_.FileName() != path) {
    std::fprintf(stderr, "torvex-tp: %s exists and is kept; recording into %s\n",
                 qUtf8Printable(path), qUtf8Printable(recording_.FileName()));
    status_.ShowMessage(recording_.StatusNote().trimmed());
  }
  ShowState();
  return recording_.Running();
}

void RecordingMenu::StopRecording() {
  recording_.Stop();
  ShowState();
}

void RecordingMenu::mnu_record_Click() {
  if (recording_.Running()) {
    StopRecording();
    return;
  }
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString name = QStringLiteral("запись-%1.csv")
                           .arg(QDateTime::currentDateTime().toString(
                               QStringLiteral("yyyy-MM-dd-HHmmss")));
  // The exchange goes on while the dialog is open.
  const QString path = QFileDialog::getSaveFileName(
      &window_, QStringLiteral("Запись в файл"), QDir(folder).filePath(name),
      QStringLiteral("CSV (*.csv)"));
  if (!path.isEmpty()) StartRecording(path);
}

// In the status line, where the next exchange tick writes again, and in a message box that
// stays until read; neither stops the exchange.
void RecordingMenu::Report(const QString& message) {
  status_.ShowMessage(message);
  ShowMessageBox(message);
}

void RecordingMenu::ShowMessageBox(const QString& message) {
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Запись в файл"), message,
                              QMessageBox::Ok, &window_);
  box->setObjectName(QStringLiteral("msg_record"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void RecordingMenu::ShowState() {
  mnu_record_->setText(recording_.Running() ? kStopText : kRecordText);
}

TrendsWindow& RecordingMenu::ShowTrends() {
  if (!trends_) trends_ = new TrendsWindow(recording_.History(), &window_);
  trends_->show();
  trends_->raise();
  trends_->activateWindow();
  return *trends_;
}

}  // namespace torvex
