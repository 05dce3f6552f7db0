#include "record/csv_recorder.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>

#include "decode/numeric.h"

namespace torvex::record {
namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";

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
    : separator_(QLocale().decimalPoint() == QStringLiteral(",") ? ';' : ',') {
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
    return QDateTime::fromMSecsSinceEpoch(sample.time)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
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
      switch (ShaftDirection(status->statusWord)) {
        case Direction::kForward: return QStringLiteral("1");
        case Direction::kBackward: return QStringLiteral("-1");
        case Direction::kUnknown: return {};
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

QString CsvRecorder::Start(const QString& path) {
  auto file = std::make_unique<QFile>(path);
  if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    return file->errorString();
  }
  return Start(std::move(file), path);
}

QString CsvRecorder::Start(std::unique_ptr<QIODevice> device, const QString& name) {
  Stop();
  layout_ = std::make_unique<CsvLayout>();
  device_ = std::move(device);
  name_ = name;
  if (!Write(QByteArray(kBom) + layout_->HeaderRow())) {
    const QString why = device_->errorString();
    Stop();
    return why;
  }
  return {};
}

void CsvRecorder::Stop() {
  if (!device_) return;
  device_->close();
  device_.reset();
  layout_.reset();
}

void CsvRecorder::Add(const Sample& sample) {
  if (!device_) return;
  if (!Write(layout_->Row(sample))) Fail();
}

bool CsvRecorder::Write(const QByteArray& bytes) {
  if (device_->write(bytes) != bytes.size()) return false;
  // Unbuffered files have nothing to flush; other devices are pushed on at once.
  if (auto* file = qobject_cast<QFile*>(device_.get())) return file->flush();
  return true;
}

void CsvRecorder::Fail() {
  const QString message = QStringLiteral("Запись в файл %1 остановлена: %2")
                              .arg(name_, device_->errorString());
  Stop();
  if (onError_) onError_(message);
}

}  // namespace torvex::record
