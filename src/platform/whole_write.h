#pragma once
// Writing a piece (a row, a line) to a file that may fill up: all of it, or none of it left
// behind. A full disk takes what fits and refuses the rest; the rest is written again, so that
// the refusal and its reason show, and what of the piece reached a file is taken back, so the
// file never ends in a cut piece that the next one would run into.
#include <QByteArray>
#include <QIODevice>

namespace torvex {

struct WholeWrite {
  bool whole = true;       // every byte was written
  qint64 written = 0;      // bytes of the piece that reached the device before the refusal
  bool takenBack = false;  // those were taken back: the file ends as it did before
  int error = 0;           // the system's error number of the refusal (0 when it gave none)
};

// Writes bytes to device; a part refused by a file (QFileDevice) is taken back when it can be.
WholeWrite WriteWhole(QIODevice& device, const QByteArray& bytes);

}  // namespace torvex
