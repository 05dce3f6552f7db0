#include "code_lines.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace manual_pdf {
namespace {

constexpr double kCodePointSize = 8.5;
constexpr int kTabColumns = 8;

QString ExpandTabs(const QString& line) {
  QString out;
  for (const QChar c : line) {
    if (c != u'\t') {
      out += c;
      continue;
    }
    do out += u' '; while (out.size() % kTabColumns != 0);
  }
  return out;
}

// The longest start of `text` that fits (at least one character, so that every line moves on).
qsizetype FittingLength(const QFontMetricsF& metrics, const QString& text, double width) {
  qsizetype low = 1;
  qsizetype high = text.size();
  while (low < high) {
    const qsizetype mid = (low + high + 1) / 2;
    if (metrics.horizontalAdvance(text.left(mid)) <= width) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return low;
}

// The line as lines that fit, joined by line separators (one block, so the code block's spacing
// and its nonbreaking layout stay as they were).
QString Broken(const QFontMetricsF& metrics, QString line, double width) {
  QStringList pieces;
  QString prefix;  // nothing on the first line, the continuation mark on the others
  while (metrics.horizontalAdvance(prefix + line) > width) {
    const qsizetype fits = FittingLength(metrics, prefix + line, width) - prefix.size();
    qsizetype at = line.lastIndexOf(u' ', fits - 1);
    // Not inside the line's own indentation, nor so early that most of the room is wasted.
    qsizetype indentation = 0;
    while (indentation < line.size() && line[indentation] == u' ') ++indentation;
    if (at <= indentation || at < fits / 2) at = std::max<qsizetype>(fits, 1);
    pieces << prefix + line.left(at);
    line = line.mid(at);
    prefix = QString(QChar(kContinuation));
  }
  pieces << prefix + line;
  return pieces.join(QChar::LineSeparator);
}

}  // namespace

void FitCodeLines(QTextDocument& document, QPaintDevice& device, double width) {
  const double indentWidth = document.indentWidth();
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (!block.blockFormat().hasProperty(QTextFormat::BlockCodeFence) || block.text().isEmpty()) continue;
    QTextCharFormat format = block.begin().fragment().charFormat();
    format.setFontFamilies({QStringLiteral("DejaVu Sans Mono")});
    format.setFontPointSize(kCodePointSize);
    const QFontMetricsF metrics(format.font(), &device);
    const QTextBlockFormat shape = block.blockFormat();
    // A little short of the edge, so that rounding in the layout never pushes a character over.
    const double room = 0.99 * (width - shape.indent() * indentWidth - shape.leftMargin() -
                                shape.rightMargin() - shape.textIndent() - 2 * document.documentMargin());
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(Broken(metrics, ExpandTabs(block.text()), room), format);
  }
}

}  // namespace manual_pdf
