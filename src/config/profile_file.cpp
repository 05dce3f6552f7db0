#include "config/profile_file.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>

namespace torvex {
namespace {

// SimpleIni keeps a comment with the entry that follows it, so comments after the last entry
// would be lost on saving. A marker section appended while loading gives them an entry to
// belong to; it is taken out again before the file is written. No one writes this name.
constexpr std::string_view kTailMarker = "\x01torvex end of file";

constexpr std::string_view kNativeNewline = SI_NEWLINE_A;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The file as loaded; empty when there is none.
struct Profile {
  explicit Profile(const QString& path);

  CSimpleIniA ini{false, true, false};  // duplicate keys kept; the first is read, as Windows does
  // The file's line end, as its first line has it; a new file gets the platform's.
  bool crlf = kNativeNewline == "\r\n";
};

// SimpleIni takes a line that opens a section but has no "]" for the start of the name of the
// section of the keys after it, up to the next key's "="; a save writes that name back, and the
// file grows by a line with every save. Such a line names no section, so it is dropped, and the
// keys after it stay where they were: in the section before it.
std::string WithoutOpenSectionLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view line = text.substr(0, end);
    const std::size_t first = line.find_first_not_of(" \t");
    const bool open = first != std::string_view::npos && line[first] == '[' &&
                      line.find(']', first) == std::string_view::npos;
    if (!open) out += line;
    if (end < text.size()) out += text[end];  // the line break as it is
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return out;
}

// The file's bytes; nullopt when there is no file.
std::optional<QByteArray> ReadBytes(const QString& path) {
  if (!QFileInfo::exists(path)) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw ProfileError("cannot open " + path.toStdString() + ": " +
                       file.errorString().toStdString());
  }
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw ProfileError("cannot read " + path.toStdString() + ": " +
                       file.errorString().toStdString());
  }
  // SimpleIni stops at a NUL byte, and a save would drop everything after it (a UTF-16 or
  // binary file): such a file is not ours to rewrite.
  if (bytes.contains('\0')) throw ProfileError(path.toStdString() + " is not a text file");
  return bytes;
}

Profile::Profile(const QString& path) {
  ini.SetSpaces(false);
  const std::optional<QByteArray> bytes = ReadBytes(path);
  if (!bytes) return;

  const qsizetype firstBreak = bytes->indexOf('\n');
  if (firstBreak >= 0) crlf = firstBreak > 0 && bytes->at(firstBreak - 1) == '\r';

  std::string_view content(bytes->constData(), static_cast<std::size_t>(bytes->size()));
  // A UTF-8 byte-order mark (Notepad writes one) is not part of the first line; SimpleIni reads
  // past it too, and a save never writes it back.
  if (content.starts_with(kUtf8Mark)) content.remove_prefix(kUtf8Mark.size());
  std::string text = WithoutOpenSectionLines(content);
  text += '\n';
  text += '[';
  text += kTailMarker;
  text += "]\n";
  if (ini.LoadData(text) < 0) throw ProfileError("cannot parse " + path.toStdString());
}

// Whether the marker carries comments to keep; a marker without any is dropped here.
bool KeepTail(CSimpleIniA& ini) {
  const std::string marker(kTailMarker);
  CSimpleIniA::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const auto& section : sections) {
    if (marker == section.pItem && section.pComment) return true;
  }
  ini.Delete(marker.c_str(), nullptr);
  return false;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string Serialize(CSimpleIniA& ini, bool crlf) {
  const bool tail = KeepTail(ini);
  std::string out;
  if (ini.Save(out, false) < 0) throw ProfileError("cannot serialize the profile");
  if (tail) {
    const std::string line = "[" + std::string(kTailMarker) + "]" + std::string(kNativeNewline);
    ReplaceAll(out, line, "");
  }
  // No value or comment holds a line break of its own (the parser splits lines at CR and LF
  // alike), so every break here is a line end.
  ReplaceAll(out, "\r\n", "\n");
  if (crlf) ReplaceAll(out, "\n", "\r\n");
  return out;
}

// The spelling the file already uses for key, so that writing "COM" keeps a hand-written "com".
std::string KeySpelling(const CSimpleIniA& ini, const std::string& section,
                        const std::string& key) {
  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys(section.c_str(), keys);
  const SI_NoCase<char> less;
  for (const auto& entry : keys) {
    if (!less(entry.pItem, key.c_str()) && !less(key.c_str(), entry.pItem)) return entry.pItem;
  }
  return key;
}

QString Cut(QString value) {
  if (value.size() <= kIniValueLimit) return value;
  qsizetype length = kIniValueLimit;
  if (value.at(length - 1).isHighSurrogate()) --length;  // never half a character
  value.truncate(length);
  return value;
}

}  // namespace

QString ReadIni(const QString& path, const QString& section, const QString& key,
                const QString& fallback) {
  const Profile profile(path);
  const char* value =
      profile.ini.GetValue(section.toUtf8().constData(), key.toUtf8().constData(), nullptr);
  return Cut(value ? QString::fromUtf8(value) : fallback);
}

void WriteIni(const QString& path, const QString& section, const QString& key,
              const QString& value) {
  QString line = value;
  line.replace(u'\r', u' ').replace(u'\n', u' ');

  Profile profile(path);
  const std::string sectionName = section.toUtf8().toStdString();
  const std::string keyName = KeySpelling(profile.ini, sectionName, key.toUtf8().toStdString());
  if (profile.ini.SetValue(sectionName.c_str(), keyName.c_str(), line.toUtf8().constData(),
                           nullptr, true) < 0) {
    throw ProfileError("cannot set " + keyName);
  }
  const std::string out = Serialize(profile.ini, profile.crlf);

  QSaveFile file(path);
  file.setDirectWriteFallback(true);  // a writable file in a directory we may not write to
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(out.data(), static_cast<qint64>(out.size())) != static_cast<qint64>(out.size()) ||
      !file.commit()) {
    throw ProfileError("cannot write " + path.toStdString() + ": " +
                       file.errorString().toStdString());
  }
}

}  // namespace torvex
