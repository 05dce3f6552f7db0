#include "platform/port_bindings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/port_path.h"

namespace torvex {
namespace {

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Whether there is an entry at path, and whether it is a symbolic link.
struct Entry {
  bool exists = false;
  bool link = false;
};
Entry Look(const QString& path) {
  struct stat st {};
  if (::lstat(Local(path).c_str(), &st) != 0) return {};
  return {true, S_ISLNK(st.st_mode)};
}

QString ReadLink(const QString& path) {
  char buffer[4096];
  const ssize_t n = ::readlink(Local(path).c_str(), buffer, sizeof buffer - 1);
  return n > 0 ? QFile::decodeName(QByteArray(buffer, static_cast<int>(n))) : QString();
}

[[noreturn]] void Fail(const QString& what) {
  throw BindingError(what.toStdString() + ": " + std::strerror(errno));
}

}  // namespace

PortBindings::PortBindings(const QString& settingsDir)
    : portsDir_(QDir(settingsDir).filePath(QStringLiteral("ports"))) {}

QString PortBindings::LinkPath(int number) const {
  return portsDir_ + QStringLiteral("/com") + QString::number(number);
}

std::vector<PortBinding> PortBindings::List() const {
  std::vector<PortBinding> bindings;
  for (int number = kMinPortNumber; number <= kMaxPortNumber; ++number) {
    if (auto binding = Find(number)) bindings.push_back(*binding);
  }
  return bindings;
}

std::optional<PortBinding> PortBindings::Find(int number) const {
  if (!IsValidPortNumber(number)) return std::nullopt;
  const QString path = LinkPath(number);
  if (!Look(path).link) return std::nullopt;
  return PortBinding{number, ReadLink(path), QFileInfo(path).canonicalFilePath()};
}

void PortBindings::Bind(int number, const QString& target) const {
  if (!IsValidPortNumber(number)) throw BindingError("no COM number " + std::to_string(number));
  if (target.isEmpty()) throw BindingError("nothing to bind to");
  const QString path = LinkPath(number);
  const Entry entry = Look(path);
  if (entry.exists && !entry.link) {
    throw BindingError(Local(path) + " is not a link; not replacing it");
  }
  if (!QDir().mkpath(portsDir_)) {
    errno = EACCES;
    Fail(QStringLiteral("cannot create ") + portsDir_);
  }
  // A new link under another name, then renamed over the old one: the port layer never sees
  // the number unbound in between.
  const QString temporary = portsDir_ + QStringLiteral("/.com") + QString::number(number) +
                            QStringLiteral(".new") + QString::number(::getpid());
  ::unlink(Local(temporary).c_str());
  if (::symlink(Local(target).c_str(), Local(temporary).c_str()) != 0) {
    Fail(QStringLiteral("cannot make ") + path);
  }
  if (::rename(Local(temporary).c_str(), Local(path).c_str()) != 0) {
    const int error = errno;
    ::unlink(Local(temporary).c_str());
    errno = error;
    Fail(QStringLiteral("cannot make ") + path);
  }
}

void PortBindings::Unbind(int number) const {
  if (!IsValidPortNumber(number)) return;
  const QString path = LinkPath(number);
  const Entry entry = Look(path);
  if (!entry.exists) return;
  if (!entry.link) throw BindingError(Local(path) + " is not a link; not removing it");
  if (::unlink(Local(path).c_str()) != 0 && errno != ENOENT) Fail(QStringLiteral("cannot remove ") + path);
}

std::optional<int> PortBindings::FirstFree(int first, int last) const {
  for (int number = std::max(first, kMinPortNumber); number <= std::min(last, kMaxPortNumber); ++number) {
    if (!Look(LinkPath(number)).exists) return number;
  }
  return std::nullopt;
}

}  // namespace torvex
