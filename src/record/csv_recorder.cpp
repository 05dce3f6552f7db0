#include "record/csv_recorder.h"

#include <cerrno>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "decode/numeric.h"
#include "platform/system_error_text.h"
#include "platform/whole_write.h"

namespace torvex::record {
namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";
// How far "name-2.csv", "name-3.csv", ... is searched for a free name.
constexpr int kMaxNumberedName = 9999;

// "run.csv" -> "run-2.csv" in the same folder; "run" -> "run-2".
QString NumberedPath(const QString& path, int n) {
  const QFileInfo info(path);
  const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
  return info.dir().filePath(QStringLiteral("%1-%2%3").arg(info.completeBaseName()).arg(n).arg(suffix));
}

// A number as the window writes it, without the blank and unit.
QString Number(const Value& value) {
  return FormatReading(value.number, value.decimals, 1, QString()).chopped(1);
}

QString Bit(std::uint32_t bits, int k) { return (bits >> k) & 1 ? QStringLiteral("1") : QStringLiteral("0"); }

// Quotes a field holding the separator, a quote or a line end, as spreadsheets read them.
QString Field(const QString& text, char separator) {
  if (!text.contains(QLatin1Char(separator)) && !text.contains(u'"') && !text.contains(u'\n') &&
      !text.contains(u'\r')) {
    return text;
  }
  QString quoted = text;
  quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + quoted + u'"';
}

}  // namespace

CsvLayout::CsvLayout()
    : separator_(QLocale().decimalPoint() == QStringLiteral(",") ? ';' : ','),
      // A spreadsheet reads a time as a date and time only with its locale's decimal separator
      // before the milliseconds (Russian: "17:47:55,811"; "17:47:55.811" stays text there).
      timeFormat_(QStringLiteral("yyyy-MM-dd HH:mm:ss") + QLocale().decimalPoint() +
                  QStringLiteral("zzz")) {
  columns_.push_back({Column::kTime, {}, {}});
  for (int c = 0; c < kAnalogChannels; ++c) {
    columns_.push_back({Column::kType, {}, {}, c});
    for (Measure m : {Measure::kSensor, Measure::kInput}) {
      for (const QString& unit : PossibleUnits({m, c})) {
        columns_.push_back({Column::kValue, {m, c}, unit});
      }
    }
  }
  for (int n = 0; n < kConverterReadings; ++n) {
    columns_.push_back({Column::kValue, {Measure::kConverter, n}, kConverterRule.unit});
  }
  for (Measure m : {Measure::kTemperature, Measure::kEngineSpeed, Measure::kShaftSpeed}) {
    columns_.push_back({Column::kValue, {m}, PossibleUnits({m}).front()});
  }
  columns_.push_back({Column::kDirection, {}, {}});
  columns_.push_back({Column::kStatusWord, {}, {}});
  for (int k = 0; k < kDiscreteCount; ++k) columns_.push_back({Column::kInput, {}, {}, k});
  for (int k = 0; k < kDiscreteCount; ++k) columns_.push_back({Column::kOutput, {}, {}, k});
}

QString CsvLayout::Header(const Column& column) const {
  switch (column.kind) {
    case Column::kTime: return QStringLiteral("Время");
    case Column::kType:
      return QuantityName({Measure::kSensor, column.index}).section(u' ', 0, 0) +
             QStringLiteral(" тип датчика");
    case Column::kValue:
      return QuantityName(column.quantity) + QStringLiteral(" (") + column.unit + u')';
    case Column::kDirection: return QStringLiteral("Направление (вперед 1 / назад -1)");
    case Column::kStatusWord: return QStringLiteral("Слово состояния");
    case Column::kInput: return QStringLiteral("Вход %1").arg(column.index + 1);
    case Column::kOutput: return QStringLiteral("Выход %1").arg(column.index + 1);
  }
  return {};
}

