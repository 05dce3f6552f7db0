#include "front_matter.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

namespace manual_pdf {
namespace {

constexpr double kTabDpi = 96;

}  // namespace

void MakeTitlePage(QTextDocument& document, const QString& version, const QString& edition) {
  for (QTextBlock block = document.begin().next(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0) continue;
    QTextBlockFormat format = block.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(block).setBlockFormat(format);
    break;
  }
  QTextCursor cursor(document.begin());
  cursor.movePosition(QTextCursor::EndOfBlock);
  QTextBlockFormat block;
  block.setTopMargin(document.defaultFont().pointSizeF());
  QTextCharFormat text;
  text.setFontPointSize(document.defaultFont().pointSizeF() + 1);
  cursor.insertBlock(block, text);
  cursor.insertText(QStringLiteral("Программа torvex-tp, версия %1").arg(version));
  block.setTopMargin(0);
  block.setBottomMargin(document.defaultFont().pointSizeF());
  cursor.insertBlock(block, text);
  cursor.insertText(QStringLiteral("Редакция руководства от %1").arg(edition));
}

void AddContentsPages(QTextDocument& document, const QMap<QString, int>& firstPages) {
  QPaintDevice* device = document.documentLayout()->paintDevice();
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    // An item of the contents is a link and nothing else.
    if (!block.textList() || block.begin().atEnd()) continue;
    const QTextFragment link = block.begin().fragment();
    const QString file = link.charFormat().anchorHref();
    if (link.length() != block.length() - 1 || !firstPages.contains(file)) continue;
    const QTextLayout* layout = block.layout();
    if (!layout || layout->lineCount() == 0) continue;
    const int lines = layout->lineCount();
    const QTextLine last = layout->lineAt(lines - 1);
    const double edge = last.width();  // from where the line starts (a list's indentation in)
    const QString page = QString::number(firstPages.value(file));

    QTextCharFormat plain;  // not a part of the link
    const QFontMetricsF metrics(document.defaultFont(), device);
    const double room = edge - 2 - last.naturalTextWidth() - metrics.horizontalAdvance(page) -
                        2 * metrics.horizontalAdvance(u' ');
    const int dots = std::max(0, static_cast<int>(room / metrics.horizontalAdvance(QStringLiteral(" ."))));

    QTextBlockFormat format = block.blockFormat();
    // A hair inside the edge: a number ending exactly on it would not fit and go to a line of its
    // own. The layout reads a tab's position in pixels of a 96-dpi screen, whatever the device.
    const double tab = (edge - 2) * kTabDpi / device->logicalDpiX();
    format.setTabPositions({QTextOption::Tab(tab, QTextOption::RightTab)});
    QTextCursor cursor(block);
    cursor.setBlockFormat(format);
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral(" .").repeated(dots) + u'\t' + page, plain);
    // The estimate may overshoot by a dot or two (kerning): shorten the leader until the item
    // keeps its lines.
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.movePosition(QTextCursor::Left, QTextCursor::MoveAnchor, page.size() + 1);
    for (int left = dots; left > 0; --left) {
      document.documentLayout()->blockBoundingRect(block);  // lays the block out again
      if (block.layout()->lineCount() <= lines) break;
      cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 2);
      cursor.removeSelectedText();
    }
  }
}

}  // namespace manual_pdf
