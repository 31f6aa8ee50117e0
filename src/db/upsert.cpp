#include "db/upsert.h"

#include "db/database.h"
#include "db/jet_sql.h"

#include <QStringList>

namespace zumen {
namespace {

// "name1=?1 AND name2=?2…" or "name1=?3, …", numbering from first.
QString assignments(const QStringList &names, qsizetype first, const QString &separator)
{
    QStringList parts;
    for (qsizetype i = 0; i < names.size(); ++i)
        parts << quoteIdentifier(names[i]) + QStringLiteral("=?%1").arg(first + i);
    return parts.join(separator);
}

} // namespace

void upsertRow(Database &db, const QString &table, const RowValues &key, const RowValues &values)
{
    Transaction transaction(db);
    const QString where = assignments(key.keys(), 1, QStringLiteral(" AND "));
    bool exists = false;
    {
        Statement found = db.prepare(
            QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1").arg(quoteIdentifier(table), where));
        found.bindAll(key.values());
        exists = found.step();
        if (exists)
            found.run();
    }
    QString sql;
    if (exists) {
        if (values.isEmpty())
            return transaction.commit();
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                  .arg(quoteIdentifier(table),
                       assignments(values.keys(), key.size() + 1, QStringLiteral(", ")), where);
    } else {
        QStringList names, marks;
        for (const QString &name : key.keys() + values.keys()) {
            names << quoteIdentifier(name);
            marks << QStringLiteral("?%1").arg(marks.size() + 1);
        }
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoteIdentifier(table), names.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", ")));
    }
    Statement write = db.prepare(sql);
    write.bindAll(key.values() + values.values());
    write.run();
    transaction.commit();
}

} // namespace zumen
