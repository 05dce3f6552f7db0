#pragma once
// Answers as the exchange engine leaves them for the decoder: the frame from cell 0, two CRC
// cells (the decoder does not check them), and bytes of an older answer behind.
#include <vector>

#include "engine/rx_buffer.h"
#include "support/fake_view.h"

namespace torvex::test {

inline constexpr int kStaleByte = 0x5A;  // what an older answer left in the buffer
inline constexpr int kCrcByte = 0xEE;
inline constexpr int kSlave = 7;

struct Frame {
  RxBuffer cells;
  int count = 0;
  RxAnswer Answer() const { return {cells, count}; }
};

// Slave address, the given function code and data, CRC.
inline Frame MakeFrame(const std::vector<int>& functionAndData) {
  Frame f;
  f.cells.fill(kStaleByte);
  std::vector<int> bytes{kSlave};
  bytes.insert(bytes.end(), functionAndData.begin(), functionAndData.end());
  bytes.insert(bytes.end(), {kCrcByte, kCrcByte});
  for (int b : bytes) f.cells.at(static_cast<std::size_t>(f.count++)) = b;
  return f;
}

// A function-3 answer carrying `words`, with a byte count that may disagree with them.
inline Frame ReadAnswer(const std::vector<int>& words, int byteCount) {
  std::vector<int> data{3, byteCount};
  for (int w : words) data.insert(data.end(), {(w >> 8) & 0xFF, w & 0xFF});
  return MakeFrame(data);
}
inline Frame ReadAnswer(const std::vector<int>& words) {
  return ReadAnswer(words, 2 * static_cast<int>(words.size()));
}

// Only the first `count` cells of the frame arrived; older bytes stand behind them.
inline Frame Cut(Frame f, int count) {
  for (auto i = static_cast<std::size_t>(count); i < f.cells.size(); ++i) f.cells[i] = kStaleByte;
  f.count = count;
  return f;
}

// opt_view(0) the converter view, opt_view(1) the measurement view.
inline void SelectView(FakeView& view, bool measurement) {
  view.SetChecked({Control::opt_view, 0}, !measurement);
  view.SetChecked({Control::opt_view, 1}, measurement);
}

}  // namespace torvex::test
