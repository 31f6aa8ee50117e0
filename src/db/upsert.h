#pragma once

#include "text/variant.h"

#include <QList>
#include <QString>

#include <utility>

namespace zumen {

class Database;

// Writes the fields of the row whose key column holds key, adding the row (key and fields)
// when there is none. The option and placement tables have no unique key to conflict on, so
// this looks first; it runs in one transaction, with every value bound.
void upsertRow(Database &db, const QString &table, const QString &keyColumn, const Variant &key,
               const QList<std::pair<QString, Variant>> &fields);

} // namespace zumen
