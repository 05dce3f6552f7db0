#include "record/recording.h"

#include <QFileInfo>

namespace torvex::record {

Recording::Recording()
    : file_([this](const QString& message) {
        if (onStopped_) onStopped_(message);
      }) {}

void Recording::Add(const Sample& sample) {
  history_.Add(sample);
  file_.Add(sample);
}

Result Recording::Start(const QString& path, ExistingFile existing) {
  asked_ = path;
  const Result started = file_.Start(path, existing);
  if (started) return {};
  return Result::Failed(QStringLiteral("Запись в файл %1 не начата: %2").arg(path, started.Why()));
}

void Recording::Stop() { file_.Stop(); }

QString Recording::StatusNote() const {
  if (!file_.StopReason().isEmpty()) {
    return QStringLiteral(" Запись в файл остановлена: ") + file_.StopReason();
  }
  if (file_.Recording() && file_.FileName() != asked_) {
    return QStringLiteral(" Запись в файл %1 (%2 уже есть)")
        .arg(QFileInfo(file_.FileName()).fileName(), QFileInfo(asked_).fileName());
  }
  return {};
}

}  // namespace torvex::record
