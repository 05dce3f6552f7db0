#pragma once
// The registers of a function-3 answer that really arrived, for the decoders that read them:
// only what lies within both the answer's byte count and its received cells, before the two
// CRC cells. Cells beyond the answer hold older answers and are never read.
#include <optional>

#include "decode/register_map.h"
#include "engine/rx_buffer.h"

namespace torvex {

// Cells 0 .. OwnCells-1 are this answer's own: its count less the two CRC cells.
int OwnCells(const RxAnswer& answer);

class AnswerRegisters {
 public:
  AnswerRegisters(const RxAnswer& answer, int byteCount);

  // The byte count the answer gives, by which it is recognised.
  int ByteCount() const { return byteCount_; }
  // Registers n .. n+registers-1, every cell of them.
  bool Carries(int n, int registers = 1) const;
  int Word(int n) const;
  int SignedWord(int n) const;
  double DWord(int n) const;

 private:
  const RxBuffer& cells_;
  int byteCount_;
  int end_;  // first cell not carried
};

// The registers of a function-3 answer; none for any other answer or one cut before its byte
// count.
std::optional<AnswerRegisters> ReadRegisters(const RxAnswer& answer);

// The block of registers a request reads; none for a request that reads no registers.
std::optional<reg::Block> BlockRead(const modbus::Pdu& request);
// Whether the request reads exactly this block, so that its answer carries it.
bool Reads(const modbus::Pdu& request, const reg::Block& block);

}  // namespace torvex
