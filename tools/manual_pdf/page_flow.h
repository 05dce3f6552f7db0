// How the manual's content falls on its pages: tables and headings across page breaks.
#pragma once

class QTextDocument;

namespace manual_pdf {

// Tables across the page, their borders single lines, their first row the header.
void FormatTables(QTextDocument& document);

// Moves to the next page what would otherwise break badly at a page's foot: a heading that what
// follows it (the next paragraph's first line, a table's first row under its header) has left
// alone; a line of code broken in two (see FitCodeLines) whose rest would go over; a table row
// that would run over onto the next page, which starts that page under the table's header (the
// table goes on there as a table of its own). A row taller than a page is left to run over. The
// document must have its page size.
void KeepTogether(QTextDocument& document);

}  // namespace manual_pdf
