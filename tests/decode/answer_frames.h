#pragma once
// Answers as the exchange engine leaves them for the decoder: the frame from cell 0, two CRC
// cells (the decoder does not check them), and bytes of an older answer behind.
#include <vector>

#include "decode/register_map.h"
#include "engine/rx_buffer.h"
#include "modbus/requests.h"
#include "support/fake_view.h"

namespace torvex::test {

inline constexpr int kStaleByte = 0x5A;  // what an older answer left in the buffer
inline constexpr int kCrcByte = 0xEE;
inline constexpr int kSlave = 7;

struct Frame {
  RxBuffer cells;
  int count = 0;
  modbus::Pdu request;  // what the frame answers
  RxAnswer Answer() const { return {cells, count, request}; }
};

// Slave address, the given function code and data, CRC; an answer to a request of its function
// code (without the exception bit).
inline Frame MakeFrame(const std::vector<int>& functionAndData) {
  Frame f;
  f.request = modbus::Pdu(static_cast<std::uint8_t>(functionAndData.at(0) & 0x7F), {});
  f.cells.fill(kStaleByte);
  std::vector<int> bytes{kSlave};
  bytes.insert(bytes.end(), functionAndData.begin(), functionAndData.end());
  bytes.insert(bytes.end(), {kCrcByte, kCrcByte});
  for (int b : bytes) f.cells.at(static_cast<std::size_t>(f.count++)) = b;
  return f;
}

// The read of the tool whose answer has this byte count: 4 the discrete outputs, 180 the
// status block, any other the converter block.
inline modbus::Pdu ReadOf(int byteCount) {
  const reg::Block block = byteCount == reg::kDiscreteOutputs.ByteCount() ? reg::kDiscreteOutputs
                           : byteCount == reg::kStatusBlock.ByteCount()   ? reg::kStatusBlock
                                                                          : reg::kAdcBlock;
  return modbus::ReadHoldingRegisters(static_cast<std::uint16_t>(block.start),
                                      static_cast<std::uint16_t>(block.count));
}

// A function-3 answer carrying `words`, with a byte count that may disagree with them, to the
// read whose answer has that byte count.
inline Frame ReadAnswer(const std::vector<int>& words, int byteCount) {
  std::vector<int> data{3, byteCount};
  for (int w : words) data.insert(data.end(), {(w >> 8) & 0xFF, w & 0xFF});
  Frame f = MakeFrame(data);
  f.request = ReadOf(byteCount);
  return f;
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
