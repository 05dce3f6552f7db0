#include "record/history.h"

#include <algorithm>
#include <array>
#include <utility>
#include <cmath>

namespace torvex::record {
namespace {

// Collects the points of the runs, one bucket of time at a time when thinning.
class RunBuilder {
 public:
  RunBuilder(const std::vector<QString>& units, std::int64_t from, std::int64_t bucketMs)
      : units_(units), from_(from), bucketMs_(bucketMs) {}

  void Add(std::int64_t time, const QuantityReader::Reading& value) {
    if (!open_ || unit_ != value.unit) {
      End();
      runs_.push_back({units_[static_cast<std::size_t>(value.unit)], {}, {}});
      unit_ = value.unit;
      open_ = true;
    }
    if (bucketMs_ <= 0) {
      Point(time, value.number);
      return;
    }
    const std::int64_t bucket = (time - from_) / bucketMs_;
    if (!bucketOpen_ || bucket != bucket_) {
      FlushBucket();
      bucket_ = bucket;
      bucketOpen_ = true;
      low_ = high_ = {time, value.number};
      return;
    }
    if (value.number < low_.value) low_ = {time, value.number};
    if (value.number > high_.value) high_ = {time, value.number};
  }

  void End() {
    FlushBucket();
    open_ = false;
  }

  std::vector<SeriesRun> Take() {
    End();
    return std::move(runs_);
  }

 private:
  struct Extreme {
    std::int64_t time;
    double value;
  };

  void Point(std::int64_t time, double value) {
    runs_.back().times.push_back(time);
    runs_.back().values.push_back(value);
  }

  void FlushBucket() {
    if (!bucketOpen_) return;
    bucketOpen_ = false;
    const Extreme& first = low_.time <= high_.time ? low_ : high_;
    const Extreme& second = low_.time <= high_.time ? high_ : low_;
    Point(first.time, first.value);
    if (second.time != first.time) Point(second.time, second.value);
  }

