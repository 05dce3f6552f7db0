#pragma once
// Saving a file whole, so that a failure is never taken for a success: the new contents go to
// a temporary file beside the old one, every byte is checked on its way to the disk (a full
// disk, a quota or a size limit refuses some of them), and only then does the new file replace
// the old one, in one step. On any failure the old file stays as it was and the reason is said
// in the operator's words.
#include <QByteArray>
#include <QString>

#include "platform/result.h"

namespace torvex {

// What to do when the file's folder does not let a temporary file be made beside it.
enum class LockedFolder {
  kRefuse,        // fail: nothing is written
  kWriteInPlace,  // write the file itself in place (a failure then may leave it cut)
};

// Saves bytes as the whole file at path. The failure's reason leaves out the file's own path
// ("нет места на диске", "нет прав на запись в папку /srv/x").
Result SaveWholeFile(const QString& path, const QByteArray& bytes,
                     LockedFolder locked = LockedFolder::kRefuse);

}  // namespace torvex
