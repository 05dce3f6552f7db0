#include "paramset/set_file.h"

#include "platform/checked_save.h"
#include "platform/file_bytes.h"

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
  const FileBytes read = ReadFileBytes(path, static_cast<qint64>(paramfile::kMaxFileSize));
  switch (read.failure) {
    case FileBytes::Failure::kOpen:
      return {std::nullopt, Named(path) + QStringLiteral(" не открывается: ") + read.reason};
    case FileBytes::Failure::kRead:
      return {std::nullopt, Named(path) + QStringLiteral(" не читается: ") + read.reason};
    case FileBytes::Failure::kTooBig: {
      paramfile::FileError tooBig;
      tooBig.fault = paramfile::FileFault::kTooBig;
      tooBig.size = static_cast<std::size_t>(read.size);
      return {std::nullopt, FileErrorText(path, tooBig)};
    }
    case FileBytes::Failure::kNone: break;
  }
  if (const QString notText = NotUtf8TextReason(read.bytes); !notText.isEmpty()) {
    return {std::nullopt, Named(path) + QStringLiteral(": ") + notText};
  }
  const paramfile::ParamFileParse parsed = paramfile::ParseParamFile(
      std::string_view(read.bytes.constData(), static_cast<std::size_t>(read.bytes.size())));
  if (!parsed.image) return {std::nullopt, FileErrorText(path, parsed.error)};
  return {parsed.image, {}};
}

std::optional<QString> SaveSetFile(const QString& path, const paramfile::ParamImage& image,
                                   const paramfile::FileHeader& header) {
  const std::string text = paramfile::FormatParamFile(image, header);
  const Result saved =
      SaveWholeFile(path, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  if (saved) return std::nullopt;
  return Named(path) + QStringLiteral(" не записан: ") + saved.Why();
}

}  // namespace torvex::paramset