QString CsvLayout::Cell(const Column& column, const Sample& sample) const {
  if (column.kind == Column::kTime) {
    return QDateTime::fromMSecsSinceEpoch(sample.time).toString(timeFormat_);
  }
  if (column.kind == Column::kValue) {
    const std::optional<Value> value = ValueOf(sample, column.quantity);
    return value && value->unit == column.unit ? Number(*value) : QString();
  }
  const auto* status = std::get_if<StatusSample>(&sample.values);
  if (!status) return {};
  switch (column.kind) {
    case Column::kType: {
      const SensorType type = status->types[column.index];
      return type == SensorType::kUnknown ? QString()
                                          : QString::number(static_cast<int>(type));
    }
    case Column::kDirection:
      if (const auto value = ValueOf(*status, {Measure::kDirection})) {
        return QString::number(value->number);
      }
      return {};
    case Column::kStatusWord: return QString::number(status->statusWord);
    case Column::kInput: return Bit(status->inputs, column.index);
    case Column::kOutput: return Bit(status->outputs, column.index);
    case Column::kTime:
    case Column::kValue: break;
  }
  return {};
}

QByteArray CsvLayout::HeaderRow() const {
  QString row;
  for (const Column& column : columns_) {
    if (!row.isEmpty()) row += QLatin1Char(separator_);
    row += Field(Header(column), separator_);
  }
  return row.toUtf8() + kLineEnd;
}

QByteArray CsvLayout::Row(const Sample& sample) const {
  QString row;
  row.reserve(2048);
  bool first = true;
  for (const Column& column : columns_) {
    if (!first) row += QLatin1Char(separator_);
    first = false;
    row += Cell(column, sample);
  }
  return row.toUtf8() + kLineEnd;
}

CsvRecorder::CsvRecorder(ErrorHandler onError) : onError_(std::move(onError)) {}

CsvRecorder::~CsvRecorder() { Stop(); }

Result CsvRecorder::Start(const QString& path, ExistingFile existing) {
  auto file = std::make_unique<QFile>();
  // A recording is never lost: with kKeep the file is created only where none is (O_EXCL), so
  // a file that appears meanwhile is kept too. Devices and pipes are written as they are.
  const QFileInfo info(path);
  const bool keep = existing == ExistingFile::kKeep && !(info.exists() && !info.isFile());
  QString candidate = path;
  for (int n = 2;; ++n) {
    file->setFileName(candidate);
    errno = 0;
    if (file->open(QIODevice::WriteOnly | QIODevice::Unbuffered |
                   (keep ? QIODevice::NewOnly : QIODevice::Truncate))) {
      break;
    }
    const int error = errno;
    if (!keep || error != EEXIST || n > kMaxNumberedName) {
      return Result::Failed(FileErrorText(error, file->error()));
    }
    candidate = NumberedPath(path, n);
  }
  return Start(std::move(file), candidate);
}

Result CsvRecorder::Start(std::unique_ptr<QIODevice> device, const QString& name) {
  Stop();
  stopReason_.clear();
  layout_ = std::make_unique<CsvLayout>();
  device_ = std::move(device);
  name_ = name;
  const Result header = Write(QByteArray(kBom) + layout_->HeaderRow());
  if (!header) Stop();
  return header;
}

void CsvRecorder::Stop() {
  if (!device_) return;
  device_->close();
  device_.reset();
  layout_.reset();
}

void CsvRecorder::Add(const Sample& sample) {
  if (!device_) return;
  if (const Result row = Write(layout_->Row(sample)); !row) Fail(row.Why());
}

Result CsvRecorder::Write(const QByteArray& bytes) {
  const WholeWrite out = WriteWhole(*device_, bytes);  // the file ends with a whole row
  if (!out.whole) return Result::Failed(FileErrorText(out.error, QFileDevice::WriteError));
  // Unbuffered files have nothing to flush; other devices are pushed on at once.
  auto* file = qobject_cast<QFileDevice*>(device_.get());
  if (!file || file->flush()) return {};
  return Result::Failed(FileErrorText(errno, file->error()));
}

void CsvRecorder::Fail(const QString& reason) {
  const QString message =
      QStringLiteral("Запись в файл %1 остановлена: %2").arg(name_, reason);
  stopReason_ = reason;
  Stop();
  if (onError_) onError_(message);
}

QString FileErrorText(int error, QFileDevice::FileError kind) {
  switch (error) {
    case 0: return FileDeviceErrorText(kind);  // the system said nothing more
    // A recording creates its file: what is missing is the folder, and a taken name means
    // every numbered name was taken too.
    case ENOENT: return QStringLiteral("нет такой папки");
    case EEXIST: return QStringLiteral("свободное имя файла не найдено");
    case EACCES:
    case EPERM: return QStringLiteral("нет прав на запись");
    default: return SystemErrorText(error);
  }
}

}  // namespace torvex::record
