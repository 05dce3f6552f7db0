#include "engine/answer_scan.h"

#include <algorithm>

#include "modbus/adu.h"
#include "modbus/answer_length.h"
#include "modbus/crc16.h"
#include "modbus/function_code.h"
#include "modbus/mbap.h"

namespace torvex {
namespace {

using modbus::AnswerMatch;

}  // namespace

const ScanPiece* Scan::Answer() const {
  for (const ScanPiece& piece : pieces) {
    if (piece.kind == ScanPiece::Kind::kAnswer || piece.kind == ScanPiece::Kind::kException) {
      return &piece;
    }
  }
  return nullptr;
}

bool Scan::HasOtherFrame() const {
  return std::any_of(pieces.begin(), pieces.end(), [](const ScanPiece& piece) {
    return piece.kind == ScanPiece::Kind::kOtherFrame;
  });
}

Scan ScanAnswer(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                bool lineSilent) {
  Scan scan;
  constexpr std::size_t kNoNoise = static_cast<std::size_t>(-1);
  std::size_t noiseFrom = kNoNoise;
  const auto endNoise = [&](std::size_t at) {
    if (noiseFrom != kNoNoise) scan.pieces.push_back({ScanPiece::Kind::kNoise, noiseFrom, at - noiseFrom});
    noiseFrom = kNoNoise;
  };
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::span<const std::uint8_t> rest = bytes.subspan(pos);
    const bool exception = !modbus::IsException(expected.Function()) && rest.size() >= 2 &&
                           rest[1] == (expected.Function() | modbus::kExceptionFlag);
    const std::size_t length = exception ? modbus::kExceptionAnswerSize : expected.Length();

    if (length > 0 || rest.size() < 2) {
      const std::size_t take = std::min(rest.size(), std::max<std::size_t>(length, 1));
      const AnswerMatch match = expected.Matches(rest.first(take));
      if (match == AnswerMatch::kIncomplete) {
        endNoise(pos);
        scan.pieces.push_back({ScanPiece::Kind::kPartial, pos, rest.size(), length});
        if (rest.size() >= 3) scan.brokenAnswer = true;
        return scan;
      }
      if (match == AnswerMatch::kAnswer || match == AnswerMatch::kException) {
        if (modbus::CrcMatches(rest.first(length))) {
          endNoise(pos);
          scan.pieces.push_back({match == AnswerMatch::kAnswer ? ScanPiece::Kind::kAnswer
                                                               : ScanPiece::Kind::kException,
                                 pos, length});
          return scan;
        }
        scan.brokenAnswer = true;  // hunt on behind its first byte
        scan.crcBroken = true;
      }
    } else if (expected.AnswerExpected() && rest[0] == expected.Address() &&
               rest[1] == expected.Function()) {
      // A function of unknown layout: its answer is what came before the line fell silent.
      endNoise(pos);
      const bool whole = lineSilent && rest.size() >= modbus::kMinFrameSize &&
                         modbus::CrcMatches(rest);
      scan.pieces.push_back({whole ? ScanPiece::Kind::kAnswer : ScanPiece::Kind::kPartial, pos,
                             rest.size()});
      if (!whole && rest.size() >= 3) scan.brokenAnswer = true;
      return scan;
    }

    // A late answer of the same controller to something else?
    if (rest[0] == expected.Address()) {
      const std::size_t frame = modbus::AnswerFrameLength(rest);
      if (frame >= modbus::kMinFrameSize && frame <= rest.size() &&
          modbus::CrcMatches(rest.first(frame))) {
        endNoise(pos);
        scan.pieces.push_back({ScanPiece::Kind::kOtherFrame, pos, frame});
        pos += frame;
        continue;
      }
    }
    if (noiseFrom == kNoNoise) noiseFrom = pos;
    ++pos;
  }
  endNoise(pos);
  return scan;
}

Scan ScanMbapAnswer(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                    std::uint16_t transaction) {
  Scan scan;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::span<const std::uint8_t> rest = bytes.subspan(pos);
    const std::optional<std::size_t> length = modbus::MbapFrameLength(rest);
    if (!length) {
      // The stream has lost its step: nothing behind this can be cut into frames.
      scan.pieces.push_back({ScanPiece::Kind::kNoise, pos, rest.size()});
      scan.brokenAnswer = true;
      scan.crcBroken = true;
      return scan;
    }
    if (*length == 0 || *length > rest.size()) {
      scan.pieces.push_back({ScanPiece::Kind::kPartial, pos, rest.size(), *length});
      if (rest.size() >= 3) scan.brokenAnswer = true;
      return scan;
    }
    const std::span<const std::uint8_t> frame = rest.first(*length);
    const modbus::MbapHeader header = *modbus::ParseMbapHeader(frame);
    if (header.transaction != transaction) {
      scan.pieces.push_back({ScanPiece::Kind::kOtherFrame, pos, *length});
      pos += *length;
      continue;
    }
    const std::vector<std::uint8_t> rtu = modbus::RtuOfMbap(frame);
    const AnswerMatch match = expected.Matches(rtu);
    if (header.unit == expected.Address() &&
        (match == AnswerMatch::kAnswer || match == AnswerMatch::kException)) {
      scan.pieces.push_back({match == AnswerMatch::kAnswer ? ScanPiece::Kind::kAnswer
                                                           : ScanPiece::Kind::kException,
                             pos, *length});
      return scan;
    }
    // This transaction's frame, yet not an answer to the request: spoiled on its way.
    scan.pieces.push_back({ScanPiece::Kind::kNoise, pos, *length});
    scan.brokenAnswer = true;
    scan.crcBroken = true;
    pos += *length;
  }
  return scan;
}

}  // namespace torvex
