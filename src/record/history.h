#pragma once
// The history behind the trends: every sample since the tool started, up to a day at the
// background poll's rate, in bounded memory; the oldest go first. Shared by every trends view
// and fed from the same sample stream as the recorder.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "record/quantity.h"
#include "record/sample.h"

namespace torvex::record {

// Samples further apart than this leave a gap in a plot: the line was lost between them.
inline constexpr std::int64_t kGapMs = 2000;
// A day of answers of each kind at one per 0.4 s (the background poll reads each block every
// fourth tick of 100 ms).
inline constexpr std::size_t kDayOfSamples = 24 * 3600 * 10 / 4;

// A stretch of a quantity's values in one unit without a gap; a plot draws it as one line.
struct SeriesRun {
  QString unit;
  std::vector<std::int64_t> times;  // ms since the epoch
  std::vector<double> values;
};

class History {
 public:
  explicit History(std::size_t capacity = kDayOfSamples);  // samples of each kind

  void Add(const Sample& sample);
  void Clear();

  bool Empty() const { return status_.empty() && converter_.empty(); }
  std::size_t Size() const { return status_.size() + converter_.size(); }
  // Time of the oldest and the newest sample; 0 when empty.
  std::int64_t FirstTime() const;
  std::int64_t LastTime() const;

  // The quantity's values from `from` to `to` (ms, both included). With more samples than
  // maxPoints in that time, each of maxPoints/2 equal stretches of time keeps its lowest and
  // highest value, so peaks stay visible however long the span. A run ends at a gap, a
  // change of unit or a sample without the value.
  std::vector<SeriesRun> Series(Quantity quantity, std::int64_t from, std::int64_t to,
                                int maxPoints) const;
  // The same for several quantities at once, in their order: one pass over the samples,
  // which is what costs for a long span.
  std::vector<std::vector<SeriesRun>> Series(const std::vector<Quantity>& quantities,
                                             std::int64_t from, std::int64_t to,
                                             int maxPoints) const;
  // The value of the last sample at or before `time`, when it is not older than kGapMs.
  std::optional<Value> ValueAt(Quantity quantity, std::int64_t time) const;

 private:
  template <typename Values>
  struct Entry {
    std::int64_t time;
    Values values;
  };
  template <typename Values>
  static void Push(std::deque<Entry<Values>>& entries, std::size_t capacity,
                   std::int64_t time, const Values& values);
  template <typename Values>
  static void SeriesOf(const std::deque<Entry<Values>>& entries,
                       const std::vector<Quantity>& quantities, std::int64_t from,
                       std::int64_t to, int maxPoints,
                       std::vector<std::vector<SeriesRun>*>& out);
  template <typename Values>
  static std::optional<Value> ValueIn(const std::deque<Entry<Values>>& entries,
                                      Quantity quantity, std::int64_t time);

  std::size_t capacity_;
  std::deque<Entry<StatusSample>> status_;
  std::deque<Entry<ConverterSample>> converter_;
};

}  // namespace torvex::record
