#pragma once

#include <QString>

namespace zumen {

class Database;

// Options kept in table UserOP, one row a code: 11/12 the page folders, 13-16 the scanner
// settings, 20 the viewer's zoom.
// The row's text trimmed; empty when there is no row.
QString ReadOption(Database &db, int code);
// Writes the row, adding it when missing; an empty text is stored as one blank.
void WriteOption(Database &db, int code, const QString &text);

} // namespace zumen
