#include "config/profile_file.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QFileInfo>

#include "platform/checked_save.h"
#include "platform/file_bytes.h"

namespace torvex {
namespace {

#ifdef Q_OS_WIN
constexpr std::string_view kNativeNewline = "\r\n";
#else
constexpr std::string_view kNativeNewline = "\n";
#endif
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

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

// One line of the file. Reading and writing both go by this one parse, so a value is read from
// the very line a save rewrites. CR LF, LF and a lone CR each end a line. After blanks, "[" with
// a "]" later on the line opens a section ("[" without one opens none: the keys after it stay
// in the section before it); ";" or "#" starts a comment; a line holds a key when an "="
// follows at least one other character. Anything else is kept and means nothing.
struct Line {
  std::string_view text;
  std::string_view end;                     // the line break as it is; empty on a last line without one
  std::optional<std::string_view> section;  // the section the line opens
  std::optional<std::string_view> key;      // the key the line holds, as it is spelled there
};

std::optional<std::string_view> SectionOf(std::string_view line) {
  const std::string_view text = Trimmed(line);
  if (!text.starts_with('[')) return std::nullopt;
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trimmed(text.substr(1, close - 1));
}

std::optional<std::string_view> KeyOf(std::string_view line) {
  const std::string_view text = Trimmed(line);
  if (text.empty() || text[0] == ';' || text[0] == '#' || text[0] == '[') return std::nullopt;
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  return Trimmed(text.substr(0, equals));
}

// The value on a key's line, without the blanks around it.
std::string_view ValueOf(std::string_view line) { return Trimmed(line.substr(line.find('=') + 1)); }

std::vector<Line> Parse(std::string_view content) {
  std::vector<Line> lines;
  while (!content.empty()) {
    const std::size_t stop = std::min(content.find_first_of("\r\n"), content.size());
    std::size_t breakLength = 0;
    if (stop < content.size()) breakLength = content.compare(stop, 2, "\r\n") == 0 ? 2 : 1;
    const std::string_view text = content.substr(0, stop);
    lines.push_back({text, content.substr(stop, breakLength), SectionOf(text), KeyOf(text)});
    content.remove_prefix(stop + breakLength);
  }
  return lines;
}

// Where a key of a section is. A section may appear more than once (its blocks make one
// section); keys before any section line belong to the nameless one, "".
struct Place {
  bool sectionFound = false;
  std::optional<std::size_t> keyLine;      // the key's first line in the section
  std::optional<std::size_t> insertAfter;  // the header or last key line of its first block
};

Place Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Place place;
  bool inSection = section.empty();
  bool inFirstBlock = inSection;
  place.sectionFound = inSection;
  for (std::size_t i = 0; i < lines.size() && !place.keyLine; ++i) {
    const Line& line = lines[i];
    if (line.section) {
      inSection = SameName(*line.section, section);
      inFirstBlock = inSection && !place.sectionFound;
      if (inFirstBlock) place.insertAfter = i;
      place.sectionFound = place.sectionFound || inSection;
      continue;
    }
    if (!line.key || !inSection) continue;
    if (SameName(*line.key, key)) place.keyLine = i;
    if (inFirstBlock) place.insertAfter = i;
  }
  return place;
}

// No configuration file is this long; a longer one is not read.
constexpr qint64 kMaxProfileSize = 1 << 20;

// The file's bytes; nullopt when there is no file.
std::optional<QByteArray> ReadBytes(const QString& path) {
  if (!QFileInfo::exists(path)) return std::nullopt;
  FileBytes read = ReadFileBytes(path, kMaxProfileSize);
  if (read.failure == FileBytes::Failure::kTooBig) {
    throw ProfileError(path.toStdString() + " is too long",
                       QStringLiteral("файл слишком велик для файла настроек (%1 байт)").arg(read.size));
  }
  if (!read.Ok()) throw ProfileError("cannot read " + path.toStdString(), read.reason);
  // A NUL byte means a UTF-16 or binary file: such a file is not ours to read or rewrite.
  if (read.bytes.contains('\0')) {
    throw ProfileError(path.toStdString() + " is not a text file",
                       QStringLiteral("это не текстовый файл"));
  }
  return std::move(read.bytes);
}

// The file as loaded and parsed; no lines when there is no file.
class Profile {
 public:
  explicit Profile(const QString& path) : bytes_(ReadBytes(path)) {
    if (!bytes_) return;
    content_ = std::string_view(bytes_->constData(), static_cast<std::size_t>(bytes_->size()));
    const std::size_t firstBreak = content_.find('\n');
    if (firstBreak != std::string_view::npos) crlf_ = firstBreak > 0 && content_[firstBreak - 1] == '\r';
    // A UTF-8 byte-order mark (Notepad writes one) is not part of the first line, and is not
    // written back, as the profile service writes none.
    if (content_.starts_with(kUtf8Mark)) content_.remove_prefix(kUtf8Mark.size());
    lines_ = Parse(content_);
  }
  Profile(const Profile&) = delete;  // the lines point into bytes_
  Profile& operator=(const Profile&) = delete;

  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const {
    const Place place = Find(lines_, section, key);
    if (!place.keyLine) return std::nullopt;
    return ValueOf(lines_[*place.keyLine].text);
  }

