#pragma once
// Status and converter answers for the record tests, and the samples made from them.
#include <vector>

#include <QDateTime>

#include "decode/answer_frames.h"
#include "record/sample_from_answer.h"

namespace torvex::test {

inline constexpr int kStatusRegisters = 90;
inline constexpr int kConverterRegisters = 64;

// The status block's registers, all zero; fill in what a case needs.
struct StatusRegisters {
  std::vector<int> words = std::vector<int>(kStatusRegisters, 0);
  void Sensor(int channel, int raw) { words[10 + channel] = raw & 0xFFFF; }
  void Input(int channel, int raw) { words[52 + channel] = raw & 0xFFFF; }
};

// Sets the type box of a channel as the parameter read writes it.
inline void SetType(FakeView& view, int channel, const QString& type) {
  view.SetText({Control::txt_par, channel < 16 ? 8 + channel : 16 + channel}, type);
}

inline record::Sample StatusSampleAt(std::int64_t time, const StatusRegisters& regs,
                                     const FakeView& view) {
  return *record::SampleFromAnswer(ReadAnswer(regs.words, 180).Answer(), view, time);
}

inline record::Sample ConverterSampleAt(std::int64_t time, const std::vector<int>& words) {
  FakeView view;
  return *record::SampleFromAnswer(ReadAnswer(words, 128).Answer(), view, time);
}

// A moment in local time, as the file writes it.
inline std::int64_t LocalMs(int hour, int minute, int second, int ms) {
  return QDateTime(QDate(2026, 3, 1), QTime(hour, minute, second, ms)).toMSecsSinceEpoch();
}

}  // namespace torvex::test
