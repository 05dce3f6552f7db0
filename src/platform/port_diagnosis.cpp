#include "platform/port_diagnosis.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFile>

#include "platform/port_holder.h"

namespace torvex {
namespace {

QString GroupName(gid_t gid) {
  if (gid == 0) return {};  // a device of root's group is not one a user is meant to join
  const group* entry = ::getgrgid(gid);
  return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
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
    fault.systemText = QString::fromLocal8Bit(std::strerror(errno));
    return fault;
  }
  if (!S_ISCHR(st.st_mode)) return Fault(PortFault::Reason::NotASerialPort, failure);
  if (::access(path.constData(), R_OK | W_OK) != 0) {
    PortFault fault = Fault(PortFault::Reason::NoPermission, failure);
    fault.group = GroupName(st.st_gid);
    return fault;
  }
  if (auto held = HeldElsewhere(failure.device, Fault(PortFault::Reason::InUse, failure).device)) {
    return *held;
  }
  // Held, but not by a process this user can see: a claim (TIOCEXCL) of another user's program.
  if (failure.refusedAccess) return Fault(PortFault::Reason::InUse, failure);

  // The device is there, may be used and is free. If it opens now, what failed was setting it
  // up: the line mode.
  const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    PortFault fault = Fault(PortFault::Reason::Other, failure);
    fault.systemText = QString::fromLocal8Bit(std::strerror(errno));
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
