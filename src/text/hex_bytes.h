#pragma once
// Bytes as an engineer reads a frame: upper-case hex pairs separated by blanks, "07 03 0B B8".
// The exchange log, the saved rows and the monitor's table all write them so.
#include <cstddef>
#include <cstdint>
#include <span>

#include <QString>

namespace torvex {

// "-" when there are none; beyond `shown` bytes, " …" stands for the rest.
QString HexBytes(std::span<const std::uint8_t> bytes,
                 std::size_t shown = static_cast<std::size_t>(-1));

}  // namespace torvex
