#pragma once
// Whether the tool may keep its files in a folder.
#include <QString>

namespace torvex {

// True when files may be created in dir: it is a folder outside /usr (the system's programs
// are never written beside, whoever runs them), its permission bits do not write-protect it
// for everyone, and a probe file really can be created and removed there (which also sees
// read-only mounts, access lists and missing rights). The permission bits count for root too,
// who could write anyway: a folder that its owner made read-only is left alone, as rm asks
// before removing a write-protected file.
bool IsWritableFolder(const QString& dir);

}  // namespace torvex