  const std::vector<QString>& units_;
  std::int64_t from_;
  std::int64_t bucketMs_;
  std::vector<SeriesRun> runs_;
  bool open_ = false;
  int unit_ = -1;
  bool bucketOpen_ = false;
  std::int64_t bucket_ = 0;
  Extreme low_{}, high_{};
};

}  // namespace

History::History(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

template <typename Values>
void History::Push(Kind<Values>& kind, std::size_t capacity, std::int64_t time,
                   const Values& values) {
  kind.recent.push_back({time, values});
  // What leaves the recent stretch is kept when far enough from the older one before it.
  while (kind.recent.front().time < time - kRecentMs) {
    if (kind.older.empty() || kind.recent.front().time - kind.older.back().time >= kThinMs) {
      kind.older.push_back(std::move(kind.recent.front()));
    }
    kind.recent.pop_front();
  }
  while (kind.size() > capacity) {
    if (kind.older.empty()) {
      kind.recent.pop_front();
    } else {
      kind.older.pop_front();
    }
  }
}

void History::Add(const Sample& sample) {
  if (const auto* status = std::get_if<StatusSample>(&sample.values)) {
    Push(status_, capacity_, sample.time, *status);
  } else if (const auto* converter = std::get_if<ConverterSample>(&sample.values)) {
    Push(converter_, capacity_, sample.time, *converter);
  }
}

void History::Clear() {
  status_.clear();
  converter_.clear();
}

std::int64_t History::FirstTime() const {
  if (status_.empty()) return converter_.empty() ? 0 : converter_.front().time;
  if (converter_.empty()) return status_.front().time;
  return std::min(status_.front().time, converter_.front().time);
}

std::int64_t History::LastTime() const {
  if (status_.empty()) return converter_.empty() ? 0 : converter_.back().time;
  if (converter_.empty()) return status_.back().time;
  return std::max(status_.back().time, converter_.back().time);
}

template <typename Values>
void History::SeriesOf(const Kind<Values>& kind, const std::vector<Quantity>& quantities,
                       std::int64_t from, std::int64_t to, int maxPoints,
                       std::vector<std::vector<SeriesRun>*>& out) {
  if (quantities.empty()) return;
  const auto byTime = [](const Entry<Values>& e, std::int64_t t) { return e.time < t; };
  using Range = std::pair<typename std::deque<Entry<Values>>::const_iterator,
                          typename std::deque<Entry<Values>>::const_iterator>;
  const auto within = [&](const std::deque<Entry<Values>>& entries) {
    const auto first = std::lower_bound(entries.begin(), entries.end(), from, byTime);
    return Range{first, std::lower_bound(first, entries.end(), to + 1, byTime)};
  };
  const std::array<Range, 2> ranges{within(kind.older), within(kind.recent)};
  const auto count =
      (ranges[0].second - ranges[0].first) + (ranges[1].second - ranges[1].first);
  const std::int64_t buckets = maxPoints / 2;
  const std::int64_t bucketMs =
      buckets > 0 && count > maxPoints ? std::max<std::int64_t>(1, (to - from) / buckets + 1) : 0;

  std::vector<QuantityReader> readers;
  std::vector<RunBuilder> builders;
  readers.reserve(quantities.size());
  builders.reserve(quantities.size());
  for (const Quantity& q : quantities) {
    readers.emplace_back(q);
    builders.emplace_back(readers.back().Units(), from, bucketMs);
  }
  std::optional<std::int64_t> previous;
  for (const auto& [first, last] : ranges) {
    for (auto it = first; it != last; ++it) {
      const bool gap = previous && it->time - *previous > kGapMs;
      previous = it->time;
      for (std::size_t k = 0; k < readers.size(); ++k) {
        if (gap) builders[k].End();
        if (const auto value = readers[k](it->values)) {
          builders[k].Add(it->time, *value);
        } else {
          builders[k].End();
        }
      }
    }
  }
  for (std::size_t k = 0; k < builders.size(); ++k) *out[k] = builders[k].Take();
}

std::vector<std::vector<SeriesRun>> History::Series(const std::vector<Quantity>& quantities,
                                                    std::int64_t from, std::int64_t to,
                                                    int maxPoints) const {
  std::vector<std::vector<SeriesRun>> result(quantities.size());
  std::vector<Quantity> status, converter;
  std::vector<std::vector<SeriesRun>*> statusOut, converterOut;
  for (std::size_t k = 0; k < quantities.size(); ++k) {
    const bool byStatus = CarriedByStatus(quantities[k]);
    (byStatus ? status : converter).push_back(quantities[k]);
    (byStatus ? statusOut : converterOut).push_back(&result[k]);
  }
  SeriesOf(status_, status, from, to, maxPoints, statusOut);
  SeriesOf(converter_, converter, from, to, maxPoints, converterOut);
  return result;
}

std::vector<SeriesRun> History::Series(Quantity quantity, std::int64_t from, std::int64_t to,
                                       int maxPoints) const {
  return std::move(Series(std::vector<Quantity>{quantity}, from, to, maxPoints).front());
}

template <typename Values>
std::optional<Value> History::ValueIn(const Kind<Values>& kind, Quantity quantity,
                                      std::int64_t time) {
  const bool inRecent = !kind.recent.empty() && kind.recent.front().time <= time;
  const auto& entries = inRecent ? kind.recent : kind.older;
  const auto after = std::upper_bound(
      entries.begin(), entries.end(), time,
      [](std::int64_t t, const Entry<Values>& e) { return t < e.time; });
  if (after == entries.begin()) return std::nullopt;
  const Entry<Values>& entry = *std::prev(after);
  if (time - entry.time > kGapMs) return std::nullopt;
  return ValueOf(entry.values, quantity);
}

std::optional<Value> History::ValueAt(Quantity quantity, std::int64_t time) const {
  return CarriedByStatus(quantity) ? ValueIn(status_, quantity, time)
                                   : ValueIn(converter_, quantity, time);
}

}  // namespace torvex::record
