#include "platform/port_holder.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace torvex {
namespace {

bool IsProcessNumber(std::int64_t pid) { return pid > 0 && pid <= INT32_MAX; }

// EPERM: the process is there, it is only another user's.
bool IsAlive(std::int64_t pid) {
  if (!IsProcessNumber(pid)) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool IsGone(std::int64_t pid) {
  return IsProcessNumber(pid) && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::optional<std::int64_t> LeadingNumber(const QByteArray& text) {
  const QByteArray trimmed = text.trimmed();
  std::int64_t value = 0;
  const char* end = trimmed.constData() + trimmed.size();
  const auto [stop, ec] = std::from_chars(trimmed.constData(), end, value);
  if (ec != std::errc{} || stop == trimmed.constData()) return std::nullopt;
  return value;
}

QString LinkTarget(const QString& path) {
  char buffer[4096];
  const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return QFile::decodeName(QByteArray(buffer, static_cast<int>(n)));
}

// The pseudo-terminal number N of /dev/pts/N; nullopt for any other device.
std::optional<int> PtyIndex(const QString& device) {
  static const QString kPts = QStringLiteral("/dev/pts/");
  if (!device.startsWith(kPts)) return std::nullopt;
  bool ok = false;
  const int index = device.mid(kPts.size()).toInt(&ok);
  return ok ? std::optional<int>(index) : std::nullopt;
}

// Whether the process holds the master of pseudo-terminal `index` (the kernel names it in the
// descriptor's fdinfo as tty-index).
bool HoldsPtyMaster(const QString& fdDir, const QString& fdinfoDir, int index) {
  const QStringList fds = QDir(fdDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
  const QByteArray wanted = "tty-index:\t" + QByteArray::number(index) + '\n';
  for (const QString& fd : fds) {
    const QString target = LinkTarget(fdDir + u'/' + fd);
    if (target != QLatin1String("/dev/ptmx") && target != QLatin1String("/dev/pts/ptmx")) continue;
    QFile info(fdinfoDir + u'/' + fd);
    if (info.open(QIODevice::ReadOnly) && info.readAll().contains(wanted)) return true;
  }
  return false;
}

// The process number in a lock file; nullopt when there is no such file or no number in it.
std::optional<std::int64_t> LockFilePid(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray text = file.read(256);
  const qsizetype end = text.indexOf('\n');
  return LeadingNumber(text.left(end < 0 ? text.size() : end));
}

}  // namespace

QStringList DefaultLockDirs() {
  return {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QStringLiteral("/etc/locks"),
          QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
          QDir::tempPath()};
}

QString LockFileName(const QString& device) {
  QString name = device;
  if (name.startsWith(QLatin1String("/dev/"))) name.remove(0, 5);
  name.replace(u'/', u'_');
  return QStringLiteral("LCK..") + name;
}

std::optional<PortHolder> LockFileHolder(const QString& device, const QStringList& lockDirs) {
  const QString name = LockFileName(device);
  for (const QString& dir : lockDirs) {
    const auto pid = LockFilePid(dir + u'/' + name);
    if (pid && *pid != ::getpid() && IsAlive(*pid)) return PortHolder{*pid, ProgramOf(*pid)};
  }
  return std::nullopt;
}

std::optional<StaleLock> StaleLockFile(const QString& device, const QStringList& lockDirs) {
  const QString name = LockFileName(device);
  for (const QString& dir : lockDirs) {
    const QString path = dir + u'/' + name;
    const auto pid = LockFilePid(path);
    if (pid && IsGone(*pid)) return StaleLock{path, *pid};
  }
  return std::nullopt;
}

std::optional<PortHolder> ProcessHolding(const QString& device, const QString& procDir) {
  const std::optional<int> ptyIndex = PtyIndex(device);
  const QStringList entries = QDir(procDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    bool numeric = false;
    const std::int64_t pid = entry.toLongLong(&numeric);
    if (!numeric || pid == ::getpid()) continue;
    const QString fdDir = procDir + u'/' + entry + QStringLiteral("/fd");
    // Only the processes this user may look into; the others are not ours to know.
    const QStringList fds = QDir(fdDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    bool holds = false;
    for (const QString& fd : fds) {
      if (LinkTarget(fdDir + u'/' + fd) == device) {
        holds = true;
        break;
      }
    }
    if (!holds) continue;
    if (ptyIndex && HoldsPtyMaster(fdDir, procDir + u'/' + entry + QStringLiteral("/fdinfo"), *ptyIndex)) {
      continue;
    }
    return PortHolder{pid, ProgramOf(pid, procDir)};
  }
  return std::nullopt;
}

QString ProgramOf(std::int64_t pid, const QString& procDir) {
  QFile comm(procDir + u'/' + QString::number(pid) + QStringLiteral("/comm"));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(comm.readAll()).trimmed();
}

}  // namespace torvex
