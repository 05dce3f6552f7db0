#pragma once
// Which other program holds a serial device: by its lock file (the UUCP convention that Qt,
// minicom and others follow) or, for a program that takes no lock, by the open descriptors
// under /proc, as far as Linux lets this user see them.
#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

namespace torvex {

struct PortHolder {
  std::int64_t pid = 0;
  QString program;  // empty when it cannot be read
  friend bool operator==(const PortHolder&, const PortHolder&) = default;
};

// Where lock files of serial devices are kept, in the order programs look for them.
QStringList DefaultLockDirs();

// The lock file's name for a device: "LCK.." and the path below /dev with "/" as "_"
// (/dev/ttyUSB0: LCK..ttyUSB0, /dev/pts/3: LCK..pts_3).
QString LockFileName(const QString& device);

// The live process, other than this one, whose lock file names `device` (its real path). The
// file holds the process number in text, alone (Qt adds the program and host names on further
// lines) or right-aligned in ten places (UUCP). A number of a process that has ended is stale.
// A process that this user may not signal (another user's) lives.
std::optional<PortHolder> LockFileHolder(const QString& device,
                                         const QStringList& lockDirs = DefaultLockDirs());

struct StaleLock {
  QString path;      // the lock file
  std::int64_t pid;  // the process it names, which is gone
  friend bool operator==(const StaleLock&, const StaleLock&) = default;
};

// A lock file for `device` whose process has ended, whoever wrote it: it holds nothing, but a
// program that may not remove it (another user's file in the shared lock folder) is kept out.
std::optional<StaleLock> StaleLockFile(const QString& device,
                                       const QStringList& lockDirs = DefaultLockDirs());

// A process, other than this one, with `device` (its real path) open. The other end of a
// pseudo-terminal (the process holding its master, such as the simulator, which also keeps the
// terminal itself open so that the line stays up) is its owner, not a competitor, and is left
// out. Processes of other users are seen only by root.
std::optional<PortHolder> ProcessHolding(const QString& device,
                                         const QString& procDir = QStringLiteral("/proc"));

// The program name of a process (/proc/PID/comm); empty when it cannot be read.
QString ProgramOf(std::int64_t pid, const QString& procDir = QStringLiteral("/proc"));

}  // namespace torvex
