#include "decode/answer_registers.h"

#include <algorithm>
#include <vector>

#include "decode/numeric.h"

namespace torvex {
namespace {

constexpr int kFunctionCell = 1;
constexpr int kByteCountCell = 2;
constexpr int kCrcCells = 2;
constexpr int kReadRegisters = 3;

}  // namespace

int OwnCells(const RxAnswer& answer) {
  return std::clamp(answer.count - kCrcCells, 0, static_cast<int>(answer.cells.size()));
}

AnswerRegisters::AnswerRegisters(const RxAnswer& answer, int byteCount)
    : cells_(answer.cells),
      byteCount_(byteCount),
      end_(std::min(OwnCells(answer), RegisterIndex(0) + byteCount)) {}

bool AnswerRegisters::Carries(int n, int registers) const {
  return n >= 0 && RegisterIndex(n + registers - 1) + 1 < end_;
}

int AnswerRegisters::Word(int n) const { return RxWord(cells_, RegisterIndex(n)); }
int AnswerRegisters::SignedWord(int n) const { return RxSignedWord(cells_, RegisterIndex(n)); }
double AnswerRegisters::DWord(int n) const { return RxDWord(cells_, RegisterIndex(n)); }

std::optional<AnswerRegisters> ReadRegisters(const RxAnswer& answer) {
  const int own = OwnCells(answer);
  if (own <= kByteCountCell) return std::nullopt;
  if (RxInteger(answer.cells, kFunctionCell, 1) != kReadRegisters) return std::nullopt;
  return AnswerRegisters(answer, RxInteger(answer.cells, kByteCountCell, 1));
}

std::optional<reg::Block> BlockRead(const modbus::Pdu& request) {
  const std::vector<std::uint8_t>& data = request.Data();
  if (request.Function() != kReadRegisters || data.size() != 4) return std::nullopt;
  return reg::Block{data[0] << 8 | data[1], data[2] << 8 | data[3]};
}

bool Reads(const modbus::Pdu& request, const reg::Block& block) {
  const std::optional<reg::Block> read = BlockRead(request);
  return read && read->start == block.start && read->count == block.count;
}

}  // namespace torvex
