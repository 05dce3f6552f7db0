#include "sim/rtu_framer.h"

namespace torvex::sim {

std::optional<std::size_t> RequestLength(std::span<const std::uint8_t> head) {
  if (head.size() < 2) return std::nullopt;
  switch (head[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return 8;  // address, function, two words, CRC
    case 15: case 16:
      if (head.size() < 7) return std::nullopt;
      return 9 + std::size_t{head[6]};  // ... byte count, the bytes, CRC
    case kReadEeprom:
      return 7;  // address, function, start, n, CRC
    case kWriteEeprom:
      if (head.size() < 5) return std::nullopt;
      return 7 + std::size_t{head[4]};  // ... n, the bytes, CRC
    default:
      return std::nullopt;
  }
}

namespace {

// Whether the frame's first bytes tell (or will tell, once its count byte is in) its length.
bool LengthKnowable(std::span<const std::uint8_t> head) {
  if (head.size() < 2) return true;
  switch (head[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 15: case 16:
    case kReadEeprom: case kWriteEeprom:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::vector<Frame> RtuFramer::Feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs) {
  std::vector<Frame> out = Expire(nowUs);
  if (bytes.empty()) return out;
  resting_ = false;
  lastByteUs_ = nowUs;
  for (std::uint8_t b : bytes) {
    if (discarding_) continue;
    buffer_.push_back(b);
    const auto length = RequestLength(buffer_);
    if (length && buffer_.size() == *length) {
      const bool ok = CrcMatches(buffer_);
      out.push_back({std::move(buffer_), ok});
      buffer_.clear();
      discarding_ = !ok;
    } else if (buffer_.size() >= kMaxFrameSize) {
      out.push_back({std::move(buffer_), false});
      buffer_.clear();
      discarding_ = true;
    }
  }
  return out;
}

std::vector<Frame> RtuFramer::Expire(std::int64_t nowUs) {
  std::vector<Frame> out;
  if (!resting_ && nowUs - lastByteUs_ >= gapUs_) EndAtGap(out);
  return out;
}

std::optional<std::int64_t> RtuFramer::Deadline() const {
  if (resting_) return std::nullopt;
  return lastByteUs_ + gapUs_;
}

void RtuFramer::EndAtGap(std::vector<Frame>& out) {
  if (carrier_ == Carrier::kStream && !discarding_ && LengthKnowable(buffer_)) {
    resting_ = true;  // the rest of the frame is still on its way
    return;
  }
  if (!discarding_ && !buffer_.empty()) {
    const bool ok = buffer_.size() >= kMinFrameSize && CrcMatches(buffer_);
    out.push_back({std::move(buffer_), ok});
  }
  buffer_.clear();
  discarding_ = false;
  resting_ = true;
}

}  // namespace torvex::sim
