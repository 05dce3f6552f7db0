#pragma once
// Where the port COMn is on this machine.
#include <optional>

#include <QString>

namespace torvex {

constexpr int kMinPortNumber = 1;
constexpr int kMaxPortNumber = 255;

constexpr bool IsValidPortNumber(int number) {
  return number >= kMinPortNumber && number <= kMaxPortNumber;
}

// The device of COMn: the entry ports/comN in the settings folder when there is one (a
// symbolic link to an adapter or to a simulator's pseudo-terminal, even a dangling one, which
// then fails to open rather than falling through to another device), otherwise the built-in
// port /dev/ttyS<N-1>. nullopt for a number outside 1-255.
std::optional<QString> PortDevicePath(const QString& programDir, int number);

}  // namespace torvex
