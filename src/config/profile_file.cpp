#include "config/profile_file.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include "platform/system_error_text.h"

namespace torvex {
namespace {

constexpr std::string_view kNativeNewline = SI_NEWLINE_A;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The file as loaded; empty when there is none.
struct Profile {
  explicit Profile(const QString& path);

  CSimpleIniA ini{false, true, false};  // duplicate keys kept; the first is read, as Windows does
};

// A line that opens a section but has no "]" names no section: the keys after it stay where they
// were, in the section before it. SimpleIni would take it for the start of a section name, so
// the reader drops it; the writer keeps it where it is.
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
                           file.errorString().toStdString(),
                       ReadFailureText(path));
  }
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw ProfileError("cannot read " + path.toStdString() + ": " +
                           file.errorString().toStdString(),
                       ReadFailureText(path));
  }
  // SimpleIni stops at a NUL byte, so what follows one would be unseen (a UTF-16 or binary
  // file): such a file is not ours to read or rewrite.
  if (bytes.contains('\0')) {
    throw ProfileError(path.toStdString() + " is not a text file",
                       QStringLiteral("это не текстовый файл"));
  }
  return bytes;
}

Profile::Profile(const QString& path) {
  const std::optional<QByteArray> bytes = ReadBytes(path);
  if (!bytes) return;

  std::string_view content(bytes->constData(), static_cast<std::size_t>(bytes->size()));
  // A UTF-8 byte-order mark (Notepad writes one) is not part of the first line.
  if (content.starts_with(kUtf8Mark)) content.remove_prefix(kUtf8Mark.size());
  const std::string text = WithoutOpenSectionLines(content);
  if (ini.LoadData(text) < 0) {
    throw ProfileError("cannot parse " + path.toStdString(),
                       QStringLiteral("файл не читается как файл настроек"));
  }
}

// The file's lines as the reader above sees them, for a write that changes one line and keeps
// every other byte: a line opens a section when its first character (after blanks) is "[" and
// a "]" follows; it is a comment when that character is ";" or "#"; it holds a key when an "="
// follows at least one other character. CR LF, LF and a lone CR each end a line.
struct Line {
  std::string_view text;
  std::string_view end;  // the line break as it is; empty on a last line without one
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  while (!content.empty()) {
    const std::size_t stop = std::min(content.find_first_of("\r\n"), content.size());
    std::size_t breakLength = 0;
    if (stop < content.size()) {
      breakLength = content.compare(stop, 2, "\r\n") == 0 ? 2 : 1;
    }
    lines.push_back({content.substr(0, stop), content.substr(stop, breakLength)});
    content.remove_prefix(stop + breakLength);
  }
  return lines;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// The section a line opens, or nullopt.
std::optional<std::string_view> SectionOf(std::string_view line) {
  const std::string_view text = Trimmed(line);
  if (!text.starts_with('[')) return std::nullopt;
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trimmed(text.substr(1, close - 1));
}

// The key a line holds, as it is spelled there, or nullopt.
std::optional<std::string_view> KeyOf(std::string_view line) {
  const std::string_view text = Trimmed(line);
  if (text.empty() || text[0] == ';' || text[0] == '#' || text[0] == '[') return std::nullopt;
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  return Trimmed(text.substr(0, equals));
}

// The file with key in section set to value, every other line as it was: the first line of the
// key in the section is rewritten (keeping its indentation and spelling); a missing key goes
// below the last key of the section's first block; a missing section goes at the end.
std::string WithValue(std::string_view content, bool crlf, std::string_view section,
                      std::string_view key, std::string_view value) {
  const std::string_view newline = crlf ? "\r\n" : "\n";
  std::vector<Line> lines = SplitLines(content);

  std::optional<std::size_t> keyLine;
  std::optional<std::size_t> insertAfter;  // the header or last key line of the first block
  bool inFirstBlock = false;
  bool sectionSeen = false;
  std::string_view current;  // keys before any section line belong to the nameless one
  bool inSection = section.empty();
  if (inSection) {
    sectionSeen = true;
    inFirstBlock = true;
  }
  for (std::size_t i = 0; i < lines.size() && !keyLine; ++i) {
    if (const auto name = SectionOf(lines[i].text)) {
      current = *name;
      inSection = SameName(current, section);
      inFirstBlock = inSection && !sectionSeen;
      if (inFirstBlock) insertAfter = i;
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    const auto name = KeyOf(lines[i].text);
    if (!name || !inSection) continue;
    if (SameName(*name, key)) keyLine = i;
    if (inFirstBlock) insertAfter = i;
  }

  std::string out;
  out.reserve(content.size() + key.size() + value.size() + section.size() + 8);
  const auto append = [&out](std::string_view text) { out.append(text.data(), text.size()); };
  const auto appendEntry = [&](std::string_view prefix, std::string_view spelling) {
    append(prefix);
    append(spelling);
    append("=");
    append(value);
  };

  if (!sectionSeen) {
    for (const Line& line : lines) {
      append(line.text);
      append(line.end.empty() ? newline : line.end);
    }
    append("[");
    append(section);
    append("]");
    append(newline);
    appendEntry({}, key);
    append(newline);
    return out;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (keyLine && i == *keyLine) {
      const std::size_t indent = line.text.find_first_not_of(" \t");
      appendEntry(line.text.substr(0, indent), *KeyOf(line.text));
      append(line.end);
      continue;
    }
    append(line.text);
    if (!keyLine && insertAfter && i == *insertAfter) {
      append(line.end.empty() ? newline : line.end);
      appendEntry({}, key);
      append(line.end.empty() ? std::string_view() : newline);
      continue;
    }
    append(line.end);
  }
  if (!keyLine && !insertAfter) {  // the nameless section, which has no line of its own
    std::string head;
    head.append(key);
    head += '=';
    head.append(value);
    head.append(newline);
    out.insert(0, head);
  }
  return out;
}

// A value in double or single quotes is read without them, as the profile service reads it:
// COM="3" is port 3.
QString Unquoted(QString value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    value = value.mid(1, value.size() - 2);
  }
  return value;
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
  return Cut(value ? Unquoted(QString::fromUtf8(value)) : fallback);
}

void WriteIni(const QString& path, const QString& section, const QString& key,
              const QString& value) {
  QString line = value;
  line.replace(u'\r', u' ').replace(u'\n', u' ');

  const std::optional<QByteArray> bytes = ReadBytes(path);
  std::string_view content;
  bool crlf = kNativeNewline == "\r\n";
  if (bytes) {
    content = std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size()));
    const std::size_t firstBreak = content.find('\n');
    if (firstBreak != std::string_view::npos) crlf = firstBreak > 0 && content[firstBreak - 1] == '\r';
    // A UTF-8 byte-order mark (Notepad writes one) is not written back, as the profile service
    // writes none.
    if (content.starts_with(kUtf8Mark)) content.remove_prefix(kUtf8Mark.size());
  }
  const std::string out = WithValue(content, crlf, section.toUtf8().toStdString(),
                                    key.toUtf8().toStdString(), line.toUtf8().toStdString());

  QSaveFile file(path);
  file.setDirectWriteFallback(true);  // a writable file in a directory we may not write to
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(out.data(), static_cast<qint64>(out.size())) != static_cast<qint64>(out.size()) ||
      !file.commit()) {
    throw ProfileError("cannot write " + path.toStdString() + ": " +
                           file.errorString().toStdString(),
                       WriteFailureText(path));
  }
}

}  // namespace torvex
