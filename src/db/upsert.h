#pragma once

#include "text/variant.h"

#include <QMap>
#include <QString>

namespace zumen {

class Database;

// A row's values by column name.
using RowValues = QMap<QString, Variant>;

// Writes the values into the row whose key columns hold key, adding the row (key and values)
// when there is none. Looks first rather than relying on a unique index, which the option and
// placement tables lack; runs in one transaction, every value bound.
void upsertRow(Database &db, const QString &table, const RowValues &key, const RowValues &values);

} // namespace zumen
