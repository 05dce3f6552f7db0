#pragma once
// The history behind the trends: every sample of the last minutes, and before them one in
// kThinMs at most, back to a day at the background poll's usual rate, in bounded memory; the
// oldest go first. Polling faster than usual keeps the memory as it was: the recent minutes
// show every answer, the rest of the day the usual density. Shared by every trends view and fed
// from the same sample stream as the recorder.
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
// Every sample of this last stretch of time is kept.
inline constexpr std::int64_t kRecentMs = 10 * 60 * 1000;
// Before it, samples of a kind are kept this far apart at least: every one of the usual poll
// (one each 400 ms, give or take a late tick), one in several of a faster one.
inline constexpr std::int64_t kThinMs = 350;

// A stretch of a quantity's values in one unit without a gap; a plot draws it as one line.
struct SeriesRun {
  QString unit;
  std::vector<std::int64_t> times;  // ms since the epoch
  std::vector<double> values;
};

class History {
 public:
  // At most `capacity` samples of each kind, recent and older together.
  explicit History(std::size_t capacity = kDayOfSamples);

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
  // The samples of one kind: the thinned older ones, then every recent one.
  template <typename Values>
  struct Kind {
    std::deque<Entry<Values>> older;
    std::deque<Entry<Values>> recent;
    bool empty() const { return older.empty() && recent.empty(); }
    std::size_t size() const { return older.size() + recent.size(); }
    const Entry<Values>& front() const { return older.empty() ? recent.front() : older.front(); }
    const Entry<Values>& back() const { return recent.empty() ? older.back() : recent.back(); }
    void clear() {
      older.clear();
      recent.clear();
    }
  };
  template <typename Values>
  static void Push(Kind<Values>& kind, std::size_t capacity, std::int64_t time,
                   const Values& values);
  template <typename Values>
  static void SeriesOf(const Kind<Values>& kind, const std::vector<Quantity>& quantities,
                       std::int64_t from, std::int64_t to, int maxPoints,
                       std::vector<std::vector<SeriesRun>*>& out);
  template <typename Values>
  static std::optional<Value> ValueIn(const Kind<Values>& kind, Quantity quantity,
                                      std::int64_t time);

  std::size_t capacity_;
  Kind<StatusSample> status_;
  Kind<ConverterSample> converter_;
};

}  // namespace torvex::record
