#pragma once
// The checkout's report as a printable, signable PDF (Qt's own writer), and its CSV twin beside
// it: FILE.pdf and FILE.csv.
#include <optional>

#include <QString>

#include "checkout/report.h"
#include "ui/paged_pdf.h"

namespace torvex {

// The report as the pages of a document to sign: the details, the steps' table, the conclusion
// with the signatures, the parameters as an appendix.
PagedDocument ReportDocument(const checkout::Report& report);

// Writes FILE.pdf (A4) and the CSV twin at the same path with ".csv", each whole or not at all
// (a file there before stays as it was); returns what went wrong. Needs a QGuiApplication
// (fonts).
std::optional<QString> WriteReport(const checkout::Report& report, const QString& pdfPath);

// The CSV twin's path: FILE.pdf gives FILE.csv; another name gets ".csv" appended.
QString CsvPathOf(const QString& pdfPath);

}  // namespace torvex
