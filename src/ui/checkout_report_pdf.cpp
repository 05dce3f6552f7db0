#include "ui/checkout_report_pdf.h"

#include "paramfile/param_file.h"
#include "platform/checked_save.h"
#include "ui/param_set_texts.h"

namespace torvex {
namespace {

const QString kReportTitle = QStringLiteral("Протокол проверки контроллера TORVEX-CPU");
const QString kGrid = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">");

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

PagedDocument ReportDocument(const checkout::Report& r) {
  PagedDocument document;
  document.title = kReportTitle;
  document.foot = kReportTitle + (r.unitSerial.isEmpty() ? QString() : QStringLiteral(", зав. № ") + r.unitSerial) +
                  QStringLiteral(", ") + r.started.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
  const auto block = [&document](const QString& html, bool newPage = false) {
    document.pieces.push_back({html, -1, newPage});
  };

  QString head = QStringLiteral("<h2 style=\"text-align:center\">%1</h2>").arg(kReportTitle);
  head += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">");
  const auto info = [&head](const QString& key, const QString& value) {
    head += QStringLiteral("<tr><td width=\"35%\"><b>") + Escaped(key) + QStringLiteral("</b></td><td>") +
            Escaped(value) + QStringLiteral("</td></tr>");
  };
  info(QStringLiteral("Заводской номер"), r.unitSerial.isEmpty() ? QStringLiteral("не указан") : r.unitSerial);
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
  info(QStringLiteral("Заключение"), checkout::ConclusionText(r.conclusion));
  // Of a controller never reached nothing is said: not even that its outputs are as they were.
  if (r.outputs != checkout::OutputsAfter::kNotReached) {
    info(QStringLiteral("Выходы после проверки"), checkout::OutputsText(r.outputs));
  }
  head += QStringLiteral("</table><br>");
  block(head);

  if (!r.steps.empty()) {
    document.tables.push_back({kGrid, Header({QStringLiteral("№"), QStringLiteral("Шаг"), QStringLiteral("Ожидается"),
                                              QStringLiteral("Измерено"), QStringLiteral("Результат")},
                                             {4, 30, 31, 12, 23})});
    const int steps = static_cast<int>(document.tables.size()) - 1;
    for (const checkout::ReportStep& s : r.steps) {
      const QString verdict = s.note.isEmpty() ? s.verdict : s.verdict + QStringLiteral(": ") + s.note;
      const QString style = s.verdict == checkout::StateText(checkout::StepState::kPassed)
                                ? QString()
                                : QStringLiteral("background-color:#ffdddd");
      document.pieces.push_back({Row({QString::number(s.number), s.name, s.expected, s.measured, verdict}, style), steps});
    }
  }
  // The totals, the conclusion and the signatures on one page.
  block(QStringLiteral("<br><p>Норма: %1, отказ: %2, пропущено: %3, не выполнено: %4 (всего шагов: %5).</p>")
            .arg(r.passed).arg(r.failed).arg(r.skipped).arg(r.notDone).arg(r.steps.size()) +
        QStringLiteral("<h2 style=\"text-align:center\">Заключение: %1</h2>").arg(checkout::ConclusionText(r.conclusion)) +
        QStringLiteral(
            "<br><table width=\"100%\" cellpadding=\"6\">"
            "<tr><td>Проверку провёл:</td><td>_______________________</td><td>%1</td><td>Дата: ____________</td></tr>"
            "<tr><td>Контроль ОТК:</td><td>_______________________</td><td>_______________</td><td>Дата: ____________</td></tr>"
            "</table>")
            .arg(Escaped(r.operatorName)));

  if (r.params) {
    block(QStringLiteral("<h3>Приложение. Параметры контроллера (ЭСППЗУ), контрольная сумма %1</h3>").arg(r.paramsChecksum),
          true);
    document.tables.push_back({kGrid, Header({QStringLiteral("Адрес"), QStringLiteral("Параметр"), QStringLiteral("Байты"),
                                              QStringLiteral("Значение")})});
    const int params = static_cast<int>(document.tables.size()) - 1;
    for (int i = 0; i < paramfile::kParamCount; ++i) {
      document.pieces.push_back({Row({paramfile::HexAddress(paramfile::Spot(i).address).c_str(),
                                      QString::fromStdString(paramfile::Caption(i)), Hex(*r.params, i),
                                      ShownParamValue(paramfile::Raw(*r.params, i), i)}),
                                 params});
    }
  }
  return document;
}

std::optional<QString> WriteReport(const checkout::Report& report, const QString& pdfPath) {
  // Each file whole or not at all: an old report is never left looking like this one, nor cut.
  if (const Result saved = SaveWholeFile(pdfPath, MakePagedPdf(ReportDocument(report)).bytes); !saved) {
    return QStringLiteral("Отчёт «%1» не записан: %2").arg(pdfPath, saved.Why());
  }
  const QString csvPath = CsvPathOf(pdfPath);
  if (const Result saved = SaveWholeFile(csvPath, checkout::ReportCsv(report).toUtf8()); !saved) {
    return QStringLiteral("Таблица отчёта «%1» не записана: %2").arg(csvPath, saved.Why());
  }
  return std::nullopt;
}

}  // namespace torvex
