// The configuration file as any editor, disk or accident may leave it: LoadConfig on its
// contents (the operator answers Cancel, so a bad "COM" ends the load), then one of the tool's
// keys written and read back.
//
// Input:
//   byte 0   bits 0-1: the key written: COM, COMSettings, MBSLAD (3 counts as COM);
//            bits 2-3: its spelling: as the tool writes it, lower case, upper case
//   byte 1   length of the value, then the value (UTF-8)
//   the rest: the file
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "config/configuration.h"
#include "config/profile_file.h"
#include "fuzz/fuzz_input.h"
#include "support/fake_prompter.h"
#include "support/fake_view.h"

namespace torvex {
namespace {

struct Key {
  QString section;
  QString key;
};

const Key kKeys[] = {
    {QStringLiteral("PC config"), QStringLiteral("COM")},
    {QStringLiteral("PC config"), QStringLiteral("COMSettings")},
    {QStringLiteral("VEM config"), QStringLiteral("MBSLAD")},
};

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void PutFile(const QString& path, std::span<const std::uint8_t> bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// A line of the file with its line break (CR LF, LF or a lone CR; none on a last line without).
struct FileLine {
  QByteArray text;
  QByteArray end;
};

std::vector<FileLine> Lines(const QByteArray& bytes) {
  std::vector<FileLine> lines;
  qsizetype at = 0;
  while (at < bytes.size()) {
    qsizetype stop = at;
    while (stop < bytes.size() && bytes[stop] != '\r' && bytes[stop] != '\n') ++stop;
    const qsizetype breakLength = stop == bytes.size()                             ? 0
                                  : bytes.mid(stop, 2) == QByteArrayLiteral("\r\n") ? 2
                                                                                   : 1;
    lines.push_back({bytes.mid(at, stop - at), bytes.mid(stop, breakLength)});
    at = stop + breakLength;
  }
  return lines;
}

// A save rewrites the key's own line, or adds it (with its section's line when that is new):
// every other line stays as it was, its line break too, except that a last line without one
// gains one when a line goes below it. The line rewritten held a key.
bool KeepsEveryOtherLine(const QByteArray& before, const QByteArray& after) {
  const std::vector<FileLine> old = Lines(before);
  const std::vector<FileLine> now = Lines(after);
  const auto same = [&](std::size_t o, std::size_t n) {
    return old[o].text == now[n].text &&
           (old[o].end == now[n].end || (o + 1 == old.size() && old[o].end.isEmpty()));
  };
  std::size_t head = 0;
  while (head < old.size() && head < now.size() && same(head, head)) ++head;
  std::size_t tail = 0;
  while (tail < old.size() - head && tail < now.size() - head &&
         same(old.size() - 1 - tail, now.size() - 1 - tail)) {
    ++tail;
  }
  const std::size_t gone = old.size() - head - tail;
  const std::size_t come = now.size() - head - tail;
  return gone <= 1 && come <= 2 && gone <= come && (gone == 0 || old[head].text.contains('='));
}

std::optional<QString> Read(const QString& path, const Key& k) {
  try {
    return ReadIni(path, k.section, k.key, QStringLiteral("\x01missing"));
  } catch (const ProfileError&) {
    return std::nullopt;
  }
}

// What a value reads back as: one line with no NUL, without the blanks and tabs around it, cut.
QString Stored(QString value) {
  value.replace(u'\r', u' ').replace(u'\n', u' ').replace(QChar(0), u' ');
  qsizetype begin = 0;
  qsizetype end = value.size();
  while (begin < end && (value[begin] == u' ' || value[begin] == u'\t')) ++begin;
  while (end > begin && (value[end - 1] == u' ' || value[end - 1] == u'\t')) --end;
  value = value.mid(begin, end - begin);
  // Qt's UTF-8 decoding takes a leading U+FEFF for a byte-order mark.
  if (value.startsWith(QChar(0xFEFF))) value.remove(0, 1);
  // A value in a pair of quotes reads without them.
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    value = value.mid(1, value.size() - 2);
  }
  if (value.size() > kIniValueLimit) {
    value.truncate(value.at(kIniValueLimit - 1).isHighSurrogate() ? kIniValueLimit - 1
                                                                   : kIniValueLimit);
  }
  return value;
}

QString Spelled(const QString& name, int spelling) {
  return spelling == 1 ? name.toLower() : spelling == 2 ? name.toUpper() : name;
}

}  // namespace
}  // namespace torvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace torvex;
  // In memory where there is a place for it: every save syncs the file to its disk.
  static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                               ? QStringLiteral("/dev/shm/torvex-fuzz-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/torvex-fuzz-XXXXXX"));
  static const QString path = IniPathIn(dir.path());

  fuzz::Input in(data, size);
  const std::uint8_t choice = in.Byte();
  const QString value = fuzz::Utf8(in.Take(in.Byte()));
  const std::span<const std::uint8_t> file = in.Rest();
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  // A byte-order mark belongs at the start of a file (where it is read past and not written
  // back). One inside the file is text, until a save drops the lines before it and it turns
  // into a mark: no editor leaves a file like that.
  if (text.find("\xEF\xBB\xBF", 1) != std::string_view::npos) return 0;
  PutFile(path, file);

  // Loading: a failure asks once and leaves the port number at 1.
  {
    test::FakeView view;
    test::FakePrompter prompter;
    Configuration config(path, view, view, prompter);
    config.LoadConfig();
    FUZZ_CHECK(prompter.asked.size() <= 1);
    if (!prompter.asked.empty()) {
      FUZZ_CHECK(prompter.asked[0].text.startsWith(kIniReadError + path) &&
                 config.PortNumber() == 1);
    }
  }

  const int which = (choice & 3) == 3 ? 0 : choice & 3;
  const int spelling = ((choice >> 2) & 3) % 3;
  const Key& target = kKeys[which];
  const Key spelled{Spelled(target.section, spelling), Spelled(target.key, spelling)};

  const QByteArray before = FileBytes(path);
  std::optional<QString> others[3];
  for (int k = 0; k < 3; ++k) others[k] = Read(path, kKeys[k]);

  try {
    WriteIni(path, spelled.section, spelled.key, value);
  } catch (const ProfileError&) {
    // Only a file the tool cannot read is refused, and it is left as it was.
    FUZZ_CHECK(!others[0]);
    FUZZ_CHECK(FileBytes(path) == before);
    return 0;
  }
  FUZZ_CHECK(others[0].has_value());

  // The value reads back under any spelling; the tool's other keys keep theirs.
  FUZZ_CHECK(Read(path, target) == Stored(value));
  for (int k = 0; k < 3; ++k) {
    if (k != which) FUZZ_CHECK(Read(path, kKeys[k]) == others[k]);
  }

  // Every other line is kept byte for byte (a byte-order mark is not written back), and saving
  // the same again changes nothing at all, so saves never grow the file.
  const QByteArray once = FileBytes(path);
  FUZZ_CHECK(KeepsEveryOtherLine(before.startsWith("\xEF\xBB\xBF") ? before.mid(3) : before, once));
  WriteIni(path, target.section, target.key, value);
  FUZZ_CHECK(FileBytes(path) == once);
  return 0;
}
