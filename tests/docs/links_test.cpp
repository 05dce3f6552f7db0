// The documents hold together: every relative link and picture in README.md and under docs/
// leads to a file that exists, and every anchor to a heading of the document it names.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace {

const QString kRoot = QStringLiteral(TORVEX_SOURCE_DIR);

QStringList Documents() {
  QStringList paths{kRoot + "/README.md"};
  QDirIterator it(kRoot + "/docs", {"*.md"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) paths << it.next();
  return paths;
}

// The document's lines outside fenced code; with `blankCode`, inline code spans blanked out (a
// link shown as code is an example, not a link).
QStringList ProseLines(const QString& path, bool blankCode = true) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  static const QRegularExpression kCodeSpan(QStringLiteral("`[^`]*`"));
  QStringList lines;
  bool fenced = false;
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
    if (line.trimmed().startsWith(QStringLiteral("```"))) {
      fenced = !fenced;
      lines << QString();
      continue;
    }
    if (fenced) {
      lines << QString();
    } else {
      lines << (blankCode ? QString(line).replace(kCodeSpan, QStringLiteral("``")) : line);
    }
  }
  return lines;
}

// The anchors a renderer of Markdown gives the headings: lower case, punctuation other than
// '-' and '_' dropped, blanks turned into '-', a repeated one numbered.
QSet<QString> Anchors(const QString& path) {
  static const QRegularExpression kHeading(QStringLiteral("^#{1,6}\\s+(.*?)\\s*#*\\s*$"));
  static const QRegularExpression kDropped(QStringLiteral("[^\\p{L}\\p{N} _-]"));
  QSet<QString> anchors;
  QHash<QString, int> seen;
  for (const QString& line : ProseLines(path, false)) {
    const auto heading = kHeading.match(line);
    if (!heading.hasMatch()) continue;
    QString anchor = heading.captured(1).toLower().remove(kDropped).replace(' ', '-');
    const int repeats = seen[anchor]++;
    anchors << (repeats == 0 ? anchor : anchor + '-' + QString::number(repeats));
  }
  return anchors;
}

TEST(Documents, EveryRelativeLinkAndPictureLeadsToWhatItNames) {
  static const QRegularExpression kLink(QStringLiteral("\\]\\(([^)\\s]+)(?:\\s+\"[^\"]*\")?\\)"));
  static const QRegularExpression kScheme(QStringLiteral("^[a-zA-Z][a-zA-Z0-9+.-]*:"));
  QStringList broken;
  int checked = 0;
  for (const QString& document : Documents()) {
    const QString dir = QFileInfo(document).absolutePath();
    const QStringList lines = ProseLines(document);
    for (int n = 0; n < lines.size(); ++n) {
      for (const auto& link : kLink.globalMatch(lines[n])) {
        const QString target = link.captured(1);
        if (kScheme.match(target).hasMatch()) continue;  // a web address or mail
        ++checked;
        const QString where = QDir(kRoot).relativeFilePath(document) + ':' +
                              QString::number(n + 1) + ": " + target;
        const QString file = target.section('#', 0, 0);
        const QString anchor = target.section('#', 1);
        const QString path = file.isEmpty() ? document : QDir(dir).absoluteFilePath(file);
        if (!QFileInfo::exists(path)) {
          broken << where + " (no such file)";
        } else if (!anchor.isEmpty() && path.endsWith(".md") && !Anchors(path).contains(anchor)) {
          broken << where + " (no such heading)";
        }
      }
    }
  }
  EXPECT_GT(checked, 0);
  EXPECT_TRUE(broken.isEmpty()) << broken.join('\n').toStdString();
}

}  // namespace