  // The file with key in section set to value, every other line as it was: the key's first
  // line in the section is rewritten (keeping its indentation and spelling); a missing key goes
  // below the last key of the section's first block; a missing section goes at the end. A new
  // line ends as the file's first line does (a new file's as the platform's).
  std::string WithValue(std::string_view section, std::string_view key, std::string_view value) const {
    const std::string_view newline = crlf_ ? "\r\n" : "\n";
    const Place place = Find(lines_, section, key);

    std::string out;
    out.reserve(content_.size() + key.size() + value.size() + section.size() + 8);
    const auto append = [&out](std::string_view text) { out.append(text.data(), text.size()); };
    const auto appendEntry = [&](std::string_view indent, std::string_view spelling) {
      append(indent);
      append(spelling);
      append("=");
      append(value);
    };

    if (!place.sectionFound) {
      for (const Line& line : lines_) {
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
    if (!place.keyLine && !place.insertAfter) {  // the nameless section, which has no line of its own
      appendEntry({}, key);
      append(newline);
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const Line& line = lines_[i];
      if (i == place.keyLine) {
        appendEntry(line.text.substr(0, line.text.find_first_not_of(" \t")), *line.key);
        append(line.end);
        continue;
      }
      append(line.text);
      if (!place.keyLine && i == place.insertAfter) {
        append(line.end.empty() ? newline : line.end);
        appendEntry({}, key);
        append(line.end.empty() ? std::string_view() : newline);
        continue;
      }
      append(line.end);
    }
    return out;
  }

 private:
  std::optional<QByteArray> bytes_;
  std::string_view content_;
  bool crlf_ = kNativeNewline == "\r\n";
  std::vector<Line> lines_;
};

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
  const std::optional<std::string_view> value =
      profile.Value(section.toUtf8().toStdString(), key.toUtf8().toStdString());
  if (!value) return Cut(fallback);
  return Cut(Unquoted(QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()))));
}

void WriteIni(const QString& path, const QString& section, const QString& key,
              const QString& value) {
  // A NUL would make the whole file unreadable (see ReadBytes), so it goes as well.
  QString line = value;
  line.replace(u'\r', u' ').replace(u'\n', u' ').replace(QChar(0), u' ');

  const Profile profile(path);
  const std::string out = profile.WithValue(section.toUtf8().toStdString(),
                                            key.toUtf8().toStdString(), line.toUtf8().toStdString());

  // A writable file in a folder we may not write to is written in place.
  const Result saved = SaveWholeFile(path, QByteArray(out.data(), static_cast<qsizetype>(out.size())),
                                     LockedFolder::kWriteInPlace);
  if (!saved) throw ProfileError("cannot write " + path.toStdString(), saved.Why());
}

}  // namespace torvex
