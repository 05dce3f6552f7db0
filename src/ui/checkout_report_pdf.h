#pragma once
// The checkout's report as a printable, signable PDF (Qt's own writer), and its CSV twin beside
// it: FILE.pdf and FILE.csv.
#include <optional>

#include <QString>

#include "checkout/report.h"

namespace torvex {

// The report as HTML, for the PDF (and for a look in a browser).
QString ReportHtml(const checkout::Report& report);

// Writes FILE.pdf (A4) and the CSV twin at the same path with ".csv"; returns what went wrong.
// Needs a QGuiApplication (fonts).
std::optional<QString> WriteReport(const checkout::Report& report, const QString& pdfPath);

// The CSV twin's path: FILE.pdf gives FILE.csv; another name gets ".csv" appended.
QString CsvPathOf(const QString& pdfPath);

}  // namespace torvex
