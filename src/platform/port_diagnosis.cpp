#include "platform/port_diagnosis.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QFile>

#include "platform/port_holder.h"
#include "platform/system_error_text.h"

namespace torvex {
namespace {

QString GroupName(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

QString UserName(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

// "rw-rw----", as ls shows them.
QString PermissionBits(mode_t mode) {
  QString bits;
  for (const int shift : {6, 3, 0}) {
    const unsigned who = (static_cast<unsigned>(mode) >> shift) & 7U;
    bits += (who & 4U) ? u'r' : u'-';
    bits += (who & 2U) ? u'w' : u'-';
    bits += (who & 1U) ? u'x' : u'-';
  }
  return bits;
}

// What a user without rights can do about a device: join its group when the group may read and
// write it (never root's group, which is not one a user is meant to join); otherwise only the
// device's owner, group and permissions can be named, for whoever can change them.
PortFault NoPermission(PortFault fault, const struct stat& st) {
  fault.owner = UserName(st.st_uid) + u':' + GroupName(st.st_gid);
  fault.permissions = PermissionBits(st.st_mode);
  if (st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
    fault.group = GroupName(st.st_gid);
  }
  return fault;
}

PortFault Fault(PortFault::Reason reason, const OpenFailure& failure) {
  PortFault fault;
  fault.reason = reason;
  fault.device = failure.shownAs.isEmpty() ? failure.device : failure.shownAs;
  return fault;
}

}  // namespace

std::optional<PortFault> HeldElsewhere(const QString& device, const QString& shownAs) {
  std::optional<PortHolder> holder = LockFileHolder(device);
  if (!holder) holder = ProcessHolding(device);
  if (!holder) return std::nullopt;
  PortFault fault;
  fault.reason = PortFault::Reason::InUse;
  fault.device = shownAs.isEmpty() ? device : shownAs;
  fault.pid = holder->pid;
  fault.program = holder->program;
  return fault;
}

PortFault DiagnoseOpenFailure(const OpenFailure& failure) {
  const QByteArray path = QFile::encodeName(failure.device);
  struct stat st {};
  if (::stat(path.constData(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
      return Fault(PortFault::Reason::NoSuchDevice, failure);
    }
    PortFault fault = Fault(PortFault::Reason::Other, failure);
    fault.systemText = SystemErrorText(errno);
    return fault;
  }
  if (!S_ISCHR(st.st_mode)) return Fault(PortFault::Reason::NotASerialPort, failure);
  if (::access(path.constData(), R_OK | W_OK) != 0) {
    return NoPermission(Fault(PortFault::Reason::NoPermission, failure), st);
  }
  if (auto held = HeldElsewhere(failure.device, Fault(PortFault::Reason::InUse, failure).device)) {
    return *held;
  }

  const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int openError = fd < 0 ? errno : 0;
  if (failure.refusedAccess) {
    if (fd >= 0) ::close(fd);
    // A lock file that names no live process holds nothing; it kept the port layer out only
    // because this user may not remove it.
    if (auto stale = StaleLockFile(failure.device)) {
      PortFault fault = Fault(PortFault::Reason::StaleLock, failure);
      fault.lockFile = stale->path;
      fault.pid = stale->pid;
      return fault;
    }
    // The device itself refuses: an exclusive claim whose holder this user cannot see.
    if (openError == EBUSY) return Fault(PortFault::Reason::Claimed, failure);
    return Fault(PortFault::Reason::InUse, failure);
  }

  // The device is there, may be used and is free. If it opens now, what failed was setting it
  // up: the line mode.
  if (fd < 0) {
    PortFault fault = Fault(PortFault::Reason::Other, failure);
    fault.systemText = SystemErrorText(openError);
    return fault;
  }
  const bool terminal = ::isatty(fd) != 0;
  ::close(fd);
  if (!terminal) return Fault(PortFault::Reason::NotASerialPort, failure);
  PortFault fault = Fault(PortFault::Reason::ModeRefused, failure);
  fault.mode = failure.mode;
  return fault;
}

}  // namespace torvex
