#pragma once
// What the search window and torvex-tp --scan say about a search: a find, the ports that did not
// open, the end.
#include <QString>

#include "search/controller_search.h"

namespace torvex {

// A find as the list shows it: "COM3 — 19200,e,8,1 — адрес 12 — TORVEX-CPU, ПО 2.14,
// протокол 1.05", "… — устройство Modbus (исключение 2)", or "… — устройство Modbus" for one
// that gave its versions but does not answer as the controller.
QString FindText(const QString& link, const search::SearchFind& find);

// "COM9 — Устройство /dev/ttyUSB0 не найдено: …", one for each port, joined by "; ".
QString FailedPortsText(const search::SearchEnd& end);

// The one line torvex-tp --scan ends with: how many were found, or that nothing was, or why the
// search could not run; `finds` and `torvexFinds` are those printed. `networkFault`: why the
// network link was lost, when it was.
QString ScanSummary(const search::SearchEnd& end, int finds, int torvexFinds,
                    const QString& networkFault);

}  // namespace torvex
