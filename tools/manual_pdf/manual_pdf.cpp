// Builds the operator's manual as one PDF from its Markdown sources: the title page and table
// of contents of the manual's README.md, with the program's version and the manual's edition,
// then each chapter it lists, in its order, from a new page. Pictures are scaled down to the
// width of the page, long code lines broken with a mark; the pages are numbered, and the
// contents give each chapter's first page.
//   manual-pdf OUT.pdf MANUAL_DIR VERSION EDITION_DATE
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QAbstractTextDocumentLayout>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include "code_lines.h"
#include "front_matter.h"
#include "page_flow.h"

namespace {

constexpr int kDotsPerInch = 300;
// A printing device takes a picture's pixels 72 to the inch; a screen shows them 96 to the inch.
constexpr double kPrintedPictureDpi = 72;
constexpr double kScreenDpi = 96;

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// The chapters the table of contents links to, in its order.
QStringList Chapters(const QString& contents) {
  static const QRegularExpression kChapter(QStringLiteral("^\\d+\\. \\[[^\\]]+\\]\\(([^)#]+\\.md)\\)"),
                                           QRegularExpression::MultilineOption);
  QStringList chapters;
  for (const auto& match : kChapter.globalMatch(contents)) chapters << match.captured(1);
  return chapters;
}

// Each picture at the size it has on the screen, or the page's width when it is wider: it keeps
// all its pixels, drawn closer together. (Giving the picture's format a size instead loses the text after it
// from the layout.)
void FitPictures(QTextDocument& document, const QString& dir, double width) {
  QStringList names;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (format.isImageFormat()) names << format.toImageFormat().name();
    }
  }
  for (const QString& name : names) {
    QImage image(QFileInfo(dir + '/' + name).absoluteFilePath());
    if (image.isNull()) continue;
    image.setDevicePixelRatio(std::max(kScreenDpi / kPrintedPictureDpi, image.width() / width));
    // Looked up by its address as the document resolves it.
    document.addResource(QTextDocument::ImageResource, document.baseUrl().resolved(QUrl(name)),
                         image);
  }
}

// One part of the manual laid out on pages of `page` size: its tables, pictures and code fitted to
// the page; headings, table rows and broken code lines kept from being stranded or split by a
// page's foot. `beforeBreaks` edits the laid-out part before that.
std::unique_ptr<QTextDocument> LayOut(const QString& markdown, const QString& dir, QPdfWriter& pdf,
                                      const QSizeF& page,
                                      const std::function<void(QTextDocument&)>& beforeBreaks = {}) {
  auto document = std::make_unique<QTextDocument>();
  document->setBaseUrl(QUrl::fromLocalFile(dir + '/'));
  document->setDefaultFont(QFont(QStringLiteral("DejaVu Serif"), 10));
  document->setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  manual_pdf::FormatTables(*document);
  // Before the layout, which loads the pictures it has not been given.
  FitPictures(*document, dir, page.width() * kPrintedPictureDpi / kDotsPerInch);
  manual_pdf::FitCodeLines(*document, pdf, page.width());
  document->documentLayout()->setPaintDevice(&pdf);
  document->setPageSize(page);
  // The whole laid out before anything asks where a block lies: asked first, the layout goes
  // only as far as that block, and carried on from there it loses the text after pictures.
  document->pageCount();
  if (beforeBreaks) beforeBreaks(*document);
  manual_pdf::KeepTogether(*document);
  return document;
}

// The page each chapter starts on, when the parts before the chapters take `frontPages`.
QMap<QString, int> FirstPages(const QStringList& chapters, const std::vector<int>& chapterPages,
                              int frontPages) {
  QMap<QString, int> first;
  int page = frontPages + 1;
  for (qsizetype i = 0; i < chapters.size(); ++i) {
    first[chapters[i]] = page;
    page += chapterPages[static_cast<size_t>(i)];
  }
  return first;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: manual-pdf OUT.pdf MANUAL_DIR VERSION EDITION_DATE\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString dir = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
  const QString version = QString::fromLocal8Bit(argv[3]);
  const QDate editionDate = QDate::fromString(QString::fromLocal8Bit(argv[4]), Qt::ISODate);
  if (!editionDate.isValid()) {
    std::fprintf(stderr, "manual-pdf: the edition's date is YYYY-MM-DD, not %s\n", argv[4]);
    return 2;
  }
  const QString edition = editionDate.toString(QStringLiteral("dd.MM.yyyy"));
  const QString contents = ReadText(dir + "/README.md");
  const QStringList chapters = Chapters(contents);
  if (contents.isEmpty() || chapters.isEmpty()) {
    std::fprintf(stderr, "manual-pdf: no table of contents in %s/README.md\n", qUtf8Printable(dir));
    return 1;
  }
  QStringList texts;
  for (const QString& chapter : chapters) {
    texts << ReadText(dir + '/' + chapter);
    if (texts.back().isEmpty()) {
      std::fprintf(stderr, "manual-pdf: cannot read %s/%s\n", qUtf8Printable(dir), qUtf8Printable(chapter));
      return 1;
    }
  }

  QPdfWriter pdf(out);
  pdf.setResolution(kDotsPerInch);
  pdf.setCreator(QStringLiteral("torvex-tp"));
  pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                QMarginsF(20, 15, 15, 12), QPageLayout::Millimeter));
  const QRectF area = pdf.pageLayout().paintRectPixels(kDotsPerInch);
  const double footer = kDotsPerInch * 0.4;  // the page number's line
  const QSizeF page(area.width(), area.height() - footer);

  // Each part laid out on its own, from a new page; the chapters first, so that the contents
  // can give the page each starts on.
  std::vector<std::unique_ptr<QTextDocument>> parts;
  std::vector<int> chapterPages;
  parts.emplace_back();
  for (const QString& text : texts) {
    parts.push_back(LayOut(text, dir, pdf, page));
    chapterPages.push_back(parts.back()->pageCount());
  }
  // The contents' own length decides the numbers it shows; numbers never add a line, so a second
  // pass at most.
  int frontPages = 1;
  for (int pass = 0; pass < 3; ++pass) {
    parts.front() = LayOut(contents, dir, pdf, page, [&](QTextDocument& document) {
      manual_pdf::MakeTitlePage(document, version, edition);
      manual_pdf::AddContentsPages(document, FirstPages(chapters, chapterPages, frontPages));
    });
    if (parts.front()->pageCount() == frontPages) break;
    frontPages = parts.front()->pageCount();
  }

  pdf.setTitle(parts.front()->begin().text());
  QPainter painter;
  if (!painter.begin(&pdf)) return 1;
  painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 9));
  int number = 0;
  for (const auto& document : parts) {
    for (int n = 0; n < document->pageCount(); ++n) {
      if (number++ > 0) pdf.newPage();
      painter.save();
      painter.translate(0, -n * page.height());
      document->drawContents(&painter, QRectF(QPointF(0, n * page.height()), page));
      painter.restore();
      painter.drawText(QRectF(0, page.height(), page.width(), footer),
                       Qt::AlignRight | Qt::AlignBottom, QString::number(number));
    }
  }
  return painter.end() ? 0 : 1;
}
