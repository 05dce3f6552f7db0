#pragma once
// Numbers to text without the C locale: what the simulator prints is read by scripts and tests.
#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>

namespace torvex::sim {

template <std::integral T>
std::string Dec(T value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// A value counted in tenths, written with one decimal: -5 gives "-0.5", 1385 gives "138.5".
inline std::string Tenths(std::int64_t tenths) {
  const std::int64_t magnitude = tenths < 0 ? -tenths : tenths;
  return (tenths < 0 ? "-" : "") + Dec(magnitude / 10) + "." + Dec(magnitude % 10);
}

// A signed percentage in its shortest form: 5 gives "+5%", -2.5 gives "-2.5%".
inline std::string Percent(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return (value > 0 ? "+" : "") + std::string(buffer, result.ptr) + "%";
}

}  // namespace torvex::sim
