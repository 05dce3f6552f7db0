#include "ui/checkout_report_pdf.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

#include "paramfile/param_file.h"
#include "ui/param_set_texts.h"

namespace torvex {
namespace {

constexpr int kResolution = 300;  // dots per inch of the PDF's layout
constexpr double kMarginMm = 15;

QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

QString Row(const QStringList& cells, const QString& style = QString()) {
  QString row = style.isEmpty() ? QStringLiteral("<tr>") : QStringLiteral("<tr style=\"%1\">").arg(style);
  for (const QString& cell : cells) row += QStringLiteral("<td>") + Escaped(cell) + QStringLiteral("</td>");
  return row + QStringLiteral("</tr>");
}

// A header row; `widths` in percent of the page, one per cell, or none.
QString Header(const QStringList& cells, const QList<int>& widths = {}) {
  QString row = QStringLiteral("<tr style=\"background-color:#dddddd\">");
  for (qsizetype i = 0; i < cells.size(); ++i) {
    row += (i < widths.size() ? QStringLiteral("<th width=\"%1%\">").arg(widths[i]) : QStringLiteral("<th>")) +
           Escaped(cells[i]) + QStringLiteral("</th>");
  }
  return row + QStringLiteral("</tr>");
}

QString Hex(const paramfile::ParamImage& image, int index) {
  const paramfile::ParamSpot spot = paramfile::Spot(index);
  QStringList bytes;
  for (int b = 0; b < spot.width; ++b) {
    bytes << QStringLiteral("%1").arg(image[spot.address + b], 2, 16, QLatin1Char('0')).toUpper();
  }
  return bytes.join(u' ');
}

}  // namespace

QString CsvPathOf(const QString& pdfPath) {
  if (pdfPath.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) return pdfPath.left(pdfPath.size() - 4) + QStringLiteral(".csv");
  return pdfPath + QStringLiteral(".csv");
}

QString ReportHtml(const checkout::Report& r) {
  QString html = QStringLiteral(
      "<html><body style=\"font-family:'DejaVu Sans'; font-size:9pt\">"
      "<h2 style=\"text-align:center\">Протокол проверки контроллера TORVEX-CPU</h2>");
  html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">");
  const auto info = [&html](const QString& key, const QString& value) {
    html += QStringLiteral("<tr><td width=\"35%\"><b>") + Escaped(key) + QStringLiteral("</b></td><td>") +
            Escaped(value) + QStringLiteral("</td></tr>");
  };
  info(QStringLiteral("План проверки"), r.planTitle + (r.planFile.isEmpty() ? QStringLiteral(" (встроенный)")
                                                                             : QStringLiteral(" (") + r.planFile + u')'));
  info(QStringLiteral("Дата и время"), r.started.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
  info(QStringLiteral("Оператор"), r.operatorName);
  info(QStringLiteral("Связь"), r.link + QStringLiteral("  ") + r.mode);
  info(QStringLiteral("Адрес контроллера"), QString::number(r.address));
  info(QStringLiteral("Версия ПО / протокола"),
       (r.softwareVersion.isEmpty() ? QStringLiteral("—") : r.softwareVersion) + QStringLiteral(" / ") +
           (r.protocolVersion.isEmpty() ? QStringLiteral("—") : r.protocolVersion));
  info(QStringLiteral("Контрольная сумма параметров"),
       r.paramsChecksum.isEmpty() ? QStringLiteral("параметры не прочитаны")
                                  : r.paramsChecksum + QStringLiteral(" (SHA-256, первые 8 знаков; параметры в приложении)"));
  info(QStringLiteral("Проверка"), r.runEnd);
  info(QStringLiteral("Заключение"), checkout::FitText(r.fit));
  info(QStringLiteral("Выходы после проверки"),
       r.outputsRestored ? QStringLiteral("восстановлены как были") : QStringLiteral("НЕ восстановлены"));
  html += QStringLiteral("</table><br>");

  html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">");
  html += Header({QStringLiteral("№"), QStringLiteral("Шаг"), QStringLiteral("Ожидается"), QStringLiteral("Измерено"),
                  QStringLiteral("Результат")},
                 {4, 30, 24, 14, 28});
  for (const checkout::ReportStep& s : r.steps) {
    const QString verdict = s.note.isEmpty() ? s.verdict : s.verdict + QStringLiteral(": ") + s.note;
    const QString style = s.verdict == checkout::StateText(checkout::StepState::kPassed)
                              ? QString()
                              : QStringLiteral("background-color:#ffdddd");
    html += Row({QString::number(s.number), s.name, s.expected, s.measured, verdict}, style);
  }
  html += QStringLiteral("</table><br>");
  html += QStringLiteral("<p>Норма: %1, отказ: %2, пропущено: %3, не выполнено: %4 (всего шагов: %5).</p>")
              .arg(r.passed).arg(r.failed).arg(r.skipped).arg(r.notDone).arg(r.steps.size());
  html += QStringLiteral("<h2 style=\"text-align:center\">Заключение: %1</h2>").arg(checkout::FitText(r.fit));
  html += QStringLiteral(
              "<br><table width=\"100%\" cellpadding=\"6\">"
              "<tr><td>Проверку провёл:</td><td>_______________________</td><td>%1</td><td>Дата: ____________</td></tr>"
              "<tr><td>Контроль ОТК:</td><td>_______________________</td><td>_______________</td><td>Дата: ____________</td></tr>"
              "</table>")
              .arg(Escaped(r.operatorName));

