#pragma once
// What the simulator received, read back from its trace (torvex-sim --trace) for end-to-end
// tests that compare the tool's frames with the controller's view of the line.
#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "support/frames.h"

namespace torvex::test {

// A frame the simulator received and what it did with it ("answered", "kept silent", ...).
struct Received {
  Bytes frame;
  QString verdict;
};

// The trace lines "<seconds> <- 07 06 0B B8 00 01 CA 6D  (answered)"; other lines are skipped.
inline std::vector<Received> ReceivedBySim(const QString& trace) {
  std::vector<Received> frames;
  for (const QString& line : trace.split('\n')) {
    const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
    if (parts.size() < 3 || parts[1] != "<-") continue;
    Received r;
    int i = 2;
    for (; i < parts.size() && !parts[i].startsWith('('); ++i) {
      r.frame.push_back(static_cast<std::uint8_t>(parts[i].toUInt(nullptr, 16)));
    }
    r.verdict = parts.mid(i).join(' ').mid(1).chopped(1);
    frames.push_back(r);
  }
  return frames;
}

}  // namespace torvex::test
