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

// Sets a channel's sensor type as the text of its parameter box reads.
inline void SetType(ChannelTypes& types, int channel, const QString& type) {
  types.at(static_cast<std::size_t>(channel)) = SensorTypeFromText(type);
}

inline record::Sample StatusSampleAt(std::int64_t time, const StatusRegisters& regs,
                                     const ChannelTypes& types) {
  return *record::SampleFromAnswer(ReadAnswer(regs.words, 180).Answer(), types, time);
}

inline record::Sample ConverterSampleAt(std::int64_t time, const std::vector<int>& words) {
  return *record::SampleFromAnswer(ReadAnswer(words, 128).Answer(), ChannelTypes{}, time);
}

// A moment in local time, as the file writes it.
inline std::int64_t LocalMs(int hour, int minute, int second, int ms) {
  return QDateTime(QDate(2026, 3, 1), QTime(hour, minute, second, ms)).toMSecsSinceEpoch();
}

}  // namespace torvex::test
