// Builds the operator's manual as one PDF from its Markdown sources: the title page and table
// of contents of the manual's README.md, then each chapter it lists, in its order, from a new
// page. Pictures are scaled down to the width of the page; the pages are numbered.
//   manual-pdf OUT.pdf MANUAL_DIR
#include <algorithm>
#include <cstdio>

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
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

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

// Tables across the page, their borders single lines.
void WidenTables(QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    QTextTableFormat format = table->format();
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setCellSpacing(0);
    format.setCellPadding(3);
    format.setBorderCollapse(true);
    table->setFormat(format);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: manual-pdf OUT.pdf MANUAL_DIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString dir = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
  const QString contents = ReadText(dir + "/README.md");
  const QStringList chapters = Chapters(contents);
  if (contents.isEmpty() || chapters.isEmpty()) {
    std::fprintf(stderr, "manual-pdf: no table of contents in %s/README.md\n", qUtf8Printable(dir));
    return 1;
  }
  QStringList parts{contents};
  for (const QString& chapter : chapters) {
    parts << ReadText(dir + '/' + chapter);
    if (parts.back().isEmpty()) {
      std::fprintf(stderr, "manual-pdf: cannot read %s/%s\n", qUtf8Printable(dir),
                   qUtf8Printable(chapter));
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

  // Each part laid out on its own, from a new page; the pages numbered throughout.
  QPainter painter;
  int number = 0;
  for (const QString& part : parts) {
    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(dir + '/'));
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Serif"), 10));
    document.setMarkdown(part, QTextDocument::MarkdownDialectGitHub);
    WidenTables(document);
    // Before the layout, which loads the pictures it has not been given.
    FitPictures(document, dir, page.width() * kPrintedPictureDpi / kDotsPerInch);
    document.documentLayout()->setPaintDevice(&pdf);
    document.setPageSize(page);
    if (number == 0) {
      pdf.setTitle(document.begin().text());
      if (!painter.begin(&pdf)) return 1;
      painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 9));
    }
    for (int n = 0; n < document.pageCount(); ++n) {
      if (number++ > 0) pdf.newPage();
      painter.save();
      painter.translate(0, -n * page.height());
      document.drawContents(&painter, QRectF(QPointF(0, n * page.height()), page));
      painter.restore();
      painter.drawText(QRectF(0, page.height(), page.width(), footer),
                       Qt::AlignRight | Qt::AlignBottom, QString::number(number));
    }
  }
  return painter.end() ? 0 : 1;
}
