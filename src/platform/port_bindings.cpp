#include "platform/port_bindings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/port_path.h"
#include "platform/system_error_text.h"

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

// The failure names the path and the system's reason, in the window's language.
Result Fail(const QString& what) {
  return Result::Failed(what + QStringLiteral(": ") + SystemErrorText(errno));
}

// Someone else's file or folder at ports/comN is not ours to replace or remove.
Result NotALink(const QString& path, const QString& verb) {
  return Result::Failed(path + QStringLiteral(" не является ссылкой (это файл или папка); программа его не ") +
                        verb);
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

Result PortBindings::Bind(int number, const QString& target) const {
  if (!IsValidPortNumber(number)) {
    return Result::Failed(QStringLiteral("порта COM%1 не бывает (только COM1-COM255)").arg(number));
  }
  if (target.isEmpty()) return Result::Failed(QStringLiteral("не указано устройство"));
  const QString path = LinkPath(number);
  const Entry entry = Look(path);
  if (entry.exists && !entry.link) {
    return NotALink(path, QStringLiteral("заменяет"));
  }
  if (!QDir().mkpath(portsDir_)) {
    const QFileInfo ports(portsDir_);
    const QString why = ports.exists() && !ports.isDir() ? QStringLiteral("на её месте файл")
                                                         : WriteFailureText(portsDir_);
    return Result::Failed(QStringLiteral("не удалось создать папку ") + portsDir_ +
                          (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
  }
  // A new link under another name, then renamed over the old one: the port layer never sees
  // the number unbound in between.
  const QString temporary = portsDir_ + QStringLiteral("/.com") + QString::number(number) +
                            QStringLiteral(".new") + QString::number(::getpid());
  ::unlink(Local(temporary).c_str());
  if (::symlink(Local(target).c_str(), Local(temporary).c_str()) != 0) {
    return Fail(QStringLiteral("не удалось создать ссылку ") + path);
  }
  if (::rename(Local(temporary).c_str(), Local(path).c_str()) != 0) {
    const int error = errno;
    ::unlink(Local(temporary).c_str());
    errno = error;
    return Fail(QStringLiteral("не удалось создать ссылку ") + path);
  }
  return {};
}

Result PortBindings::Unbind(int number) const {
  if (!IsValidPortNumber(number)) return {};
  const QString path = LinkPath(number);
  const Entry entry = Look(path);
  if (!entry.exists) return {};
  if (!entry.link) return NotALink(path, QStringLiteral("удаляет"));
  if (::unlink(Local(path).c_str()) != 0 && errno != ENOENT) {
    return Fail(QStringLiteral("не удалось удалить ссылку ") + path);
  }
  return {};
}

std::optional<int> PortBindings::FirstFree(int first, int last) const {
  for (int number = std::max(first, kMinPortNumber); number <= std::min(last, kMaxPortNumber); ++number) {
    if (!Look(LinkPath(number)).exists) return number;
  }
  return std::nullopt;
}

}  // namespace torvex
