#include "page_flow.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

namespace manual_pdf {
namespace {

// Something that starts too low on its page: a block (a heading, a broken line of code), or a
// row of a table.
struct Stranded {
  QTextBlock block;
  QTextTable* table = nullptr;
  int row = 0;
};

double PageHeight(const QTextDocument& document) { return document.pageSize().height(); }

int PageOf(const QTextDocument& document, double y) {
  return static_cast<int>(std::floor(y / PageHeight(document)));
}

// Where the first line of the block is drawn, in the document.
double FirstLineTop(QTextDocument& document, const QTextBlock& block) {
  const QRectF box = document.documentLayout()->blockBoundingRect(block);
  const QTextLayout* layout = block.layout();
  if (!layout || layout->lineCount() == 0) return box.top();
  return box.top() + layout->lineAt(0).y();
}

// Where the last line of the block ends, in the document (its margin below left out).
double LastLineBottom(QTextDocument& document, const QTextBlock& block) {
  const QRectF box = document.documentLayout()->blockBoundingRect(block);
  const QTextLayout* layout = block.layout();
  if (!layout || layout->lineCount() == 0) return box.bottom();
  const QTextLine last = layout->lineAt(layout->lineCount() - 1);
  return box.top() + last.y() + last.height();
}

bool BreaksBefore(const QTextFormat& format) {
  return format.toFrameFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
}

// The top of the row's first lines and the bottom of its last ones.
std::pair<double, double> RowExtent(QTextDocument& document, const QTextTable& table, int row) {
  double top = 1e300;
  double bottom = -1e300;
  for (int column = 0; column < table.columns(); ++column) {
    const QTextTableCell cell = table.cellAt(row, column);
    top = std::min(top, FirstLineTop(document, cell.firstCursorPosition().block()));
    bottom = std::max(bottom, LastLineBottom(document, cell.lastCursorPosition().block()));
  }
  return {top, bottom};
}

// How far down what must share the heading's page reaches: the next block's first line, or in a
// table the whole first row below its header (a row that runs over the page moves the table,
// and the heading has to go with it).
double FollowerReach(QTextDocument& document, const QTextBlock& heading) {
  const QTextBlock next = heading.next();
  if (QTextTable* table = QTextCursor(next).currentTable()) {
    return RowExtent(document, *table, std::min(table->format().headerRowCount(), table->rows() - 1)).second - 1;
  }
  return FirstLineTop(document, next);
}

bool AtPageTop(QTextDocument& document, double y) {
  return y - PageOf(document, y) * PageHeight(document) < 0.1 * PageHeight(document);
}

// The first thing from `from` on, in the document's order, left at a page's foot.
std::optional<Stranded> FirstStranded(QTextDocument& document, QTextBlock from) {
  for (QTextBlock block = from; block.isValid(); block = block.next()) {
    QTextCursor at(block);
    if (QTextTable* table = at.currentTable()) {
      const QTextTableCell cell = table->cellAt(block.position());
      if (cell.column() != 0 || cell.firstCursorPosition().block() != block ||
          cell.row() < table->format().headerRowCount()) {
        continue;
      }
      const auto [top, bottom] = RowExtent(document, *table, cell.row());
      const bool fits = bottom - top < 0.9 * PageHeight(document);
      if (fits && PageOf(document, top) != PageOf(document, bottom - 1) &&
          !(cell.row() == table->format().headerRowCount() && BreaksBefore(table->format()))) {
        return Stranded{{}, table, cell.row()};
      }
      continue;
    }
    if (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) continue;
    const double top = FirstLineTop(document, block);
    if (AtPageTop(document, top)) continue;
    if (block.blockFormat().hasProperty(QTextFormat::BlockCodeFence)) {
      // A line of code broken to fit the width is read as one: all of it on one page.
      if (PageOf(document, LastLineBottom(document, block) - 1) > PageOf(document, top)) {
        return Stranded{block, nullptr, 0};
      }
    } else if (block.blockFormat().headingLevel() > 0 && block.next().isValid() &&
               PageOf(document, FollowerReach(document, block)) > PageOf(document, top)) {
      return Stranded{block, nullptr, 0};
    }
  }
  return std::nullopt;
}

void BreakBefore(const QTextBlock& block) {
  QTextBlockFormat format = block.blockFormat();
  format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
  QTextCursor(block).setBlockFormat(format);
}

void BreakBefore(QTextTable& table) {
  QTextTableFormat format = table.format();
  format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
  table.setFormat(format);
}

void CopyCell(const QTextTableCell& from, const QTextTableCell& to) {
  QTextCursor source = from.firstCursorPosition();
  source.setPosition(from.lastCursorPosition().position(), QTextCursor::KeepAnchor);
  to.firstCursorPosition().insertFragment(source.selection());
}

// The rows from `row` on moved into a table of their own under a copy of the header, on a new page.
void SplitTable(QTextTable& table, int row) {
  const int header = table.format().headerRowCount();
  const int moved = table.rows() - row;
  QTextCursor after(table.document());
  after.setPosition(table.lastPosition() + 1);
  after.beginEditBlock();  // laid out again once, not after every cell
  QTextTableFormat format = table.format();
  format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
  QTextTable* rest = after.insertTable(header + moved, table.columns(), format);
  for (int r = 0; r < header + moved; ++r) {
    for (int column = 0; column < table.columns(); ++column) {
      CopyCell(table.cellAt(r < header ? r : row + r - header, column), rest->cellAt(r, column));
    }
  }
  table.removeRows(row, moved);
  after.endEditBlock();
}

}  // namespace

void FormatTables(QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    QTextTableFormat format = table->format();
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setCellSpacing(0);
    format.setCellPadding(3);
    format.setBorderCollapse(true);
    format.setHeaderRowCount(1);
    table->setFormat(format);
  }
}

void KeepTogether(QTextDocument& document) {
  // A move shifts only what comes after it, so the next stranded thing is looked for from there
  // (the layout follows the move when asked).
  QTextBlock from = document.begin();
  while (const auto stranded = FirstStranded(document, from)) {
    if (!stranded->table) {
      from = stranded->block;
      BreakBefore(stranded->block);
    } else if (stranded->row == stranded->table->format().headerRowCount()) {
      from = stranded->table->cellAt(0, 0).firstCursorPosition().block();
      BreakBefore(*stranded->table);
    } else {
      SplitTable(*stranded->table, stranded->row);
      from = document.findBlock(stranded->table->lastPosition() + 1);
    }
  }
}

}  // namespace manual_pdf
