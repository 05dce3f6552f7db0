#include "ui/recording_menu.h"

#include <cstdio>

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>

#include "record/sample_from_answer.h"
#include "ui/main_window.h"
#include "ui/trends_window.h"

namespace torvex {
namespace {

const QString kRecordText = QStringLiteral("Запись в файл...");
const QString kStopText = QStringLiteral("Остановить запись");

}  // namespace

RecordingMenu::RecordingMenu(MainWindow& window)
    : window_(window), recorder_([this](const QString& message) {
        // The status line says it from the next exchange tick on (StatusNote), the box at once.
        ShowMessageBox(message);
        ShowState();
      }) {
  mnu_record_ = window_.menuBar()->addAction(kRecordText);
  mnu_record_->setObjectName(QStringLiteral("mnu_record"));
  connect(mnu_record_, &QAction::triggered, this, &RecordingMenu::mnu_record_Click);
  mnu_trends_ = window_.menuBar()->addAction(QStringLiteral("Графики"));
  mnu_trends_->setObjectName(QStringLiteral("mnu_trends"));
  connect(mnu_trends_, &QAction::triggered, this, [this] { ShowTrends(); });
}

RecordingMenu::~RecordingMenu() { delete trends_; }

void RecordingMenu::OnAnswer(const RxAnswer& answer, const ChannelTypes& types) {
  const auto sample =
      record::SampleFromAnswer(answer, types, QDateTime::currentMSecsSinceEpoch());
  if (!sample) return;
  history_.Add(*sample);
  recorder_.Add(*sample);
}

bool RecordingMenu::StartRecording(const QString& path, record::ExistingFile existing) {
  asked_ = path;
  const QString why = recorder_.Start(path, existing);
  if (!why.isEmpty()) {
    Report(QStringLiteral("Запись в файл %1 не начата: %2").arg(path, why));
  } else if (recorder_.FileName() != path) {
    std::fprintf(stderr, "torvex-tp: %s exists and is kept; recording into %s\n",
                 qUtf8Printable(path), qUtf8Printable(recorder_.FileName()));
    window_.SetText({Control::lbl_sys_mes}, StatusNote().trimmed());
  }
  ShowState();
  return recorder_.Recording();
}

QString RecordingMenu::StatusNote() const {
  if (!recorder_.StopReason().isEmpty()) {
    return QStringLiteral(" Запись в файл остановлена: ") + recorder_.StopReason();
  }
  if (recorder_.Recording() && recorder_.FileName() != asked_) {
    return QStringLiteral(" Запись в файл %1 (%2 уже есть)")
        .arg(QFileInfo(recorder_.FileName()).fileName(), QFileInfo(asked_).fileName());
  }
  return {};
}

void RecordingMenu::StopRecording() {
  recorder_.Stop();
  ShowState();
}

void RecordingMenu::mnu_record_Click() {
  if (recorder_.Recording()) {
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
  window_.SetText({Control::lbl_sys_mes}, message);
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
  mnu_record_->setText(recorder_.Recording() ? kStopText : kRecordText);
}

TrendsWindow& RecordingMenu::ShowTrends() {
  if (!trends_) trends_ = new TrendsWindow(history_, &window_);
  trends_->show();
  trends_->raise();
  trends_->activateWindow();
  return *trends_;
}

}  // namespace torvex
