#pragma once
// Cuts the byte stream of a serial line into Modbus RTU frames. A frame ends when its length
// is complete (known for every request function the controller meets) or when the line has
// been silent for the frame gap. A frame whose CRC fails makes the framer drop everything up
// to the next gap: that is how an RTU slave finds the start of the next frame after noise.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/modbus.h"

namespace torvex::sim {

struct Frame {
  Bytes bytes;
  bool crcOk = false;
};

// Total length of a request frame from its first bytes, when its function fixes it; nothing
// while the bytes that tell it have not arrived or for a function of unknown layout.
std::optional<std::size_t> RequestLength(std::span<const std::uint8_t> head);

class RtuFramer {
 public:
  enum class Carrier { kLine, kStream };

  explicit RtuFramer(std::int64_t gapUs, Carrier carrier = Carrier::kLine)
      : gapUs_(gapUs), carrier_(carrier) {}

  // Bytes that were read together at `nowUs`; returns the frames they (and the silence
  // before them) completed, in line order.
  std::vector<Frame> Feed(std::span<const std::uint8_t> bytes, std::int64_t nowUs);
  // Ends what the line's silence has ended by `nowUs`.
  std::vector<Frame> Expire(std::int64_t nowUs);
  // When the current silence would end a frame; nothing while the line rests.
  std::optional<std::int64_t> Deadline() const;

 private:
  void EndAtGap(std::vector<Frame>& out);

  std::int64_t gapUs_;
  Carrier carrier_;
  Bytes buffer_;
  bool discarding_ = false;  // after a bad frame, until the next gap
  bool resting_ = true;      // no byte since the last gap
  std::int64_t lastByteUs_ = 0;
};

}  // namespace torvex::sim
