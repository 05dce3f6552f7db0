#include "paramset/set_file.h"

#include <QFile>
#include <QSaveFile>

namespace torvex::paramset {
namespace {

QString Named(const QString& path) { return QStringLiteral("Файл «") + path + QStringLiteral("»"); }

}  // namespace

QString FileErrorText(const QString& path, const paramfile::FileError& error) {
  const QString where =
      error.line > 0 ? QStringLiteral(", строка ") + QString::number(error.line) : QString();
  return Named(path) + where + QStringLiteral(": ") +
         QString::fromStdString(paramfile::FaultText(error));
}

SetFile ReadSetFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {std::nullopt, Named(path) + QStringLiteral(" не открывается: ") + file.errorString()};
  }
  // One byte past the longest file is enough to refuse a longer one without reading it all.
  const QByteArray text = file.read(static_cast<qint64>(paramfile::kMaxFileSize) + 1);
  if (file.error() != QFileDevice::NoError) {
    return {std::nullopt, Named(path) + QStringLiteral(" не читается: ") + file.errorString()};
  }
  paramfile::ParamFileParse parsed =
      paramfile::ParseParamFile(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  if (!parsed.image) {
    if (parsed.error.fault == paramfile::FileFault::kTooBig) {
      parsed.error.size = static_cast<std::size_t>(file.size());
    }
    return {std::nullopt, FileErrorText(path, parsed.error)};
  }
  return {parsed.image, {}};
}

std::optional<QString> SaveSetFile(const QString& path, const paramfile::ParamImage& image,
                                   const paramfile::FileHeader& header) {
  const std::string text = paramfile::FormatParamFile(image, header);
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) &&
      file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
      file.commit()) {
    return std::nullopt;
  }
  return Named(path) + QStringLiteral(" не записан: ") + file.errorString();
}

}  // namespace torvex::paramset
