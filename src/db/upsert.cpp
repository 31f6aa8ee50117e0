#include "db/upsert.h"

#include "db/database.h"

namespace zumen {

namespace {

QString quotedName(const QString &name)
{
    return u'"' + name + u'"';
}

} // namespace

void upsertRow(Database &db, const QString &table, const QString &keyColumn, const Variant &key,
               const QList<std::pair<QString, Variant>> &fields)
{
    Transaction transaction(db);
    bool exists = false;
    {
        Statement found = db.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2=?1 LIMIT 1")
                                         .arg(quotedName(table), quotedName(keyColumn)));
        found.bind(1, key);
        exists = found.step();
    }
    QStringList names;
    QList<Variant> values{key};
    for (const auto &[name, value] : fields) {
        names << quotedName(name);
        values << value;
    }
    QString sql;
    if (exists) {
        QStringList sets;
        for (qsizetype i = 0; i < names.size(); ++i)
            sets << names[i] + QStringLiteral("=?%1").arg(i + 2);
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3=?1")
                  .arg(quotedName(table), sets.join(QStringLiteral(", ")), quotedName(keyColumn));
    } else {
        QStringList marks;
        for (qsizetype i = 0; i <= names.size(); ++i)
            marks << QStringLiteral("?%1").arg(i + 1);
        sql = QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (%4)")
                  .arg(quotedName(table), quotedName(keyColumn), names.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", ")));
    }
    Statement write = db.prepare(sql);
    write.bindAll(values);
    write.run();
    transaction.commit();
}

} // namespace zumen
