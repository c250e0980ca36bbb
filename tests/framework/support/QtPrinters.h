#pragma once
// Readable GoogleTest output for Qt values.
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
