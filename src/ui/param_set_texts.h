#pragma once
// What a parameter set's exchange and comparison come to, in the words the window and the
// command line both use.
#include <QString>
#include <QStringList>

#include "paramfile/param_file.h"
#include "paramset/set_exchange.h"

namespace torvex {

// A parameter's value as its box shows it (the user's decimal separator), a sensor type with
// its meaning: "12,3", "3 (Pt1000)".
QString ShownParamValue(std::int32_t raw, int index);

// One line per parameter that differs: "AIN1 Pt100, точка 1: контроллер 100, файл 101,5".
QStringList DifferenceLines(const paramfile::ParamImage& controller,
                            const paramfile::ParamImage& file);

// The file's header for a set read in `run` now, by this program.
paramfile::FileHeader SavedHeader(const paramset::SetExchange& run);

// Why a run ended without its set: "Контроллер не отвечает …", "Очередь запросов заполнена …",
// "Контроллер отказал в чтении параметров: …".
QString SetEndText(const paramset::SetExchange& run);

// A refused write: which parameters, the exception, and that nothing after them was written.
QString RefusalText(const paramset::Refusal& refusal);

// The slave address that the set changes, and where the read-back found the controller.
QString AddressChangeText(int from, int to);
QString NewAddressSilentText(int from, int to);

}  // namespace torvex
