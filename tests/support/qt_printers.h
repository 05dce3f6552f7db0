#pragma once
// Lets GoogleTest print QString values readably in failure messages.
#include <ostream>

#include <QString>

inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
