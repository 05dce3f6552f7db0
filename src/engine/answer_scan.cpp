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

namespace {

// Whether a frame of one of `transactions` can start at the head of `bytes`, as far as they go:
// its transaction, protocol 0, a length a Modbus frame can have.
bool HeaderMayStart(std::span<const std::uint8_t> bytes, std::span<const std::uint16_t> transactions) {
  if (bytes.size() >= 2) {
    const std::uint16_t transaction = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    if (std::find(transactions.begin(), transactions.end(), transaction) == transactions.end()) return false;
  } else if (std::none_of(transactions.begin(), transactions.end(),
                          [&](std::uint16_t t) { return bytes.empty() || bytes[0] == t >> 8; })) {
    return false;
  }
  if ((bytes.size() > 2 && bytes[2] != 0) || (bytes.size() > 3 && bytes[3] != 0)) return false;
  return modbus::MbapFrameLength(bytes).has_value();
}

// The whole length of a frame whose header has not all come: from its sixth byte on the header
// tells it; 0 before.
std::size_t PartialLength(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kLengthEnd = modbus::kMbapHeaderSize - 1;
  if (bytes.size() < kLengthEnd || bytes[2] != 0 || bytes[3] != 0) return 0;
  const std::size_t length = static_cast<std::size_t>(bytes[4] << 8 | bytes[5]);
  return kLengthEnd + length;
}

}  // namespace

Scan ScanMbapAnswer(std::span<const std::uint8_t> bytes, const modbus::ExpectedAnswer& expected,
                    std::span<const std::uint16_t> transactions) {
  Scan scan;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::span<const std::uint8_t> rest = bytes.subspan(pos);
    const std::optional<std::size_t> length = modbus::MbapFrameLength(rest);
    if (!length) {
      // The stream has lost its step here: noise up to where a frame of ours may start.
      std::size_t next = pos + 1;
      while (next < bytes.size() && !HeaderMayStart(bytes.subspan(next), transactions)) ++next;
      scan.pieces.push_back({ScanPiece::Kind::kNoise, pos, next - pos});
      scan.brokenAnswer = true;
      pos = next;
      continue;
    }
    if (*length == 0 || *length > rest.size()) {
      const std::size_t whole = *length != 0 ? *length : PartialLength(rest);
      scan.pieces.push_back({ScanPiece::Kind::kPartial, pos, rest.size(), whole});
      if (rest.size() >= 3) scan.brokenAnswer = true;
      return scan;
    }
    const std::span<const std::uint8_t> frame = rest.first(*length);
    const modbus::MbapHeader header = *modbus::ParseMbapHeader(frame);
    if (std::find(transactions.begin(), transactions.end(), header.transaction) == transactions.end()) {
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
