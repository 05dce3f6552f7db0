#include "ui/exchange_monitor_model.h"

#include <algorithm>

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFontDatabase>

#include "monitor/frame_meaning.h"
#include "text/hex_bytes.h"

namespace torvex {
namespace {

const QColor kErrorBack(0xFF, 0xD6, 0xD6);
const QColor kErrorText(0x9C, 0x00, 0x06);
const QColor kExceptionBack(0xFF, 0xEB, 0x9C);
const QColor kRequestText(0x1F, 0x3A, 0x93);
const QColor kDroppedText(0x80, 0x80, 0x80);
const QColor kNoteBack(0xDD, 0xEB, 0xF7);

}  // namespace

ExchangeMonitorModel::ExchangeMonitorModel(ExchangeTrace& trace, QObject* parent)
    : QAbstractTableModel(parent),
      trace_(trace),
      bytesFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
  Rebuild();
}

ExchangeMonitorModel::~ExchangeMonitorModel() { trace_.WatchFrom(0, nullptr); }

bool ExchangeMonitorModel::Notable(const FrameRecord& record) {
  return record.IsError() || record.outcome == FrameOutcome::Exception ||
         record.outcome == FrameOutcome::NoEcho || record.outcome == FrameOutcome::AnswersTooLate;
}

std::uint64_t ExchangeMonitorModel::OldestToShow() const {
  const FrameRing& ring = trace_.Ring();
  const std::uint64_t capacity = trace_.Capacity();
  return std::max(ring.First(), ring.End() > capacity ? ring.End() - capacity : 0);
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

bool ExchangeMonitorModel::Shows(std::uint64_t sequence) const {
  if (!onlyErrors_) return sequence >= first_ && sequence < end_;
  return std::binary_search(errorRows_.begin(), errorRows_.end(), sequence);
}

QVariant ExchangeMonitorModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  // The ring warns before it overwrites a frame shown, so this holds; should it not, an empty
  // row is better than another frame's.
  const std::uint64_t sequence = SequenceAt(index.row());
  if (sequence < trace_.Ring().First()) return {};
  const FrameRecord& r = trace_.Ring().At(sequence);
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kTime: return QDateTime::fromMSecsSinceEpoch(r.wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
        case kDirection: return r.direction == FrameDirection::Tx ? QStringLiteral("TX") : QStringLiteral("RX");
        case kBytes: return HexBytes(r.Bytes(), bytesShown_);
        case kMeaning: return FrameMeaning(r);
        case kOutcome: return OutcomeText(r.outcome);
        case kDelay:
          return r.direction == FrameDirection::Rx && r.sinceRequestMs >= 0 ? QVariant(r.sinceRequestMs) : QVariant();
      }
      return {};
    case Qt::ToolTipRole:
      if (index.column() == kBytes) return HexBytes(r.Bytes());
      if (index.column() == kMeaning) return data(index, Qt::DisplayRole);
      return {};
    case Qt::FontRole:
      return index.column() == kBytes ? QVariant(bytesFont_) : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == kDelay ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::BackgroundRole:
      if (r.outcome == FrameOutcome::Exception) return QBrush(kExceptionBack);
      if (r.outcome == FrameOutcome::NoEcho || r.outcome == FrameOutcome::AnswersTooLate) return QBrush(kNoteBack);
      if (r.IsError()) return QBrush(kErrorBack);
      return {};
    case Qt::ForegroundRole:
      if (r.IsError()) return QBrush(kErrorText);
      if (r.outcome == FrameOutcome::Dropped) return QBrush(kDroppedText);
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
  const FrameRing& ring = trace_.Ring();
  const std::uint64_t oldest = OldestToShow();
  // Everything shown has left the ring (a long time hidden, or cleared): start afresh.
  if (oldest >= end_) {
    if (rowCount() > 0) {
      Rebuild();
      return 0;
    }
    first_ = end_ = oldest;
  }
  int removed = 0;
  if (oldest > first_) {
    if (onlyErrors_) {
      std::size_t gone = 0;
      while (gone < errorRows_.size() && errorRows_[gone] < oldest) ++gone;
      if (gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        errorRows_.erase(errorRows_.begin(), errorRows_.begin() + static_cast<std::ptrdiff_t>(gone));
        first_ = oldest;
        endRemoveRows();
      }
      removed = static_cast<int>(gone);
      first_ = oldest;
    } else {
      removed = static_cast<int>(oldest - first_);
      beginRemoveRows({}, 0, removed - 1);
      first_ = oldest;
      endRemoveRows();
    }
  }
  if (ring.End() > end_) {
    if (onlyErrors_) {
      TakeErrorRows(ring.End());
    } else {
      const int row = rowCount();
      beginInsertRows({}, row, row + static_cast<int>(ring.End() - end_) - 1);
      end_ = ring.End();
      endInsertRows();
    }
  }
  Watch();
  return removed;
}

std::vector<std::uint64_t> ExchangeMonitorModel::ErrorRows(std::uint64_t end) {
  const FrameRing& ring = trace_.Ring();
  std::vector<std::uint64_t> rows;
  std::optional<std::uint64_t> request = lastRequest_;
  for (std::uint64_t s = std::max(end_, first_); s < end; ++s) {
    const FrameRecord& r = ring.At(s);
    if (r.direction == FrameDirection::Tx) {
      request = s;
      continue;
    }
    if (!Notable(r)) continue;
    // Each notable frame after the request it answered, that request shown once.
    const bool anyShown = !rows.empty() || !errorRows_.empty();
    const std::uint64_t last = !rows.empty() ? rows.back() : anyShown ? errorRows_.back() : 0;
    if (request && *request >= first_ && (!anyShown || last < *request)) rows.push_back(*request);
    rows.push_back(s);
  }
  lastRequest_ = request;
  return rows;
}

void ExchangeMonitorModel::TakeErrorRows(std::uint64_t end) {
  const std::vector<std::uint64_t> rows = ErrorRows(end);
  if (!rows.empty()) {
    const int row = rowCount();
    beginInsertRows({}, row, row + static_cast<int>(rows.size()) - 1);
    errorRows_.insert(errorRows_.end(), rows.begin(), rows.end());
    end_ = end;
    endInsertRows();
  }
  end_ = end;
}

void ExchangeMonitorModel::Watch() {
  trace_.WatchFrom(first_, [this] {
    if (refresher_) {
      refresher_();
    } else {
      Refresh();
    }
  });
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
  first_ = end_ = OldestToShow();
  errorRows_.clear();
  lastRequest_.reset();
  if (onlyErrors_) {
    const std::vector<std::uint64_t> rows = ErrorRows(trace_.Ring().End());
    errorRows_.assign(rows.begin(), rows.end());
  }
  end_ = trace_.Ring().End();
  endResetModel();
  Watch();
}

}  // namespace torvex