  if (r.params) {
    html += QStringLiteral("<h3 style=\"page-break-before:always\">Приложение. Параметры контроллера (ЭСППЗУ), "
                           "контрольная сумма %1</h3>").arg(r.paramsChecksum);
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">");
    html += Header({QStringLiteral("Адрес"), QStringLiteral("Параметр"), QStringLiteral("Байты"), QStringLiteral("Значение")});
    for (int i = 0; i < paramfile::kParamCount; ++i) {
      html += Row({paramfile::HexAddress(paramfile::Spot(i).address).c_str(),
                   QString::fromStdString(paramfile::Caption(i)), Hex(*r.params, i),
                   ShownParamValue(paramfile::Raw(*r.params, i), i)});
    }
    html += QStringLiteral("</table>");
  }
  return html + QStringLiteral("</body></html>");
}

std::optional<QString> WriteReport(const checkout::Report& report, const QString& pdfPath) {
  // Both files whole or not at all: an old report is never left looking like this one.
  QSaveFile pdfFile(pdfPath);
  if (!pdfFile.open(QIODevice::WriteOnly)) {
    return QStringLiteral("Отчёт «%1» не записан: %2").arg(pdfPath, pdfFile.errorString());
  }
  {
    QPdfWriter pdf(&pdfFile);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    pdf.setResolution(kResolution);
    pdf.setTitle(QStringLiteral("Протокол проверки контроллера TORVEX-CPU"));
    pdf.setCreator(QStringLiteral("torvex-tp"));
    QTextDocument document;
    // Points are the PDF's points, not the screen's.
    document.documentLayout()->setPaintDevice(&pdf);
    document.setHtml(ReportHtml(report));
    document.setPageSize(pdf.pageLayout().paintRectPixels(kResolution).size());
    document.print(&pdf);
  }
  if (!pdfFile.commit()) {
    return QStringLiteral("Отчёт «%1» не записан: %2").arg(pdfPath, pdfFile.errorString());
  }
  QSaveFile csv(CsvPathOf(pdfPath));
  const QByteArray bytes = checkout::ReportCsv(report).toUtf8();
  if (!csv.open(QIODevice::WriteOnly) || csv.write(bytes) != bytes.size() || !csv.commit()) {
    return QStringLiteral("Таблица отчёта «%1» не записана: %2").arg(CsvPathOf(pdfPath), csv.errorString());
  }
  return std::nullopt;
}

}  // namespace torvex
