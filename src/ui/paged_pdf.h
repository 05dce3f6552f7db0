#pragma once
// A document to print and sign, as a PDF of A4 pages: pieces of HTML laid out so that no piece
// is split between two pages (a table's row, a block of text, the signatures), a table that
// runs onto another page repeats its header there, and every page says at its foot what it is
// and "лист N из M".
#include <vector>

#include <QByteArray>
#include <QString>

namespace torvex {

struct PagedDocument {
  struct Table {
    QString open;    // "<table …>"
    QString header;  // its header row, "<tr>…</tr>"
  };
  struct Piece {
    QString html;          // a block; for a row of a table, its "<tr>…</tr>"
    int table = -1;        // the row's table in `tables`; -1: a block
    bool newPage = false;  // begins a new page
  };
  QString title;  // the PDF's title
  QString foot;   // at the foot of every page, on the left
  std::vector<Table> tables;
  std::vector<Piece> pieces;
};

struct PagedPdf {
  QByteArray bytes;
  int pages = 0;
};

// Needs a QGuiApplication (fonts). A piece taller than a page gets a page of its own and is cut
// at its foot.
PagedPdf MakePagedPdf(const PagedDocument& document);

}  // namespace torvex
