#include "ui/exchange_monitor_model.h"

#include <algorithm>

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFontDatabase>

#include "monitor/frame_meaning.h"

namespace torvex {
namespace {

const QColor kErrorBack(0xFF, 0xD6, 0xD6);
const QColor kErrorText(0x9C, 0x00, 0x06);
const QColor kExceptionBack(0xFF, 0xEB, 0x9C);
const QColor kRequestText(0x1F, 0x3A, 0x93);

// The bytes in hex, at most `shown` of them followed by " …".
QString Hex(std::span<const std::uint8_t> bytes, std::size_t shown) {
  if (bytes.empty()) return QStringLiteral("-");
  if (bytes.size() > shown) return Hex(bytes.first(shown), shown) + QStringLiteral(" …");
  static constexpr char kDigits[] = "0123456789ABCDEF";
  QString text(static_cast<qsizetype>(bytes.size() * 3 - 1), QLatin1Char(' '));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[static_cast<qsizetype>(3 * i)] = QLatin1Char(kDigits[bytes[i] >> 4]);
    text[static_cast<qsizetype>(3 * i + 1)] = QLatin1Char(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace

ExchangeMonitorModel::ExchangeMonitorModel(ExchangeRecorder& recorder, QObject* parent)
    : QAbstractTableModel(parent),
      recorder_(recorder),
      bytesFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
  Rebuild();
}

bool ExchangeMonitorModel::Shown(const FrameRecord& record, bool onlyErrors) {
  return !onlyErrors || record.IsError() || record.outcome == FrameOutcome::Exception;
}

int ExchangeMonitorModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(onlyErrors_ ? errorRows_.size() : end_ - first_);
}

int ExchangeMonitorModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

std::uint64_t ExchangeMonitorModel::SequenceAt(int row) const {
  return onlyErrors_ ? errorRows_[static_cast<std::size_t>(row)] : first_ + static_cast<std::uint64_t>(row);
}

QVariant ExchangeMonitorModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  // A row whose frame the ring has overwritten since the last refresh shows nothing until
  // that refresh removes it.
  const std::uint64_t sequence = SequenceAt(index.row());
  if (sequence < recorder_.Ring().First()) return {};
  const FrameRecord& r = recorder_.Ring().At(sequence);
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kTime: return QDateTime::fromMSecsSinceEpoch(r.wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
        case kDirection: return r.direction == FrameDirection::Tx ? QStringLiteral("TX") : QStringLiteral("RX");
        case kBytes: return Hex(r.Bytes(), bytesShown_);
        case kMeaning: return FrameMeaning(r);
        case kOutcome: return OutcomeText(r.outcome);
        case kDelay:
          return r.direction == FrameDirection::Rx && r.sinceRequestMs >= 0 ? QVariant(r.sinceRequestMs) : QVariant();
      }
      return {};
    case Qt::ToolTipRole:
      if (index.column() == kBytes) return Hex(r.Bytes(), FrameRecord::kMaxBytes);
      if (index.column() == kMeaning) return data(index, Qt::DisplayRole);
      return {};
    case Qt::FontRole:
      return index.column() == kBytes ? QVariant(bytesFont_) : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == kDelay ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::BackgroundRole:
      if (r.outcome == FrameOutcome::Exception) return QBrush(kExceptionBack);
      if (r.IsError()) return QBrush(kErrorBack);
      return {};
    case Qt::ForegroundRole:
      if (r.IsError() && r.outcome != FrameOutcome::Exception) return QBrush(kErrorText);
      if (r.direction == FrameDirection::Tx) return QBrush(kRequestText);
      return {};
    default:
      return {};
  }
}

QVariant ExchangeMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kTime: return QStringLiteral("Время");
    case kDirection: return QStringLiteral("Напр.");
    case kBytes: return QStringLiteral("Байты");
    case kMeaning: return QStringLiteral("Значение");
    case kOutcome: return QStringLiteral("Итог");
    case kDelay: return QStringLiteral("Через, мс");
  }
  return {};
}

int ExchangeMonitorModel::Refresh() {
  const FrameRing& ring = recorder_.Ring();
  // Everything shown has left the ring (a long time hidden, or cleared): start afresh.
  if (ring.First() >= end_) {
    if (rowCount() > 0) {
      Rebuild();
      return 0;
    }
    first_ = end_ = ring.First();
  }
  int removed = 0;
  if (ring.First() > first_) {
    if (onlyErrors_) {
      std::size_t gone = 0;
      while (gone < errorRows_.size() && errorRows_[gone] < ring.First()) ++gone;
      if (gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        errorRows_.erase(errorRows_.begin(), errorRows_.begin() + static_cast<std::ptrdiff_t>(gone));
        endRemoveRows();
      }
      removed = static_cast<int>(gone);
      first_ = ring.First();
    } else {
      removed = static_cast<int>(ring.First() - first_);
      beginRemoveRows({}, 0, removed - 1);
      first_ = ring.First();
      endRemoveRows();
    }
  }
  if (ring.End() > end_) {
    if (onlyErrors_) {
      std::size_t added = 0;
      for (std::uint64_t s = end_; s < ring.End(); ++s) added += Shown(ring.At(s), true);
      if (added > 0) {
        const int row = rowCount();
        beginInsertRows({}, row, row + static_cast<int>(added) - 1);
        for (std::uint64_t s = end_; s < ring.End(); ++s) {
          if (Shown(ring.At(s), true)) errorRows_.push_back(s);
        }
        end_ = ring.End();
        endInsertRows();
      }
      end_ = ring.End();
    } else {
      const int row = rowCount();
      beginInsertRows({}, row, row + static_cast<int>(ring.End() - end_) - 1);
      end_ = ring.End();
      endInsertRows();
    }
  }
  return removed;
}

void ExchangeMonitorModel::SetBytesShown(int count) {
  const std::size_t shown = static_cast<std::size_t>(std::max(count, 1));
  if (shown == bytesShown_) return;
  bytesShown_ = shown;
  if (rowCount() > 0) emit dataChanged(index(0, kBytes), index(rowCount() - 1, kBytes));
}

void ExchangeMonitorModel::SetOnlyErrors(bool only) {
  if (only == onlyErrors_) return;
  onlyErrors_ = only;
  Rebuild();
}

void ExchangeMonitorModel::Rebuild() {
  beginResetModel();
  const FrameRing& ring = recorder_.Ring();
  first_ = ring.First();
  end_ = ring.End();
  errorRows_.clear();
  if (onlyErrors_) {
    for (std::uint64_t s = first_; s < end_; ++s) {
      if (Shown(ring.At(s), true)) errorRows_.push_back(s);
    }
  }
  endResetModel();
}

}  // namespace torvex
