#include "ui/paged_pdf.h"

#include <memory>
#include <numeric>
#include <optional>

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace torvex {
namespace {

constexpr int kResolution = 300;  // dots per inch of the PDF's layout
constexpr double kMarginMm = 15;
constexpr double kFootMm = 8;  // the foot's band, below the body
constexpr double kMmPerInch = 25.4;
constexpr int kFootPt = 7;
const QString kFontFamily = QStringLiteral("DejaVu Sans");

constexpr double Pixels(double mm) { return mm / kMmPerInch * kResolution; }

// Lays out pieces [first, end) as one page would hold them.
class PageLayout {
 public:
  PageLayout(const PagedDocument& document, QPaintDevice& device, double width)
      : document_(document), device_(device), width_(width) {}

  QString Html(const std::vector<std::size_t>& pieces) const {
    QString html = QStringLiteral("<html><body style=\"font-family:'%1'; font-size:9pt\">").arg(kFontFamily);
    int open = -1;
    for (const std::size_t i : pieces) {
      const PagedDocument::Piece& piece = document_.pieces[i];
      if (piece.table != open && open >= 0) html += QStringLiteral("</table>");
      if (piece.table >= 0 && piece.table != open) {
        const PagedDocument::Table& table = document_.tables[static_cast<std::size_t>(piece.table)];
        html += table.open + table.header;
      }
      open = piece.table;
      html += piece.html;
    }
    if (open >= 0) html += QStringLiteral("</table>");
    return html + QStringLiteral("</body></html>");
  }

  // The text document of a page; its points are the PDF's points, not the screen's.
  void Fill(QTextDocument& text, const std::vector<std::size_t>& pieces) const {
    text.documentLayout()->setPaintDevice(&device_);
    text.setTextWidth(width_);
    text.setHtml(Html(pieces));
  }
  void Fill(QTextDocument& text, std::size_t first, std::size_t end) const {
    std::vector<std::size_t> pieces(end - first);
    std::iota(pieces.begin(), pieces.end(), first);
    Fill(text, pieces);
  }

  std::unique_ptr<QTextDocument> Make(std::size_t first, std::size_t end) const {
    auto text = std::make_unique<QTextDocument>();
    Fill(*text, first, end);
    return text;
  }

 private:
  const PagedDocument& document_;
  QPaintDevice& device_;
  double width_;
};

// How tall each piece is on its own (a row: within its table, its header counted apart), from
// one layout of each table and of each block: the guess of how many pieces a page takes.
struct PieceHeights {
  std::vector<double> piece;
  std::vector<double> header;  // of each table, with the room around the table
  double page = 0;             // the document's margins
};

PieceHeights MeasurePieces(const PagedDocument& document, const PageLayout& layout) {
  PieceHeights heights{std::vector<double>(document.pieces.size()), std::vector<double>(document.tables.size()),
                       2 * QTextDocument().documentMargin()};
  for (std::size_t t = 0; t < document.tables.size(); ++t) {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < document.pieces.size(); ++i) {
      if (document.pieces[i].table == static_cast<int>(t)) rows.push_back(i);
    }
    if (rows.empty()) continue;
    QTextDocument text;
    layout.Fill(text, rows);
    auto* table = qobject_cast<QTextTable*>(text.rootFrame()->childFrames().value(0));
    if (!table) continue;
    const QAbstractTextDocumentLayout* laid = text.documentLayout();
    const auto top = [&](int row) {
      return laid->blockBoundingRect(table->cellAt(row, 0).firstCursorPosition().block()).top();
    };
    const QRectF frame = laid->frameBoundingRect(table);
    heights.header[t] = top(1) - frame.top() + text.size().height() - heights.page - frame.height();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const int row = static_cast<int>(r) + 1;  // after the header
      heights.piece[rows[r]] = (r + 1 < rows.size() ? top(row + 1) : frame.bottom()) - top(row);
    }
  }
  for (std::size_t i = 0; i < document.pieces.size(); ++i) {
    if (document.pieces[i].table < 0) heights.piece[i] = layout.Make(i, i + 1)->size().height() - heights.page;
  }
  return heights;
}

// Each page takes as many pieces as fit whole: guessed from their heights, then checked by
// laying the page out and corrected a piece at a time. The pages come laid out.
std::vector<std::unique_ptr<QTextDocument>> Paginate(const PagedDocument& document, const PageLayout& layout,
                                                     double height) {
  // How far a guess of the next piece may be off: a page is tried with it within this much.
  constexpr double kGuessSlack = Pixels(2);
  const PieceHeights heights = MeasurePieces(document, layout);
  const std::size_t count = document.pieces.size();
  // The height a piece adds to a page whose last piece is `before`.
  const auto adds = [&](std::size_t piece, std::optional<std::size_t> before) {
    const int table = document.pieces[piece].table;
    const bool opens = table >= 0 && (!before || document.pieces[*before].table != table);
    return heights.piece[piece] + (opens ? heights.header[static_cast<std::size_t>(table)] : 0);
  };
  const auto fits = [&](std::size_t end) { return end < count && !document.pieces[end].newPage; };
  std::vector<std::unique_ptr<QTextDocument>> pages;
  std::size_t first = 0;
  while (first < count) {
    std::size_t end = first + 1;  // a page holds one piece at least
    double guess = heights.page + adds(first, std::nullopt);
    while (fits(end) && guess + adds(end, end - 1) <= height) guess += adds(end, end - 1), ++end;
    auto page = layout.Make(first, end);
    while (end > first + 1 && page->size().height() > height) page = layout.Make(first, --end);
    while (fits(end) && page->size().height() + adds(end, end - 1) <= height + kGuessSlack) {
      auto more = layout.Make(first, end + 1);
      if (more->size().height() > height) break;
      page = std::move(more);
      ++end;
    }
    pages.push_back(std::move(page));
    first = end;
  }
  if (pages.empty()) pages.push_back(layout.Make(0, 0));
  return pages;
}

}  // namespace

PagedPdf MakePagedPdf(const PagedDocument& document) {
  PagedPdf result;
  QBuffer buffer(&result.bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter pdf(&buffer);
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
  pdf.setResolution(kResolution);
  pdf.setTitle(document.title);
  pdf.setCreator(QStringLiteral("torvex-tp"));
  const QRectF paint = pdf.pageLayout().paintRectPixels(kResolution);
  const double bodyHeight = paint.height() - Pixels(kFootMm);
  const PageLayout layout(document, pdf, paint.width());
  const auto pages = Paginate(document, layout, bodyHeight);
  result.pages = static_cast<int>(pages.size());

  QPainter painter(&pdf);
  QFont footFont(kFontFamily);
  footFont.setPointSizeF(kFootPt);
  const QRectF foot(0, bodyHeight, paint.width(), Pixels(kFootMm));
  for (std::size_t n = 0; n < pages.size(); ++n) {
    if (n > 0) pdf.newPage();
    pages[n]->drawContents(&painter, QRectF(0, 0, paint.width(), bodyHeight));
    painter.setFont(footFont);
    painter.drawText(foot, Qt::AlignLeft | Qt::AlignBottom, document.foot);
    painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                     QStringLiteral("лист %1 из %2").arg(n + 1).arg(pages.size()));
  }
  painter.end();
  return result;
}

}  // namespace torvex
