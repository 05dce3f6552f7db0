// The manual's first pages: what the title page says of the program and the manual, and the
// page each chapter of the contents starts on.
#pragma once

#include <QMap>
#include <QString>

class QTextDocument;

namespace manual_pdf {

// The title page: the title (the document's first block), under it the version of the program the
// manual was built with and the manual's edition, and what follows up to the next heading, which
// starts the next page.
void MakeTitlePage(QTextDocument& document, const QString& version, const QString& edition);

// Each item of the contents that links to a chapter's file gets the page that chapter starts on,
// at the right edge behind a dotted leader. The document must have its page size.
void AddContentsPages(QTextDocument& document, const QMap<QString, int>& firstPages);

}  // namespace manual_pdf
