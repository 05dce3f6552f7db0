#pragma once
// Cuts the bytes received since a request left into what they are: the request's answer (or
// its exception answer), other well-formed frames of the controller (a late answer to an
// earlier request), and noise. A frame ends where its function makes it end; what is neither
// answer nor frame is noise, and the answer is looked for behind every byte of it, so stray
// bytes or a stale frame never hide the answer that follows them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "modbus/expected_answer.h"

namespace torvex {

struct ScanPiece {
  enum class Kind {
    kNoise,       // bytes that belong to no frame
    kOtherFrame,  // a well-formed frame of the controller that does not answer the request
    kAnswer,      // the answer, whole and with its CRC right
    kException,   // the exception answer to the request, whole and with its CRC right
    kPartial,     // the start of the answer, still incomplete (always the last piece)
  };
  Kind kind;
  std::size_t offset;
  std::size_t size;
  // kPartial: the length the whole frame would have; 0 when its function does not tell.
  std::size_t whole = 0;
};

struct Scan {
  // In line order. Scanning stops behind the answer: bytes after it are in no piece.
  std::vector<ScanPiece> pieces;
  // Something shaped like the answer (its address, function and echoed fields) arrived broken:
  // with a wrong CRC, or cut short.
  bool brokenAnswer = false;
  // Of those, a whole one with a wrong CRC (not only one cut short).
  bool crcBroken = false;

  const ScanPiece* Answer() const;
  bool HasOtherFrame() const;
};

// `lineSilent`: the line has been silent for a frame gap, so an answer of a function whose
// length is unknown ends with the bytes received.
Scan ScanAnswer(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                bool lineSilent);

// The same over a Modbus TCP stream, where every frame carries its length in its header: the
// answer is the frame with one of the request's transaction identifiers (each copy sent has
// its own) and its unit, whose PDU answers the request; frames of other transactions are other
// frames; one of these transactions whose PDU does not fit is a broken answer. Bytes where no
// header can start (the stream has lost its step, a stale tail) are noise up to where a header
// of one of these transactions starts. A partial frame whose header tells its length (from its
// sixth byte on) has its whole length.
Scan ScanMbapAnswer(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                    std::span<const std::uint16_t> transactions);
inline Scan ScanMbapAnswer(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                           std::uint16_t transaction) {
  return ScanMbapAnswer(bytes, expected, std::span<const std::uint16_t>(&transaction, 1));
}

}  // namespace torvex
